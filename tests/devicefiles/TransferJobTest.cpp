// The transfer job and file operations against the stand-in, with the real progress dialog; pellor_cli
// shows that a get and a put move the exact bytes.
#include <algorithm>
#include <atomic>

#include "devicefiles/DeviceName.h"
#include "devicefiles/DeviceThread.h"
#include "foundation/DbgLog.h"
#include "tests/devicefiles/DeviceFixture.h"
#include "tests/devicelink/LinkTest.h"
#include "tests/support/DialogWatch.h"

namespace {

const char kFailed[] = "Operation failed for the following files:\n";
std::vector<std::string> g_progress;
std::string g_trace;

class TransferJobTest : public DeviceFixture {
protected:
    TransferJobTest() : DeviceFixture({"R", "F", "R\\letters", "F\\books"}) {}

    // Rows to fetch from R:\letters, each put on the device first when it has bytes.
    void addRows(std::initializer_list<std::pair<const char*, const char*>> rows)
    {
        for (const auto& row : rows) {
            if (*row.second) sim_.put(std::string("R\\letters\\") + row.first, row.second);
            nt_.TransferList().push_back(
                {std::string("R:\\letters\\") + row.first, pc_.file(row.first), DeviceEntry::TYPE_FILE, 0, {}});
        }
    }
};

// The dialog belongs to the asking caller's window, not the active one; without a window, none is shown.
TEST_F(TransferJobTest, TheDialogsOwnerIsTheAskingCallersWindowOfThatMoment)
{
    HWND first = CreateWindowA("STATIC", "", WS_VISIBLE, 0, 0, 90, 90, nullptr, nullptr, nullptr, nullptr);
    HWND second = CreateWindowA("STATIC", "", WS_VISIBLE, 0, 0, 90, 90, nullptr, nullptr, nullptr, nullptr);
    const struct {
        HWND given, active;
        bool firstGone;
        HWND owner;
    } rows[] = {
        {first, second, false, first},
        {nullptr, first, false, HWND_BROADCAST},
        {first, second, true, HWND_BROADCAST},
    };
    DeviceThreadAcquire();
    for (const auto& r : rows) {
        if (r.firstGone) DestroyWindow(first);
        SetActiveWindow(r.active);
        DialogWatch dialogs;
        // The rows run on the device thread, as every caller's do.
        const int result = DeviceRun(
            r.given, [this](CNotetaker&) { return static_cast<int>(nt_.transfer(nullptr, CNotetaker::DCMD_RX)); },
            DeviceJob::Long);
        EXPECT_EQ(result, S_OK) << &r - rows;
        EXPECT_EQ(dialogs.LastOwner(), r.owner) << &r - rows;
    }
    DeviceThreadRelease();
    DestroyWindow(second);
}

TEST_F(TransferJobTest, AFailedRowIsListedAndTheLastRowDecidesAndBadArgumentsDoNothing)
{
    addRows({{"a.txt", "first"}, {"missing.txt", ""}, {"c.txt", "third"}});
    EXPECT_EQ(nt_.transfer(nullptr, CNotetaker::DCMD_RX), S_OK);
    // One opening serves the rows up to a failure; the row after it opens afresh.
    const std::vector<DWORD> escapes = sim_.line.Pc().escapes;
    EXPECT_EQ(std::count(escapes.begin(), escapes.end(), static_cast<DWORD>(RESETDEV)), 2);
    EXPECT_FALSE(sim_.line.Pc().open);
    const auto& rows = nt_.TransferList();
    EXPECT_TRUE(rows[0].nType == 0 && rows[1].nType < 0 && rows[2].nType == 0);
    EXPECT_EQ(TempDir::ReadAll(pc_.file("c.txt")), "third");
    EXPECT_FALSE(TempDir::Exists(pc_.file("missing.txt")));  // nothing half-written
    EXPECT_EQ(nt_.ShowErrorFiles(nullptr), 0);
    EXPECT_EQ(s_boxes, std::vector<std::string>{kFailed + std::string("R:\\letters\\missing.txt")});
    // A name longer than the box's text is cut, never written past it.
    nt_.TransferList().assign(1, {std::string(1100, 'n'), "", -1, 0, {}});
    nt_.ShowErrorFiles(nullptr);
    EXPECT_EQ(s_boxes.back(), kFailed + std::string(1023 - strlen(kFailed), 'n'));
    // Bad arguments and an empty list do nothing.
    s_boxes.clear();
    nt_.TransferList().clear();
    EXPECT_EQ(nt_.transfer(nullptr, CNotetaker::DCMD_DELE), E_INVALIDARG);
    EXPECT_EQ(nt_.transfer(nullptr, CNotetaker::DCMD_RX), S_OK);  // nothing to do
    nt_.ShowErrorFiles(nullptr);
    EXPECT_TRUE(s_boxes.empty());
    // A folder is no file to send: the system's "file not found", before any command.
    const int commands = sim_.device->CommandCount('R');
    EXPECT_EQ(nt_.FilePut(nullptr, pc_.path().c_str(), "letters", 0), ErrorHResult(CComPort::ERR_SYSTEM));
    EXPECT_EQ(nt_.WinError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(nt_.TransferList().empty());
    EXPECT_EQ(sim_.device->CommandCount('R'), commands);
    // A listing of more than 255 entries takes both bytes of the count.
    for (int i = 0; i < 256; ++i) sim_.put("F\\books\\" + std::to_string(i) + ".txt", "");
    EXPECT_EQ(nt_.EnumFolder("F:\\books"), 256);
}

// The bar's words and the line support reads of the dialog; Cancel in the middle leaves no part file.
TEST_F(TransferJobTest, ProgressWordsAndCancelInTheMiddleEndsTheJobAndLeavesNoPartialFile)
{
    addRows({{"first.txt", ""}, {"slow.txt", ""}, {"next.txt", "next"}});
    ASSERT_TRUE(sim_.put("R\\letters\\first.txt", Pattern(2048)) &&
                sim_.put("R\\letters\\slow.txt", Pattern(120 * 1024)));
    nt_.SetProgressObserver([](const char* line) { g_progress.emplace_back(line); });
    const DbgDebuggerOutput previous = DbgSetDebuggerOutput([](const char* text) { g_trace += text; });
    DbgOpen(DBG_TO_DEBUGGER | DBG_NOTETAKER, nullptr, 0);
    sim_.line.SetPacing(true);  // 11,520 bytes/s: the file takes about ten seconds
    std::thread presser = cancelWhen([this] { return TempDir::Exists(pc_.file("slow.txt.pellor-part")); }, 500);
    const HRESULT hr = onDeviceThread([this] { return nt_.transfer(nullptr, CNotetaker::DCMD_RX); });
    presser.join();
    DbgOpen(0, nullptr, 0);
    DbgSetDebuggerOutput(previous);
    ASSERT_TRUE(clicked_);
    ASSERT_GT(g_progress.size(), 2u);  // the file's header, its first block, ...
    EXPECT_EQ(g_progress[0], "Received: 0 bytes of 0 bytes (0%)");
    EXPECT_EQ(g_progress[1], "Received: 0 bytes of 2.00 KB (0%)");  // the size known from the first block on
    EXPECT_NE(std::find(g_progress.begin(), g_progress.end(), "Received: 2.00 KB of 2.00 KB (100%)"), g_progress.end());
    EXPECT_NE(g_trace.find("TEMPLATE: our own progress dialog"), std::string::npos);
    EXPECT_EQ(hr, ErrorHResult(CYModem::ERR_ABORTED));
    EXPECT_EQ(nt_.LastResult(), CYModem::ERR_ABORTED);
    EXPECT_TRUE(nt_.TransferList()[1].nType == CYModem::ERR_ABORTED && nt_.TransferList()[2].nType == 1);
    EXPECT_FALSE(TempDir::Exists(pc_.file("slow.txt")) || TempDir::Exists(pc_.file("next.txt")) ||
                 TempDir::Exists(pc_.file("slow.txt.pellor-part")));
    nt_.ShowErrorFiles(nullptr);
    EXPECT_EQ(s_boxes, std::vector<std::string>{kFailed + std::string("R:\\letters\\slow.txt\nNot attempted:\n"
                                                                      "R:\\letters\\next.txt")});
}

// Cancel against a device silent after the command: on the fake clock, the caller has its answer (the dialog gone)
// before the first CAN round ends; the CANs go after, others told busy. The model name goes with the thread.
TEST_F(TransferJobTest, CancelAgainstASilentDeviceGivesControlBackBeforeTheCans)
{
    SimFaults faults;
    faults.send.silentAfterCommand = true, sim_.device->SetFaults(faults);
    DeviceThreadAcquire();  // as a folder does: the thread lives between requests, and tells the model's name
    EXPECT_GT(DeviceRun(nullptr, [](CNotetaker& nt) { return static_cast<int>(nt.GetDeviceType()); }), 0);
    link_test::FakeTicks clock;
    clock.now_ = GetTickCount();  // from the last request's moment: the port is not idle yet
    std::atomic<int> cans{0};
    ScopedKernelHandle answered(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    sim_.line.SetHook([&](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate& fate) {
        HWND dialog = from == MemoryLine::Side::Pc ? FindWindowA(nullptr, "Receiving file(s)") : nullptr;
        if (fate.value == 'C' && dialog) SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        // The first round waits for the caller's answer (a bounded wait only for a product that never gives it).
        if (from == MemoryLine::Side::Pc && fate.value == 0x18 && cans++ == 0)
            WaitForSingleObject(answered.get(), 5000);
    });
    HWND window = CreateWindowA("STATIC", "", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DeviceRun(
        window,
        [&](CNotetaker& nt) { return static_cast<int>(nt.FileGet(window, pc_.file("a.txt").c_str(), "R:\\a", 1)); },
        DeviceJob::Long);
    EXPECT_LE(cans.load(), 1) << "the caller waited through CAN rounds";
    EXPECT_EQ(DeviceRun(nullptr, [](CNotetaker&) { return 0; }), CNotetaker::ERR_BUSY) << "while the CANs go";
    SetEvent(answered.get());
    sim_.line.Write(MemoryLine::Side::Device, "\x18", 1);  // the device answers at last
    DeviceThreadRelease();
    while (!DeviceThreadEnded()) Sleep(1);
    sim_.line.SetHook(nullptr);
    DestroyWindow(window);
    char name[32] = "";
    KnownDeviceName(name, sizeof name);
    EXPECT_STREQ(name, "") << "no name of a device nobody holds";
}

// A volume without 8.3 names (exFAT): the file is read from its own path, sent under the name made for it.
TEST_F(TransferJobTest, ASendFromAVolumeWithoutShortNamesGoesUnderItsMappedName)
{
    const ShortPathSource previous = SetShortPathSource(
        [](const char* path, char* shortPath, DWORD size) { return DWORD(snprintf(shortPath, size, "%s", path)); });
    const std::string pcFile = pc_.file("a letter with a long name.txt");
    MakeFile(pcFile, "long");
    char mapped[MAX_PATH];
    ASSERT_TRUE(
        MakeDeviceName(mapped, DeviceEntry::TYPE_FOLDER_R, pc_.path().c_str(), "a letter with a long name.txt"));
    const HRESULT hr = nt_.FilePut(nullptr, pcFile.c_str(), "letters", 0);
    SetShortPathSource(previous);
    EXPECT_EQ(hr, S_OK);
    ASSERT_EQ(nt_.EnumFolder("R:\\letters"), 1);  // answered once the stand-in has stored the file
    EXPECT_EQ(sim_.read(std::string("R\\letters\\") + mapped), "long") << mapped;
}

// A device path longer than the device takes is refused, never cut into another path; the device hears nothing.
TEST_F(TransferJobTest, ADevicePathTooLongIsRefusedNotCut)
{
    const std::string deep = "R:\\letters\\" + std::string(250, 'd'), pcFile = pc_.file("a.txt");  // 261 characters
    MakeFile(pcFile, "a");
    auto commands = [this] { return sim_.device->CommandCount('M') + sim_.device->CommandCount('R'); };
    const int before = commands();
    EXPECT_EQ(nt_.FolderCreate(deep.c_str()), ErrorHResult(CNotetaker::ERR_PATHTOOLONG));
    EXPECT_EQ(nt_.FilePut(nullptr, pcFile.c_str(), deep.substr(0, 254).c_str(), 0),  // and "\a.txt"
              ErrorHResult(CNotetaker::ERR_PATHTOOLONG));
    EXPECT_EQ(commands(), before);
}

// The cable's drive-less names make an F: folder named like one of R: R:'s: it is never read, and no
// folder is made or renamed into such a pair; the device hears nothing.
TEST_F(TransferJobTest, AFolderOfFNamedLikeOneOfRIsNotReadAndNoPairIsMade)
{
    ASSERT_TRUE(CreateDirectoryA(sim_.path("F\\letters").c_str(), nullptr) &&
                CreateDirectoryA(sim_.path("R\\notes").c_str(), nullptr));
    ASSERT_GE(nt_.EnumFolder("\\"), 0);
    const char* const kPc = "C:\\nowhere\\ann.txt";
    const struct {
        std::function<int()> op;
        int result;
        char letter;
    } rows[] = {
        {[&] { return nt_.EnumFolder("f:\\Letters\\deep"); }, CNotetaker::ERR_NAMESAKE, 'F'},
        {[&] { return static_cast<int>(nt_.FileGet(nullptr, kPc, "F:\\letters\\ann.txt", 7)); },
         ErrorHResult(CNotetaker::ERR_NAMESAKE), 'S'},
        {[&] { return static_cast<int>(nt_.FolderCreate("F:\\notes\\")); }, ErrorHResult(CNotetaker::ERR_NAMETAKEN),
         'M'},
        {[&] { return static_cast<int>(nt_.Rename("R:\\notes", "R:\\Books", 0)); },
         ErrorHResult(CNotetaker::ERR_NAMETAKEN), 'N'},
        {[&] { return nt_.EnumFolder("F:\\books"); }, 0, 'X'},
        {[&] { return static_cast<int>(nt_.FolderCreate("F:\\books\\notes")); }, S_OK, 'X'},
    };
    for (const auto& r : rows) {
        const int before = sim_.device->CommandCount(r.letter);
        EXPECT_EQ(r.op(), r.result) << &r - rows;
        if (r.result != 0) {
            EXPECT_EQ(sim_.device->CommandCount(r.letter), before) << &r - rows;
        }
    }
    EXPECT_FALSE(TempDir::Exists(kPc));
    // Looking up the root for a new folder's name leaves the listing of F:\\books as it was: empty.
    ASSERT_EQ(nt_.FolderCreate("R:\\new"), S_OK);
    DeviceEntry entry;
    EXPECT_EQ(nt_.GetEntry(0, entry), CComPort::ERR_BADPARAM);
}

}  // namespace

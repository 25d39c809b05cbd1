// The transfer job, file operations and backup against the stand-in
// note-taker over the in-memory line, with the real progress dialog.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devicefiles/ErrorText.h"
#include "devicefiles/PcName.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "tests/support/SimOnLine.h"

namespace {

std::vector<std::string> g_boxes;
int g_boxAnswer = IDOK;
int RecordBox(HWND, const char* text, UINT)
{
    g_boxes.emplace_back(text);
    return g_boxAnswer;
}

std::string Pattern(size_t size, int seed = 0)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + i / 251 + seed);
    return s;
}

class TransferJobTest : public ::testing::Test {
protected:
    TransferJobTest() : previousBox_(SetMessageBoxHook(RecordBox))
    {
        g_boxes.clear();
        g_boxAnswer = IDOK;
    }
    ~TransferJobTest() override { SetMessageBoxHook(previousBox_); }

    void addRow(const std::string& device, const std::string& pc)
    {
        DeviceEntry row;
        row.sName = device;
        row.sPcName = pc;
        row.nType = 1;
        nt_.TransferList().push_back(row);
    }
    std::string device(const std::string& relative) { return sim_.read(relative); }

    SimOnLine sim_{3, {"R", "F", "R\\letters", "R\\notes", "F\\books"}};
    TempDir pc_;
    CNotetaker nt_{2, 500, 5, 3};
    MessageBoxHook previousBox_;
};

TEST_F(TransferJobTest, GetAndPutMoveTheExactBytes)
{
    const std::string content = Pattern(200 * 1024);
    ASSERT_TRUE(sim_.put("R\\letters\\big.txt", content));
    ASSERT_EQ(nt_.FileGet(nullptr, pc_.file("big.txt").c_str(), "R:\\letters\\big.txt", 0), S_OK);
    EXPECT_TRUE(TempDir::ReadAll(pc_.file("big.txt")) == content);

    const std::string other = Pattern(3001, 5);
    ASSERT_TRUE(TempDir::WriteAll(pc_.file("to device.txt"), other));
    ASSERT_EQ(nt_.FilePut(nullptr, pc_.file("to device.txt").c_str(), "notes", 0), S_OK);
    ASSERT_EQ(nt_.TransferList().size(), 1u);
    EXPECT_EQ(nt_.TransferList()[0].sName, "R:\\notes\\");
    EXPECT_EQ(nt_.TransferList()[0].nType, 0);
    Sleep(200);
    EXPECT_TRUE(device("R\\notes\\to device.txt") == other);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(TransferJobTest, AFailedRowIsListedAndTheLastRowDecides)
{
    sim_.put("R\\letters\\a.txt", "first");
    sim_.put("R\\letters\\c.txt", "third");
    addRow("R:\\letters\\a.txt", pc_.file("a.txt"));
    addRow("R:\\letters\\missing.txt", pc_.file("b.txt"));
    addRow("R:\\letters\\c.txt", pc_.file("c.txt"));
    EXPECT_EQ(nt_.transfer(nullptr, CNotetaker::DCMD_RX), S_OK);
    const auto& rows = nt_.TransferList();
    EXPECT_EQ(rows[0].nType, 0);
    EXPECT_LT(rows[1].nType, 0);
    EXPECT_EQ(rows[2].nType, 0);
    EXPECT_EQ(TempDir::ReadAll(pc_.file("c.txt")), "third");
    EXPECT_FALSE(TempDir::Exists(pc_.file("b.txt")));  // nothing half-written

    EXPECT_EQ(nt_.ShowErrorFiles(nullptr), 0);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Operation failed for the following files:\nR:\\letters\\missing.txt");
}

TEST_F(TransferJobTest, BadModeAndEmptyListAndUnsizablePut)
{
    EXPECT_EQ(nt_.transfer(nullptr, CNotetaker::DCMD_DELE), E_INVALIDARG);
    EXPECT_EQ(nt_.transfer(nullptr, CNotetaker::DCMD_RX), S_OK);  // nothing to do
    nt_.ShowErrorFiles(nullptr);
    EXPECT_TRUE(g_boxes.empty());

    // A folder is no file to send: the system's "file not found", before any command.
    const int commands = sim_.device->CommandCount('R');
    EXPECT_EQ(nt_.FilePut(nullptr, pc_.path().c_str(), "letters", 0), ErrorHResult(CComPort::ERR_SYSTEM));
    EXPECT_EQ(nt_.WinError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(nt_.TransferList().empty());
    EXPECT_EQ(sim_.device->CommandCount('R'), commands);
}

TEST_F(TransferJobTest, CancelInTheMiddleEndsTheJobAndLeavesNoPartialFile)
{
    ASSERT_TRUE(sim_.put("R\\letters\\slow.txt", Pattern(120 * 1024)));
    sim_.put("R\\letters\\next.txt", "next");
    sim_.line.SetPacing(true);  // 11,520 bytes/s: the file takes about ten seconds
    addRow("R:\\letters\\slow.txt", pc_.file("slow.txt"));
    addRow("R:\\letters\\next.txt", pc_.file("next.txt"));

    std::atomic<bool> clicked{false};
    std::thread presser([&] {
        for (int i = 0; i < 200 && !clicked; ++i) {
            Sleep(50);
            HWND dialog = FindWindowA(nullptr, "Receiving file(s)");
            if (dialog && GetFileAttributesA(pc_.file("slow.txt").c_str()) != INVALID_FILE_ATTRIBUTES) {
                Sleep(500);
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                clicked = true;
            }
        }
    });
    const DWORD start = GetTickCount();
    const HRESULT hr = nt_.transfer(nullptr, CNotetaker::DCMD_RX);
    presser.join();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(hr, ErrorHResult(CYModem::ERR_ABORTED));
    EXPECT_EQ(nt_.LastResult(), CYModem::ERR_ABORTED);
    EXPECT_LT(GetTickCount() - start, 9000u);
    EXPECT_EQ(nt_.TransferList()[0].nType, CYModem::ERR_ABORTED);
    EXPECT_EQ(nt_.TransferList()[1].nType, 1);
    EXPECT_FALSE(TempDir::Exists(pc_.file("slow.txt")));
    EXPECT_FALSE(TempDir::Exists(pc_.file("next.txt")));
    nt_.ShowErrorFiles(nullptr);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0],
              "Operation failed for the following files:\nR:\\letters\\slow.txt\nNot attempted:\nR:\\letters\\next.txt");
}

TEST_F(TransferJobTest, CancelPressedWhileACommandGoesOutStopsTheJob)
{
    sim_.put("R\\letters\\a.txt", "first");
    sim_.put("R\\letters\\b.txt", "second");
    addRow("R:\\letters\\a.txt", pc_.file("a.txt"));
    addRow("R:\\letters\\b.txt", pc_.file("b.txt"));
    ASSERT_EQ(nt_.serialOpen(false), 0);
    // The device's answers are lost until Cancel, which so comes while the PC waits for one.
    std::atomic<bool> clicked{false};
    sim_.line.SetHook([&](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate& fate) {
        fate.drop = from == MemoryLine::Side::Device && !clicked;
    });
    std::thread presser([&] {
        for (int i = 0; i < 200 && !clicked; ++i) {
            Sleep(20);
            if (HWND dialog = FindWindowA(nullptr, "Receiving file(s)")) {
                Sleep(200);
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                clicked = true;
            }
        }
    });
    const HRESULT hr = nt_.transfer(nullptr, CNotetaker::DCMD_RX);
    presser.join();
    sim_.line.SetHook(nullptr);
    EXPECT_EQ(hr, ErrorHResult(CYModem::ERR_ABORTED));
    EXPECT_EQ(nt_.TransferList()[1].nType, 1);
    EXPECT_FALSE(TempDir::Exists(pc_.file("a.txt")));
    EXPECT_FALSE(TempDir::Exists(pc_.file("b.txt")));
}

TEST_F(TransferJobTest, BackupThenRestoreIntoAnEmptiedDevice)
{
    sim_.put("R\\letters\\ann.txt", Pattern(5000, 1));
    sim_.put("R\\notes\\todo.txt", Pattern(10, 2));
    sim_.put("F\\books\\tale.brl", Pattern(70000, 3));
    const std::string folder = pc_.file("backups\\monday");  // does not exist yet

    ASSERT_EQ(nt_.Backup(nullptr, folder.c_str()), S_OK);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_TRUE(TempDir::ReadAll(folder + "\\letters\\ann.txt") == Pattern(5000, 1));
    EXPECT_TRUE(TempDir::ReadAll(folder + "\\books\\tale.brl") == Pattern(70000, 3));
    const std::string index = folder + "\\backup-restore.index";
    EXPECT_TRUE(GetFileAttributesA(index.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    std::string lines = TempDir::ReadAll(index);
    for (const char* line : {"R:\\letters\\ann.txt\r\n", "R:\\notes\\todo.txt\r\n", "F:\\books\\tale.brl\r\n"})
        EXPECT_NE(lines.find(line), std::string::npos) << line << " in " << lines;
    EXPECT_EQ(lines.size(), strlen("R:\\letters\\ann.txt\r\nR:\\notes\\todo.txt\r\nF:\\books\\tale.brl\r\n"));
    EXPECT_EQ(sim_.device->Display(), "Backup complete");

    DeleteFileA(sim_.path("R\\letters\\ann.txt").c_str());
    DeleteFileA(sim_.path("R\\notes\\todo.txt").c_str());
    DeleteFileA(sim_.path("F\\books\\tale.brl").c_str());
    ASSERT_EQ(nt_.Restore(nullptr, folder.c_str()), S_OK);
    Sleep(200);
    EXPECT_TRUE(device("R\\letters\\ann.txt") == Pattern(5000, 1));
    EXPECT_TRUE(device("R\\notes\\todo.txt") == Pattern(10, 2));
    EXPECT_TRUE(device("F\\books\\tale.brl") == Pattern(70000, 3));
    EXPECT_EQ(sim_.device->Display(), "Restore complete");

    // A second backup into the same place asks first; Cancel changes nothing.
    g_boxAnswer = IDCANCEL;
    EXPECT_EQ(nt_.Backup(nullptr, folder.c_str()), static_cast<HRESULT>(1));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Are you sure you want to delete the existing backup?");
    EXPECT_EQ(TempDir::ReadAll(index), lines);
}

TEST_F(TransferJobTest, RestoreFromATypeDigitLayoutAndBadIndexes)
{
    const std::string folder = pc_.file("layout");
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\2letters").c_str(), nullptr);
    TempDir::WriteAll(folder + "\\2letters\\note.txt", "from the layout");
    EXPECT_EQ(nt_._isRestorePath(folder.c_str(), true), 1);  // one file, no index
    ASSERT_EQ(nt_.Restore(nullptr, folder.c_str()), S_OK);
    Sleep(200);
    EXPECT_EQ(device("R\\letters\\note.txt"), "from the layout");

    // A file at the top breaks the layout.
    TempDir::WriteAll(folder + "\\stray.txt", "x");
    EXPECT_EQ(nt_._isRestorePath(folder.c_str(), true), 0);
    EXPECT_EQ(nt_.Restore(nullptr, folder.c_str()), ErrorHResult(CNotetaker::ERR_INVALIDPATH));

    // An index whose last line lacks its CR LF.
    const std::string broken = pc_.file("broken");
    CreateDirectoryA(broken.c_str(), nullptr);
    CreateDirectoryA((broken + "\\letters").c_str(), nullptr);
    TempDir::WriteAll(broken + "\\letters\\a.txt", "a");
    TempDir::WriteAll(broken + "\\backup-restore.index", "R:\\letters\\a.txt\r\nR:\\letters\\a.txt");
    SetFileAttributesA((broken + "\\backup-restore.index").c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(nt_.Restore(nullptr, broken.c_str()), ErrorHResult(CNotetaker::ERR_INVALIDINDEXFILE));

    // An index line for a file deleted since is skipped.
    TempDir::WriteAll(broken + "\\backup-restore.index", "R:\\letters\\gone.txt\r\nR:\\letters\\a.txt\r\n");
    ASSERT_EQ(nt_.Restore(nullptr, broken.c_str()), S_OK);
    ASSERT_EQ(nt_.TransferList().size(), 1u);
    EXPECT_EQ(nt_.TransferList()[0].sName, "R:\\letters\\a.txt");
}

TEST_F(TransferJobTest, HostileDeviceNamesStayInsideTheBackupFolder)
{
    SimRawListing listing;
    listing.count = {5, 0};
    for (const char* name : {"..\\..\\evil.txt", "C:\\win.ini", "a:b*c?.txt", "CON", "dots..."}) {
        std::vector<uint8_t> record(31, 0);
        memcpy(record.data(), name, strlen(name));
        record[21] = 1;  // a file
        record[28] = 1, record[29] = 1;
        listing.records.push_back(record);
    }
    sim_.device->SetRawListing(listing);
    const std::string base = pc_.file("safe");
    ASSERT_EQ(nt_.getFileNames(base.c_str(), "R:\\letters", false), 5);
    for (const DeviceEntry& row : nt_.TransferList()) {
        SCOPED_TRACE(row.sName);
        ASSERT_EQ(row.sPcName.compare(0, base.size() + 1, base + "\\"), 0);
        const std::string below = row.sPcName.substr(base.size() + 1);
        EXPECT_EQ(("\\" + below + "\\").find("\\..\\"), std::string::npos);
        EXPECT_EQ(below.find(':'), std::string::npos);
        EXPECT_EQ(below.find_first_of("*?\"<>|"), std::string::npos);
    }
}

}  // namespace

// The transfer job and file operations against the stand-in note-taker over
// the in-memory line, with the real progress dialog.
#include <algorithm>

#include "tests/devicefiles/DeviceFixture.h"

namespace {

const char kFailed[] = "Operation failed for the following files:\n";
std::vector<std::string> g_progress;

class TransferJobTest : public DeviceFixture {
protected:
    TransferJobTest() : DeviceFixture({"R", "F", "R\\letters", "R\\notes", "F\\books"}) {}

    // Rows to fetch from R:\letters, each put on the device first when it has bytes.
    void addRows(std::initializer_list<std::pair<const char*, const char*>> rows)
    {
        for (const auto& row : rows) {
            if (*row.second) sim_.put(std::string("R\\letters\\") + row.first, row.second);
            nt_.TransferList().push_back(
                {std::string("R:\\letters\\") + row.first, pc_.file(row.first), DeviceEntry::TYPE_FILE, 0, {}});
        }
    }
    long portOpenings()
    {
        const std::vector<DWORD> escapes = sim_.line.Pc().escapes;
        return std::count(escapes.begin(), escapes.end(), static_cast<DWORD>(RESETDEV));
    }
};

TEST_F(TransferJobTest, GetAndPutMoveTheExactBytes)
{
    const std::string content = Pattern(200 * 1024);
    ASSERT_TRUE(sim_.put("R\\letters\\big.txt", content));
    g_progress.clear();
    nt_.SetProgressObserver([](const char* line) { g_progress.emplace_back(line); });
    ASSERT_EQ(nt_.FileGet(nullptr, pc_.file("big.txt").c_str(), "R:\\letters\\big.txt", 0), S_OK);
    EXPECT_TRUE(TempDir::ReadAll(pc_.file("big.txt")) == content);
    ASSERT_GT(g_progress.size(), 2u);  // the file's header, its first block, ...
    EXPECT_EQ(g_progress[0], "Received: 0 bytes of 0 bytes (0%)");
    EXPECT_EQ(g_progress[1], "Received: 0 bytes of 200 KB (0%)");  // the size known from the first block on
    EXPECT_EQ(g_progress.back(), "Received: 200 KB of 200 KB (100%)");

    const std::string other = Pattern(3001, 5);
    ASSERT_TRUE(TempDir::WriteAll(pc_.file("to device.txt"), other));
    ASSERT_EQ(nt_.FilePut(nullptr, pc_.file("to device.txt").c_str(), "notes", 0), S_OK);
    ASSERT_EQ(nt_.TransferList().size(), 1u);
    EXPECT_TRUE(nt_.TransferList()[0].sName == "R:\\notes\\" && nt_.TransferList()[0].nType == 0);
    Sleep(200);
    EXPECT_TRUE(sim_.read("R\\notes\\to device.txt") == other);
    EXPECT_TRUE(s_boxes.empty());
}

TEST_F(TransferJobTest, AFolderOfMoreThan255EntriesIsListedWhole)
{
    for (int i = 0; i < 256; ++i) sim_.put("F\\books\\" + std::to_string(i) + ".txt", "");
    EXPECT_EQ(nt_.EnumFolder("F:\\books"), 256);
}

TEST_F(TransferJobTest, AFailedRowIsListedAndTheLastRowDecides)
{
    addRows({{"a.txt", "first"}, {"missing.txt", ""}, {"c.txt", "third"}});
    EXPECT_EQ(nt_.transfer(nullptr, CNotetaker::DCMD_RX), S_OK);
    // One opening serves the rows up to a failure; the row after it opens afresh.
    EXPECT_EQ(portOpenings(), 2);
    EXPECT_FALSE(sim_.line.Pc().open);
    const auto& rows = nt_.TransferList();
    EXPECT_TRUE(rows[0].nType == 0 && rows[1].nType < 0 && rows[2].nType == 0);
    EXPECT_EQ(TempDir::ReadAll(pc_.file("c.txt")), "third");
    EXPECT_FALSE(TempDir::Exists(pc_.file("missing.txt")));  // nothing half-written
    EXPECT_EQ(nt_.ShowErrorFiles(nullptr), 0);
    EXPECT_EQ(s_boxes, std::vector<std::string>{kFailed + std::string("R:\\letters\\missing.txt")});
}

TEST_F(TransferJobTest, BadModeAndEmptyListAndUnsizablePut)
{
    EXPECT_EQ(nt_.transfer(nullptr, CNotetaker::DCMD_DELE), E_INVALIDARG);
    EXPECT_EQ(nt_.FileGet(nullptr, nullptr, "R:\\a.txt", 0), E_INVALIDARG);
    EXPECT_EQ(nt_.FileGet(nullptr, "C:\\a.txt", nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(nt_.FilePut(nullptr, nullptr, "letters", 0), E_INVALIDARG);
    EXPECT_EQ(nt_.transfer(nullptr, CNotetaker::DCMD_RX), S_OK);  // nothing to do
    nt_.ShowErrorFiles(nullptr);
    EXPECT_TRUE(s_boxes.empty());
    // A folder is no file to send: the system's "file not found", before any command.
    const int commands = sim_.device->CommandCount('R');
    EXPECT_EQ(nt_.FilePut(nullptr, pc_.path().c_str(), "letters", 0), ErrorHResult(CComPort::ERR_SYSTEM));
    EXPECT_EQ(nt_.WinError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(nt_.TransferList().empty());
    EXPECT_EQ(sim_.device->CommandCount('R'), commands);
}

TEST_F(TransferJobTest, CancelInTheMiddleEndsTheJobAndLeavesNoPartialFile)
{
    addRows({{"slow.txt", ""}, {"next.txt", "next"}});
    ASSERT_TRUE(sim_.put("R\\letters\\slow.txt", Pattern(120 * 1024)));
    sim_.line.SetPacing(true);  // 11,520 bytes/s: the file takes about ten seconds
    std::thread presser = cancelWhen([this] { return TempDir::Exists(pc_.file("slow.txt")); }, 500);
    const DWORD start = GetTickCount();
    const HRESULT hr = nt_.transfer(nullptr, CNotetaker::DCMD_RX);
    presser.join();
    ASSERT_TRUE(clicked_);
    EXPECT_EQ(hr, ErrorHResult(CYModem::ERR_ABORTED));
    EXPECT_EQ(nt_.LastResult(), CYModem::ERR_ABORTED);
    EXPECT_LT(GetTickCount() - start, 9000u);
    EXPECT_GT(barAtCancel_, 0);  // the bar moved with the bytes that came
    EXPECT_TRUE(nt_.TransferList()[0].nType == CYModem::ERR_ABORTED && nt_.TransferList()[1].nType == 1);
    EXPECT_FALSE(TempDir::Exists(pc_.file("slow.txt")) || TempDir::Exists(pc_.file("next.txt")));
    nt_.ShowErrorFiles(nullptr);
    EXPECT_EQ(s_boxes, std::vector<std::string>{kFailed + std::string("R:\\letters\\slow.txt\nNot attempted:\n"
                                                                      "R:\\letters\\next.txt")});
}

TEST_F(TransferJobTest, CancelPressedWhileACommandGoesOutStopsTheJob)
{
    addRows({{"a.txt", "first"}, {"b.txt", "second"}});
    ASSERT_EQ(nt_.serialOpen(false), 0);
    // The device's answers are lost until Cancel, which so comes while the PC waits for one.
    sim_.line.SetHook([&](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate& fate) {
        fate.drop = from == MemoryLine::Side::Device && !clicked_;
    });
    std::thread presser = cancelWhen([] { return true; }, 200);
    const HRESULT hr = nt_.transfer(nullptr, CNotetaker::DCMD_RX);
    presser.join();
    sim_.line.SetHook(nullptr);
    EXPECT_EQ(hr, ErrorHResult(CYModem::ERR_ABORTED));
    EXPECT_EQ(nt_.TransferList()[1].nType, 1);
    EXPECT_FALSE(TempDir::Exists(pc_.file("a.txt")) || TempDir::Exists(pc_.file("b.txt")));
}

}  // namespace

// The transfer job and file operations against the stand-in
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

}  // namespace

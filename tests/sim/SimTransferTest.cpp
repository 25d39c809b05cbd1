// Files moved between the stand-in note-taker and the PC's YModem engine,
// started with the commands the transfer job sends.
#include <gtest/gtest.h>


#include "devicelink/CNotetaker.h"
#include "tests/support/SimOnLine.h"

namespace {

class SimTransferTest : public ::testing::Test {
protected:
    // Runs the engine to its end; its last result.
    int run()
    {
        const DWORD start = GetTickCount();
        int state = 1;
        while (state > 0 && GetTickCount() - start < 30000) state = nt_.Process();
        return state;
    }

    SimOnLine sim_{3, {"R", "R\\letters"}};
    TempDir pc_;
    CNotetaker nt_{2, 500, 5, 3};
};

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
    return s;
}

TEST_F(SimTransferTest, ADeviceFileComesToThePc)
{
    const std::string content = Pattern(3000);
    sim_.put("R\\letters\\ann.txt", content);
    ASSERT_EQ(nt_.serialCmd("letters\\ann.txt", CNotetaker::DCMD_RX, nullptr, 0), 0);
    ASSERT_EQ(nt_.RxStart(pc_.file("ann.txt").c_str()), 0);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(TempDir::ReadAll(pc_.file("ann.txt")), content);
}

// A PC that closes its port at once can lose its last ACK on the way; the
// device must still hear the next command instead of sending the closing
// block again for seconds.
TEST_F(SimTransferTest, ALostFinalAckDoesNotSwallowTheNextCommand)
{
    sim_.put("R\\letters\\ann.txt", Pattern(100));
    int acks = 0;
    sim_.line.SetHook([&](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate& fate) {
        // header, data block, EOT, closing block: the fourth ACK is the last
        if (from == MemoryLine::Side::Pc && fate.value == 0x06 && ++acks == 4) fate.drop = true;
    });
    ASSERT_EQ(nt_.serialCmd("letters\\ann.txt", CNotetaker::DCMD_RX, nullptr, 0), 0);
    ASSERT_EQ(nt_.RxStart(pc_.file("ann.txt").c_str()), 0);
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(acks, 4);

    unsigned char ident[2] = {};
    const DWORD start = GetTickCount();
    EXPECT_EQ(nt_.serialCmd(nullptr, CNotetaker::DCMD_IDENT, ident, 2), 0);
    EXPECT_EQ(ident[0], 5);
    EXPECT_LT(GetTickCount() - start, 1500u);
}

TEST_F(SimTransferTest, APcFileGoesIntoADeviceFolder)
{
    const std::string content = Pattern(1500);
    TempDir::WriteAll(pc_.file("bob.txt"), content);
    unsigned char answer = 0;
    ASSERT_EQ(nt_.serialCmd("R:\\letters\\", CNotetaker::DCMD_TX, &answer, 1), 0);
    EXPECT_EQ(answer, 0x05);
    nt_.RxClear();
    ASSERT_EQ(nt_.TxStart(pc_.file("bob.txt").c_str()), 0);
    EXPECT_EQ(run(), 0);
    Sleep(200);
    EXPECT_EQ(TempDir::ReadAll(sim_.path("R\\letters\\bob.txt")), content);
}

TEST_F(SimTransferTest, AMissingFolderOrFileIsRefused)
{
    unsigned char answer = 0;
    ASSERT_EQ(nt_.serialCmd("R:\\nowhere\\", CNotetaker::DCMD_TX, &answer, 1), 0);
    EXPECT_NE(answer, 0x05);

    ASSERT_EQ(nt_.serialCmd("letters\\nobody.txt", CNotetaker::DCMD_RX, nullptr, 0), 0);
    ASSERT_EQ(nt_.RxStart(pc_.file("nobody.txt").c_str()), 0);
    EXPECT_LT(run(), 0);
}

}  // namespace

// The PC sends: the test plays the note-taker receiving a file.
#include <string>

#include "tests/devicelink/LinkTest.h"

namespace link_test {
namespace {

const std::string A = S(ACK), AC = A + "C";

class YModemSenderTest : public YModemTest {
protected:
    void start(const std::string& data)
    {
        ASSERT_TRUE(TempDir::WriteAll(dir_.file("source.bin"), data));
        EXPECT_EQ(ym_.TxStart(dir_.file("source.bin").c_str()), 0);
    }
    // Starts sending `data` to a receiver asking for CRC; block 1, as soon as it is out.
    std::string startToBlock1(const std::string& data)
    {
        start(data);
        deviceSends("C");
        awaitBytes(133);
        deviceSends(AC);
        return awaitBytes(data.size() >= 1024 ? 1029 : 133);
    }
    // The device sends `bytes`; what the engine sends, a block 0 whose check
    // bytes must come half a second after its data (the device files the name
    // meanwhile).
    std::string sayForBlock0(const std::string& bytes, bool crc)
    {
        deviceSends(bytes);
        std::string sent = awaitBytes(3 + 128);
        const DWORD dataSent = now();
        sent += awaitBytes(crc ? 2 : 1);
        EXPECT_NEAR(static_cast<double>(now() - dataSent), 500, 3) << "pause before block 0's check bytes";
        run(nullptr, 1500);
        return sent + deviceReads();
    }
};

// A receiver starting with "C" gets two CRC bytes, one starting with NAK a
// single-byte checksum; the tail under 1024 bytes goes in 128-byte blocks,
// block numbers wrap after 255, and the empty block 0 closes the batch.
TEST_F(YModemSenderTest, FilesOfEverySizeGoOutIn1KBlocksWithA128ByteTail)
{
    const size_t sizes[] = {0, 1, 128, 129, 1024, 1025, 1500, 2048, 256 * 1024 + 1};
    for (size_t i = 0; i < sizeof sizes / sizeof sizes[0]; ++i) {
        const size_t size = sizes[i];
        const bool crc = i % 2 == 0;
        const std::string data = Pattern(size, static_cast<unsigned>(size)), startChar = S(crc ? 'C' : NAK);
        start(data);
        // Stray bytes before the start character are passed over; block 0
        // names the file by the last component of its path.
        EXPECT_EQ(sayForBlock0("xyz" + startChar, crc), Block0("source.bin", std::to_string(size), crc));
        std::string answer = A + startChar;
        unsigned number = 1;
        // Each block is taken as soon as it is whole (not after 1.5 s of the
        // engine's clock, which made 257 blocks cost half a minute); anything
        // sent beyond it shows in the next answer.
        for (size_t at = 0; at < size; ++number, answer = A) {
            const size_t block = size - at >= 1024 ? 1024 : 128;
            const std::string expected = Frame(number, data.substr(at, block), block, crc);
            deviceSends(answer);
            EXPECT_EQ(awaitBytes(expected.size()), expected) << size << " block " << number;
            at += block;
        }
        EXPECT_EQ(say(answer, 900), S(EOT));  // repeated after a second
        EXPECT_EQ(sayForBlock0(A + startChar, crc), Block0("", "", crc));
        EXPECT_EQ(say(A), "");
        expectStopped(0);
    }
}

// A NAKed block goes out again unchanged, four sends at most, and three NAKs
// switch the rest of the file to 128-byte blocks; CAN or a stray byte stops.
TEST_F(YModemSenderTest, AnswersToABlockDecideWhatGoesOutNext)
{
    const std::string data = Pattern(4096), first = Frame(1, data.substr(0, 1024), 1024);
    const struct {
        std::string answers;
        int result;
    } rows[] = {
        {S(NAK, 3), 0},
        {S(NAK, 4), CYModem::ERR_RETRIES},
        {S(CAN), CYModem::ERR_CANCELLED},
        {"x", CYModem::ERR_OUTOFSYNC},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(startToBlock1(data), first);
        std::string heard, resent;
        for (char answer : r.answers) heard += say(S(answer)), resent += first;
        EXPECT_EQ(heard + (r.result ? first : ""), resent) << r.result;
        if (r.result) {
            expectStopped(r.result);
            continue;
        }
        EXPECT_EQ(ym_.GetParameter(CYModem::PAR_NAKS), 3);
        for (unsigned n = 2; n < 2 + 24; ++n) EXPECT_EQ(say(A), Frame(n, data.substr(1024 + (n - 2) * 128, 128))) << n;
        EXPECT_EQ(say(A, 900), S(EOT));
    }
}

// Silence stops a transfer a minute before the start character and ten
// seconds after a block's check bytes; an EOT goes out again each second
// until then, and no block is sent again without a NAK.
TEST_F(YModemSenderTest, SilenceStopsAMinuteBeforeTheStartCharacterOrTenSecondsAfterABlock)
{
    start("abc");
    DWORD since = now();
    deviceSends("zz");
    EXPECT_EQ(runToEnd(), CYModem::ERR_NOSTARTUPCHAR);
    EXPECT_NEAR(static_cast<double>(now() - since), 60000, 5);
    EXPECT_EQ(deviceReads(), "");

    startToBlock1(Pattern(500));  // its ACK is lost
    since = now();
    EXPECT_EQ(runToEnd(), CYModem::ERR_TIMEDOUT);
    EXPECT_EQ(now() - since, 10000u);  // to the millisecond on the test's clock
    EXPECT_EQ(deviceReads(), "");

    startToBlock1(Pattern(100));
    deviceSends(A);
    EXPECT_EQ(awaitBytes(1), S(EOT));
    since = now();
    deviceSends(S(NAK));
    EXPECT_EQ(awaitBytes(1), S(EOT));
    EXPECT_NEAR(static_cast<double>(now() - since), 1000, 5);
    EXPECT_EQ(runToEnd(), CYModem::ERR_TIMEDOUT);  // while the tenth EOT still waits for its second
    EXPECT_EQ(deviceReads(), S(EOT, 8));
}

TEST_F(YModemSenderTest, AMissingFileOrAFolderStopsWithTheWindowsErrorAndSendsNothing)
{
    ASSERT_EQ(ym_.TxStart(dir_.file("missing.txt").c_str()), 0);
    EXPECT_EQ(runToEnd(), CComPort::ERR_SYSTEM);
    EXPECT_EQ(ym_.WinError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(ym_.TxStart(dir_.path().c_str()), 0);
    EXPECT_EQ(runToEnd(), CComPort::ERR_SYSTEM);
    EXPECT_NE(ym_.WinError(), 0u);
    EXPECT_EQ(deviceReads(), "");
    EXPECT_TRUE(TempDir::Exists(dir_.path()));
}

TEST_F(YModemSenderTest, ACancelIsActedOnBeforeTheNextBlockGoesOutAndKeepsTheFile)
{
    startToBlock1(Pattern(3000));
    ym_.RequestCancel();
    answerCans();
    deviceSends(A);
    EXPECT_EQ(runToEnd(), CYModem::ERR_ABORTED);
    EXPECT_EQ(heard_, S(CAN));
    EXPECT_TRUE(TempDir::Exists(dir_.file("source.bin")));
}

}  // namespace
}  // namespace link_test

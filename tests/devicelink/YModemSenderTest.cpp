// The PC sends: the test plays the note-taker receiving a file.
#include <string>

#include "tests/devicelink/YModemTestHarness.h"

namespace ymodem_test {
namespace {

class YModemSenderTest : public YModemTest {
protected:
    std::string source(const std::string& data, const char* name = "source.bin")
    {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(TempDir::WriteAll(path, data));
        return path;
    }
    static std::string startChar(bool crc) { return std::string{crc ? 'C' : NAK}; }
    // The start character, then block 0 as the engine sends it.
    SentBlock begin(const std::string& path, bool crc = true)
    {
        EXPECT_EQ(ym_.TxStart(path.c_str()), 0);
        deviceSends(startChar(crc));
        return awaitBlock(crc);
    }
    void expectIntact(const SentBlock& b, unsigned number, bool crc = true)
    {
        EXPECT_EQ(b.number, number & 0xFF);
        EXPECT_EQ(b.number + b.complement, 255u);
        if (crc)
            EXPECT_EQ(b.check, CrcBytes(b.data)) << "block " << number;
        else
            EXPECT_EQ(b.check, std::string(1, static_cast<char>(Sum8(b.data)))) << "block " << number;
    }
    // Acknowledges block 0, asks for the data and takes every block up to EOT.
    std::string takeData(bool crc = true, std::string* headers = nullptr)
    {
        deviceSends(std::string{ACK} + startChar(crc));
        std::string data;
        for (unsigned number = 1;; ++number) {
            const SentBlock b = awaitBlock(crc);
            if (b.header != SOH && b.header != STX) {
                EXPECT_EQ(b.header, EOT);
                return data;
            }
            expectIntact(b, number, crc);
            if (headers) *headers += b.header;
            data += b.data;
            deviceSends(std::string{ACK});
        }
    }
    // Acknowledges the EOT and takes the empty block 0 that ends the batch.
    int closeBatch(bool crc = true)
    {
        deviceSends(std::string{ACK} + startChar(crc));
        const SentBlock b = awaitBlock(crc);
        EXPECT_EQ(b.header, SOH);
        expectIntact(b, 0, crc);
        EXPECT_EQ(b.data, std::string(128, '\0'));
        deviceSends(std::string{ACK});
        return runToEnd();
    }
    static std::string expectedHeaders(size_t size)
    {
        std::string headers;
        for (size_t left = size; left;) {
            const bool whole = left >= 1024;
            headers += whole ? STX : SOH;
            left -= whole ? 1024 : (left < 128 ? left : 128);
        }
        return headers;
    }
};

TEST_F(YModemSenderTest, FilesOfEverySizeGoOutIn1KBlocksWithA128ByteTail)
{
    for (size_t size : {0u, 1u, 128u, 129u, 1024u, 1025u, 1500u, 2048u}) {
        const std::string data = Pattern(size, static_cast<unsigned>(size));
        const SentBlock block0 = begin(source(data));
        std::string expected0 = "source.bin";
        expected0 += '\0';
        expected0 += std::to_string(size);
        expected0.resize(128, '\0');
        EXPECT_EQ(block0.header, SOH);
        expectIntact(block0, 0);
        EXPECT_EQ(block0.data, expected0);

        std::string headers;
        const std::string sent = takeData(true, &headers);
        EXPECT_EQ(headers, expectedHeaders(size)) << size;
        EXPECT_TRUE(sent.substr(0, size) == data) << size;
        EXPECT_EQ(sent.substr(size), std::string(sent.size() - size, ' ')) << "pad bytes";
        EXPECT_EQ(closeBatch(), 0);
        EXPECT_EQ(ym_.LastResult(), 0);
    }
}

TEST_F(YModemSenderTest, AReceiverStartingWithNakGetsSingleByteChecksums)
{
    const std::string data = Pattern(1300);
    const SentBlock block0 = begin(source(data), false);
    expectIntact(block0, 0, false);
    EXPECT_TRUE(takeData(false).substr(0, data.size()) == data);
    EXPECT_EQ(closeBatch(false), 0);
}

TEST_F(YModemSenderTest, Block0CarriesOnlyTheLastPathComponentAndPausesHalfASecondBeforeItsCrc)
{
    ASSERT_TRUE(CreateDirectoryA(dir_.file("folder").c_str(), nullptr));
    const std::string path = source(Pattern(1234), "folder\\abcdefghij");
    ASSERT_EQ(ym_.TxStart(path.c_str()), 0);
    deviceSends("xyzC");  // stray bytes before the start character are passed over
    awaitBytes(3 + 128);
    const DWORD dataSent = now();
    const std::string crc = awaitBytes(2);
    EXPECT_NEAR(static_cast<double>(now() - dataSent), 500, 3);
    std::string expected = std::string("abcdefghij") + '\0' + "1234";
    expected.resize(128, '\0');
    EXPECT_EQ(crc, CrcBytes(expected));
}

TEST_F(YModemSenderTest, ANakedBlockGoesOutAgainUnchanged)
{
    const std::string data = Pattern(2000);
    begin(source(data));
    deviceSends(std::string{ACK, 'C'});
    const SentBlock first = awaitBlock();
    deviceSends(std::string{NAK});
    const SentBlock again = awaitBlock();
    EXPECT_TRUE(again.header == first.header && again.number == 1 && again.data == first.data &&
                again.check == first.check);
    deviceSends(std::string{ACK});
    const SentBlock rest = awaitBlock();
    expectIntact(rest, 2);
    EXPECT_TRUE(first.data == data.substr(0, 1024) && rest.data == data.substr(1024, 128));
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_NAKS), 1);
}

TEST_F(YModemSenderTest, ThreeNaksSwitchTheRestOfTheFileTo128ByteBlocks)
{
    const std::string data = Pattern(4096);
    begin(source(data));
    deviceSends(std::string{ACK, 'C'});
    for (int send = 0; send < 3; ++send) {
        EXPECT_EQ(awaitBlock().header, STX);
        deviceSends(std::string{NAK});
    }
    const SentBlock fourth = awaitBlock();
    EXPECT_EQ(fourth.header, STX);
    expectIntact(fourth, 1);
    deviceSends(std::string{ACK});
    std::string rest;
    for (unsigned number = 2; number < 2 + 24; ++number) {
        const SentBlock b = awaitBlock();
        EXPECT_EQ(b.header, SOH);
        expectIntact(b, number);
        rest += b.data;
        deviceSends(std::string{ACK});
    }
    EXPECT_TRUE(fourth.data + rest == data);
    EXPECT_EQ(awaitBlock().header, EOT);
    EXPECT_EQ(closeBatch(), 0);
}

TEST_F(YModemSenderTest, AFourthNakCanOrAStrayByteInAnswerToABlockStops)
{
    const struct { std::string answers; int result; } cases[] = {
        {std::string(4, NAK), CYModem::ERR_RETRIES}, {std::string{CAN}, CYModem::ERR_CANCELLED},
        {"x", CYModem::ERR_OUTOFSYNC},
    };
    for (const auto& c : cases) {
        begin(source(Pattern(500)));
        deviceSends(std::string{ACK, 'C'});
        for (char answer : c.answers) {
            EXPECT_EQ(awaitBlock().header, SOH);
            deviceSends(std::string{answer});
        }
        EXPECT_EQ(runToEnd(), c.result);
        if (c.result == CYModem::ERR_RETRIES) {
            EXPECT_EQ(deviceReads(), "");
        }
        line_.Purge(MemoryLine::Side::Device, true, true);
    }
}

TEST_F(YModemSenderTest, AnAnswerThatNeverComesTimesOutTenSecondsAfterTheCheckBytes)
{
    begin(source(Pattern(500)));
    deviceSends(std::string{ACK, 'C'});
    awaitBlock();  // its ACK is lost
    const DWORD sent = now();
    EXPECT_EQ(runToEnd(), CYModem::ERR_TIMEDOUT);
    EXPECT_NEAR(static_cast<double>(now() - sent), 10000, 5);
    EXPECT_EQ(deviceReads(), "");  // no block is sent again without a NAK
}

TEST_F(YModemSenderTest, NoStartCharacterWithinAMinuteStops)
{
    ASSERT_EQ(ym_.TxStart(source("abc").c_str()), 0);
    const DWORD started = now();
    deviceSends("zz");
    EXPECT_EQ(runToEnd(), CYModem::ERR_NOSTARTUPCHAR);
    EXPECT_NEAR(static_cast<double>(now() - started), 60000, 5);
    EXPECT_EQ(deviceReads(), "");
}

TEST_F(YModemSenderTest, AnEotAnsweredWithNakIsRepeatedEverySecondUntilTheBlocksDeadline)
{
    begin(source(Pattern(100)));
    takeData();
    const DWORD firstEot = now();
    deviceSends(std::string{NAK});
    EXPECT_EQ(awaitBytes(1), std::string{EOT});
    EXPECT_NEAR(static_cast<double>(now() - firstEot), 1000, 5);
    // No answer at all: the last block's 10-s deadline ends the transfer
    // while the tenth EOT is still waiting for its second.
    EXPECT_EQ(runToEnd(), CYModem::ERR_TIMEDOUT);
    EXPECT_EQ(deviceReads(), std::string(8, EOT));
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

TEST_F(YModemSenderTest, ACancelIsActedOnBeforeTheNextBlockGoesOut)
{
    begin(source(Pattern(3000)));
    deviceSends(std::string{ACK, 'C'});
    awaitBlock();
    ym_.RequestCancel();
    answerCans();
    deviceSends(std::string{ACK});
    EXPECT_EQ(runToEnd(), CYModem::ERR_ABORTED);
    EXPECT_EQ(heard_, std::string{CAN});
    EXPECT_TRUE(TempDir::Exists(dir_.file("source.bin")));  // the sender never deletes its file
}

TEST_F(YModemSenderTest, BlockNumbersWrapAfter255)
{
    const std::string data = Pattern(256 * 1024 + 1);
    begin(source(data));
    std::string headers;
    EXPECT_TRUE(takeData(true, &headers).substr(0, data.size()) == data);  // numbers checked modulo 256
    EXPECT_EQ(headers.size(), 257u);
    EXPECT_EQ(closeBatch(), 0);
}

TEST_F(YModemSenderTest, BurstsArePacedByTheBurstPauseAndProcessWaitsItOut)
{
    ASSERT_EQ(ym_.SetParameter(CYModem::PAR_BURSTSIZE, 256), 0);
    ASSERT_EQ(ym_.SetParameter(CYModem::PAR_BURSTSLEEP, 40), 0);
    const std::string data = Pattern(1024);
    begin(source(data));
    deviceSends(std::string{ACK, 'C'});
    awaitBytes(3 + 256);
    const DWORD firstBurst = now();
    const int state = ym_.GetParameter(CYModem::PAR_STATE);
    EXPECT_EQ(ym_.Process(), 1);  // inside the pause nothing moves
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_STATE), state);
    EXPECT_EQ(deviceHas(), 0u);
    const std::string rest = awaitBytes(3 * 256 + 2);
    EXPECT_NEAR(static_cast<double>(now() - firstBurst), 3 * 40, 6);
    EXPECT_EQ(rest.substr(rest.size() - 2), CrcBytes(data));
}

}  // namespace
}  // namespace ymodem_test

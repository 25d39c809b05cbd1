// The PC receives: the test plays the note-taker sending a file.
#include <string>

#include "tests/devicelink/YModemTestHarness.h"

namespace ymodem_test {
namespace {

const std::string kAckC{ACK, 'C'};
const std::string kAck{ACK};

class YModemReceiverTest : public YModemTest {
protected:
    void startReceive()
    {
        ASSERT_EQ(ym_.RxStart(target().c_str()), 0);
        ASSERT_EQ(awaitBytes(1), "C");
    }
    // Block 0 for `data`, accepted with ACK and a new "C".
    void offer(const std::string& data)
    {
        ASSERT_EQ(exchange(Block0("notes.txt", std::to_string(data.size())), 2), kAckC);
    }
    void sendBlocks(const std::string& data, size_t blockSize, unsigned firstNumber = 1)
    {
        unsigned number = firstNumber;
        for (size_t offset = 0; offset < data.size(); offset += blockSize, ++number)
            ASSERT_EQ(exchange(Frame(number, data.substr(offset, blockSize), blockSize), 1), kAck) << number;
    }
    // EOT, then the empty block 0 that ends the batch; returns the result.
    int finish()
    {
        EXPECT_EQ(exchange(std::string{EOT}, 2), kAckC);
        deviceSends(Block0("", ""));
        const int result = runToEnd();
        EXPECT_EQ(deviceReads(), kAck);
        return result;
    }
    void expectNoTarget() { EXPECT_FALSE(TempDir::Exists(target())); }
};

TEST_F(YModemReceiverTest, WholeFilesOfEverySizeArriveIdenticalAndCutToBlock0sSize)
{
    for (size_t size : {0u, 1u, 128u, 129u, 1024u, 1025u, 5000u}) {
        for (size_t blockSize : {128u, 1024u}) {
            const std::string data = Pattern(size, static_cast<unsigned>(size));
            startReceive();
            offer(data);
            sendBlocks(data, blockSize);
            EXPECT_EQ(finish(), 0);
            EXPECT_EQ(ym_.LastResult(), 0);
            EXPECT_TRUE(TempDir::ReadAll(target()) == data) << size << " in blocks of " << blockSize;
        }
    }
}

TEST_F(YModemReceiverTest, FirstCGoesOutHalfASecondAfterStartAndAgainEveryReplyTimeout)
{
    ASSERT_EQ(ym_.RxStart(target().c_str()), 0);
    const DWORD start = now();
    EXPECT_EQ(awaitBytes(1), "C");
    EXPECT_NEAR(static_cast<double>(now() - start), 500, 3);
    EXPECT_EQ(awaitBytes(1), "C");
    EXPECT_NEAR(static_cast<double>(now() - start), 2500, 5);
    EXPECT_GT(ym_.Process(), 0);  // no deadline before the first block: it waits on
}

TEST_F(YModemReceiverTest, CorruptedDataOrCrcIsNakedAndTheResentBlockAccepted)
{
    const std::string data = Pattern(1024 + 200);
    for (size_t corruptAt : {3u + 500u, 3u + 1024u, 3u + 1025u}) {  // data byte, CRC high, CRC low
        startReceive();
        offer(data);
        std::string bad = Frame(1, data.substr(0, 1024), 1024);
        bad[corruptAt] ^= 0x40;
        EXPECT_EQ(exchange(bad, 1), std::string{NAK});
        sendBlocks(data.substr(0, 1024), 1024);
        sendBlocks(data.substr(1024), 128, 2);
        EXPECT_EQ(finish(), 0);
        EXPECT_TRUE(TempDir::ReadAll(target()) == data);
        EXPECT_EQ(ym_.GetParameter(CYModem::PAR_NAKS), 1);
    }
}

TEST_F(YModemReceiverTest, BlocksRepeatedAfterALostAckAreAcknowledgedButWrittenOnce)
{
    const std::string data = Pattern(384);
    startReceive();
    offer(data);
    offer(data);  // block 0 again: ACK and a new "C", nothing written
    sendBlocks(data.substr(0, 128), 128);
    sendBlocks(data.substr(0, 128), 128);
    sendBlocks(data.substr(128), 128, 2);
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(TempDir::ReadAll(target()), data);
}

TEST_F(YModemReceiverTest, ABadBlockNumberCanAStrayHeaderOrAnEarlyEotStopsAndDeletesTheFile)
{
    const std::string data = Pattern(600);
    std::string badNumber = Frame(3, data.substr(256, 128)), badComplement = badNumber;
    badNumber[1] ^= 0x01;
    badComplement[2] ^= 0x01;
    const struct { std::string bytes; int result; } cases[] = {
        {badNumber, CYModem::ERR_BADPACKETNBR}, {badComplement, CYModem::ERR_BADPACKETNBR},
        {std::string{CAN}, CYModem::ERR_CANCELLED}, {"x", CYModem::ERR_OUTOFSYNC},
        {std::string{EOT}, CYModem::ERR_OUTOFSYNC},  // short of block 0's size
    };
    for (const auto& c : cases) {
        startReceive();
        offer(data);
        sendBlocks(data.substr(0, 256), 128);
        ASSERT_TRUE(TempDir::Exists(target()));
        deviceSends(c.bytes);
        EXPECT_EQ(runToEnd(), c.result);
        EXPECT_EQ(ym_.LastResult(), c.result);
        EXPECT_EQ(deviceReads(), "");  // not acknowledged
        expectNoTarget();
    }
}

TEST_F(YModemReceiverTest, ASilentDeviceTimesOutTwoSecondsAfterAnAckAndSixInsideABlock)
{
    const std::string data = Pattern(600);
    startReceive();
    offer(data);
    sendBlocks(data.substr(0, 128), 128);  // the ACK for it was lost: nothing more comes
    DWORD quietSince = now();
    EXPECT_EQ(runToEnd(), CYModem::ERR_TIMEDOUT);
    EXPECT_NEAR(static_cast<double>(now() - quietSince), 2000, 5);
    expectNoTarget();

    startReceive();
    offer(data);
    deviceSends(Frame(1, data.substr(0, 128)).substr(0, 60));  // half a block
    quietSince = now();
    EXPECT_EQ(runToEnd(), CYModem::ERR_TIMEDOUT);
    EXPECT_NEAR(static_cast<double>(now() - quietSince), 6000, 5);
    expectNoTarget();
}

TEST_F(YModemReceiverTest, NoClosingBlock0AfterEotTimesOutButKeepsTheCompleteFile)
{
    const std::string data = Pattern(300);
    startReceive();
    offer(data);
    sendBlocks(data, 128);
    EXPECT_EQ(exchange(std::string{EOT}, 2), kAckC);
    EXPECT_EQ(runToEnd(), CYModem::ERR_TIMEDOUT);
    EXPECT_EQ(TempDir::ReadAll(target()), data);
}

TEST_F(YModemReceiverTest, CancelWhileWaitingForABlockSendsCanAndDeletesTheFile)
{
    const std::string data = Pattern(600);
    startReceive();
    offer(data);
    sendBlocks(data.substr(0, 128), 128);
    ym_.SetParameter(CYModem::PAR_TIMEOUT, 10);  // a header deadline later than the cancel's grace
    answerCans();
    const DWORD asked = now();
    ym_.RequestCancel();
    EXPECT_EQ(runToEnd(), CYModem::ERR_ABORTED);
    EXPECT_EQ(heard_, std::string{CAN});  // answered at once: one round
    EXPECT_LE(firstCanAt_ - asked, 5002u);
    EXPECT_LE(now() - asked, 5000u + 1000u + 10u);  // and a second for the line to settle
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_STATE), 0);
    expectNoTarget();
}

TEST_F(YModemReceiverTest, CancelBeforeTheFirstBlockActsAtOnceAndGivesUpAfterThirtyUnansweredCans)
{
    ASSERT_EQ(ym_.RxStart(target().c_str()), 0);
    ym_.RequestCancel();
    const DWORD asked = now();
    EXPECT_EQ(runToEnd(), CYModem::ERR_ABORTED);
    EXPECT_EQ(deviceReads(), std::string(30, CAN));
    EXPECT_NEAR(static_cast<double>(now() - asked), 500 + 30 * 2000, 60);
    expectNoTarget();
}

TEST_F(YModemReceiverTest, ATargetThatCannotBeCreatedStopsWithTheWindowsErrorAndNoAck)
{
    ASSERT_TRUE(CreateDirectoryA(target().c_str(), nullptr));  // a folder where the file should go
    startReceive();
    deviceSends(Block0("notes.txt", "10"));
    EXPECT_EQ(runToEnd(), CComPort::ERR_SYSTEM);
    EXPECT_NE(ym_.WinError(), 0u);
    EXPECT_EQ(deviceReads(), "");
    EXPECT_NE(GetFileAttributesA(target().c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);  // the folder is left alone
}

TEST_F(YModemReceiverTest, MissingFoldersOfTheTargetAreCreated)
{
    const std::string deep = dir_.file("a\\b\\c.txt");
    ASSERT_EQ(ym_.RxStart(deep.c_str()), 0);
    ASSERT_EQ(awaitBytes(1), "C");
    offer("hello");
    sendBlocks("hello", 128);
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(TempDir::ReadAll(deep), "hello");
}

TEST_F(YModemReceiverTest, Block0SizeFieldIsReadLeniently)
{
    struct Case {
        const char* field;
        size_t kept;
    } cases[] = {{"", 0}, {"abc", 0}, {"  200 13573254123 100644", 200}, {"+50", 50}, {"-5", 0}};
    const std::string data = Pattern(256);
    for (const Case& c : cases) {
        startReceive();
        EXPECT_EQ(exchange(Block0("n.txt", c.field), 2), kAckC) << c.field;
        sendBlocks(data, 128);  // blocks beyond the size are acknowledged, not written
        EXPECT_EQ(finish(), 0);
        EXPECT_EQ(TempDir::ReadAll(target()), data.substr(0, c.kept)) << c.field;
    }
}

TEST_F(YModemReceiverTest, AnEmptyBatchEndsWithSuccessAndNoFile)
{
    startReceive();
    deviceSends(Block0("", ""));
    EXPECT_EQ(runToEnd(), 0);
    EXPECT_EQ(deviceReads(), kAck);
    expectNoTarget();
}

TEST_F(YModemReceiverTest, ASecondFileIsRefusedWithCanAndTheFirstIsKept)
{
    const std::string data = Pattern(200);
    startReceive();
    offer(data);
    sendBlocks(data, 128);
    EXPECT_EQ(exchange(std::string{EOT}, 2), kAckC);
    answerCans();
    deviceSends(Block0("other.txt", "5"));
    EXPECT_EQ(runToEnd(), 0);  // the deadline passing after a refusal is a success
    EXPECT_EQ(ym_.LastResult(), 0);
    EXPECT_EQ(heard_.substr(0, 1), std::string{CAN});
    EXPECT_EQ(heard_.find(ACK), std::string::npos);
    EXPECT_EQ(TempDir::ReadAll(target()), data);
}

TEST_F(YModemReceiverTest, StarOrSpaceAsTargetMeansNoTargetSoAnyFileIsRefused)
{
    for (const char* none : {"*", " ", ""}) {
        ASSERT_EQ(ym_.RxStart(none), 0);
        ASSERT_EQ(awaitBytes(1), "C");
        answerCans();
        heard_.clear();
        deviceSends(Block0("notes.txt", "5"));
        EXPECT_EQ(runToEnd(), 0);
        EXPECT_EQ(heard_.substr(0, 1), std::string{CAN}) << '"' << none << '"';
        ticks_.OnSleep(nullptr);
    }
}

}  // namespace
}  // namespace ymodem_test

// The YModem engine: the test plays the note-taker receiving or sending a file.
#include <functional>
#include <vector>

#include "foundation/DbgLog.h"
#include "tests/devicelink/LinkTest.h"

namespace link_test {
namespace {

const std::string A = S(ACK), AC = A + "C", kNone = "(no file)", kOld = "the user's own";

class YModemReceiverTest : public YModemTest {
protected:
    std::string target() const { return dir_.file("in\\target.bin"); }  // its folder is made by the receiver
    std::string file() const { return TempDir::Exists(target()) ? TempDir::ReadAll(target()) : kNone; }
    // Block 0 for `data` and `data` in blocks of `size` numbered from 1.
    static std::string Offer(const std::string& data, size_t size = 128)
    {
        std::string wire = Block0("notes.txt", std::to_string(data.size()));
        for (size_t at = 0, n = 1; at < data.size(); at += size, ++n) wire += Frame(n, data.substr(at, size), size);
        return wire;
    }
    // Starts a receive over `old_` (no target when empty); the first "C" comes half a second later.
    void start(const char* path = nullptr, DWORD listed = CYModem::kNoListedSize)
    {
        DeleteFileA(target().c_str());
        if (!old_.empty()) TempDir::WriteAll(target(), old_);
        EXPECT_EQ(ym_.RxStart(path ? path : target().c_str(), listed), 0);
    }
    std::string old_;
    // Starts a receive, and after its first "C" the device sends `wire`, whose `answers` bytes the engine sends back.
    void startWith(const std::string& wire, size_t answers)
    {
        start();
        EXPECT_EQ(awaitBytes(1), "C");
        deviceSends(wire);
        awaitBytes(answers);
    }
};

// The device's side of a whole receive over an existing file, in bursts each sent once the engine has answered the one
// before; what the engine sent, its result and the file, never a partial one; and the trace line a support person looks
// for to see a damaged block.
TEST_F(YModemReceiverTest, ConversationsEndWithTheirResultAndOnlyAWholeFileStays)
{
    DbgOpen(DBG_YMODEM | DBG_TO_FILE, dir_.file("trace.log").c_str(), 0);
    const std::string data = Pattern(300), b1 = Frame(1, data.substr(0, 128)), b2 = Frame(2, data.substr(128, 128));
    const std::string b3 = Frame(3, data.substr(256)), b0 = Block0("notes.txt", "300"), offer = b0 + b1 + b2;
    auto spoiled = [](std::string b, size_t at) { return b[at] ^= 0x40, b; };
    const std::string end = Block0("", ""), other = Block0("other.txt", "5"), cans = S(CAN, 30), whole = AC + A + A + A;
    const std::string big = Pattern(1025, 3), two = b1 + b2 + EOT, sized = "C" + AC + A + A + AC + A;
    const struct {
        const char* path;
        std::vector<std::string> bursts;
        std::string heard;
        int result;
        std::string file;
        DWORD listed = CYModem::kNoListedSize;
    } rows[] = {
        {nullptr, {offer + b3 + EOT, end}, "C" + whole + AC + A, 0, data},
        {nullptr, {Offer(big, 1024) + EOT, end}, "C" + AC + A + A + AC + A, 0, big},  // the tail in a 1K block
        // A damaged block (here its last CRC byte) is NAKed, and the block sent again accepted.
        {nullptr, {b0 + spoiled(b1, 132) + b1 + b2 + b3 + EOT, end}, "C" + AC + S(NAK) + A + A + A + AC + A, 0, data},
        // A block sent again after a lost ACK (block 0 too) is acknowledged, not written again.
        {nullptr, {b0 + b0 + b1 + b1 + b2 + b2 + b3 + EOT, end}, "C" + AC + AC + S(ACK, 5) + AC + A, 0, data},
        // CAN or a stray byte for a header, an EOT short of the size, or a skipped block: no ACK, the old
        // file kept; the device still sending hears CAN.
        {nullptr, {offer + CAN}, "C" + AC + A + A, CYModem::ERR_CANCELLED, kOld},
        {nullptr, {offer + "x"}, "C" + AC + A + A + cans, CYModem::ERR_OUTOFSYNC, kOld},
        {nullptr, {offer + EOT}, "C" + AC + A + A + cans, CYModem::ERR_OUTOFSYNC, kOld},
        {nullptr, {b0 + b1 + b3}, "C" + AC + A + cans, CYModem::ERR_BADPACKETNBR, kOld},
        // The size field: white space, a sign and digits up to the first other character; none: the listing's size;
        // blocks beyond the size are acknowledged and not written.
        {nullptr, {Block0("n.txt", "") + two, end}, sized, 0, data.substr(0, 200), 200},
        {nullptr, {Block0("n.txt", "  200 13573254123 100644") + two, end}, sized, 0, data.substr(0, 200)},
        {nullptr, {Block0("n.txt", "-5") + two, end}, sized, 0, ""},
        // A batch closed before the one file came (at once, or after an EOT) brought nothing: a failure.
        {nullptr, {end}, "C" + A, CYModem::ERR_NOFILESENT, kOld},
        {nullptr, {S(EOT), end}, "C" + AC + A, CYModem::ERR_NOFILESENT, kOld},
        // Whole by block 0 but short of the size the folder listed just before.
        {nullptr, {offer + b3 + EOT}, "C" + whole + cans, CYModem::ERR_SHORTFILE, kOld, 301},
        // A file nobody asked for (here after the one file) is refused with CAN; the deadline that then passes
        // ends the receive as a success.
        {nullptr, {offer + b3 + EOT, other}, "C" + whole + AC + cans, 0, data},
        {nullptr, {offer + b3 + EOT, S(EOT), end}, "C" + whole + AC + AC + A, 0, data},  // our ACK of the EOT was lost
    };
    old_ = kOld;
    for (const auto& r : rows) {
        start(r.path, r.listed);
        std::string heard = say("");
        for (const auto& burst : r.bursts) heard += say(burst);
        runToEnd();
        heard += deviceReads();
        EXPECT_EQ(heard, r.heard) << &r - rows;
        EXPECT_EQ(ym_.GetParameter(CYModem::PAR_NAKS), static_cast<int>(std::count(heard.begin(), heard.end(), NAK)));
        expectStopped(r.result);
        EXPECT_TRUE(file() == r.file) << &r - rows;
        EXPECT_FALSE(TempDir::Exists(target() + ".pellor-part")) << &r - rows;
    }
    DbgClose();
    EXPECT_NE(TempDir::ReadAll(dir_.file("trace.log")).find("CYModem::putChar(NAK)"), std::string::npos);
    DbgOpen(0, "", 0);
    DbgClose();
}

// Silence ends a receive a minute after its start, 2 s after an ACK, 6 s in a block or after the EOT; never with CAN.
TEST_F(YModemReceiverTest, ASilentDeviceTimesOutByWhereItFellSilent)
{
    const std::string data = Pattern(300), sent = Block0("notes.txt", "300") + Frame(1, data.substr(0, 128));
    const struct {
        std::string wire;
        size_t answer;
        std::string tail;
        DWORD after;
        std::string file;
    } rows[] = {{"", 0, "", 59500, kNone},  // the first "C" half a second after the start
                {sent, 3, "", 2000, kNone},
                {sent, 3, Frame(2, data.substr(128, 128)).substr(0, 60), 6000, kNone},
                {Offer(data) + EOT, 6, "", 6000, data}};
    for (const auto& r : rows) {
        startWith(r.wire, r.answer);  // the ACKs, with the "C" after block 0
        deviceSends(r.tail);
        const DWORD quietSince = now();
        EXPECT_EQ(runToEnd(), CYModem::ERR_TIMEDOUT);
        EXPECT_NEAR(static_cast<double>(now() - quietSince), r.after, 5) << r.after;
        EXPECT_EQ(deviceReads().find(CAN), std::string::npos) << r.after;
        EXPECT_TRUE(file() == r.file);
    }
}

// A cancel replaces the next answer ("C" here) at once, and is acted on in any other state once its 5 s of grace are
// over; the device hears one CAN (answered) and the partial file goes. Unanswered, 30 CANs go out.
TEST_F(YModemReceiverTest, CancelSendsCanInsteadOfTheNextAnswerAndDeletesTheFile)
{
    const std::string sent = Block0("notes.txt", "600") + Frame(1, Pattern(128));
    const struct {
        std::string wire;
        size_t answer;
        int state;
        DWORD grace;
    } rows[] = {
        {Block0("notes.txt", "600"), 1, CYModem::RX_SEND_NCG, 0},
        {sent, 3, CYModem::RX_WAIT4_SOH_STX, 5000},
    };
    ASSERT_EQ(ym_.SetParameter(CYModem::PAR_TIMEOUT, 10), 0);  // a header deadline later than the grace
    for (const auto& r : rows) {
        startWith(r.wire, r.answer);
        run([&] { return ym_.GetParameter(CYModem::PAR_STATE) == r.state; });
        deviceReads();
        answerCans();
        const DWORD asked = now();
        ym_.RequestCancel();
        EXPECT_EQ(runToEnd(), CYModem::ERR_ABORTED) << r.state;
        EXPECT_EQ(heard_, S(CAN)) << r.state;
        EXPECT_LE(firstCanAt_ - asked, r.grace + 2) << r.state;
        EXPECT_LE(now() - asked, r.grace + 1000 + 10);  // and a second for the line to settle
        expectStopped(CYModem::ERR_ABORTED);
        EXPECT_EQ(file(), kNone);
        ticks_.onSleep_ = nullptr;
    }
    start();
    ym_.RequestCancel();
    const DWORD asked = now();
    EXPECT_EQ(runToEnd(), CYModem::ERR_ABORTED);
    EXPECT_EQ(deviceReads(), S(CAN, 30));
    EXPECT_NEAR(static_cast<double>(now() - asked), 500 + 30 * 10000, 60);
}

// A wait for bytes already there looks once; else it sleeps on the port's read time-out, asking the port a few times,
// not once a millisecond: a receiver's first "C" goes out half a second after the start, the next 2 s later.
TEST_F(YModemReceiverTest, WaitsSleepOnThePortInsteadOfAskingItOverAndOver)
{
    auto calls = [this] {
        return line_.Calls(MemoryLine::Call::ClearCommError) + line_.Calls(MemoryLine::Call::ReadFile);
    };
    unsigned before = calls();
    deviceSends("ab");
    EXPECT_TRUE(ym_.WaitForInput(2, 700) == 2 && calls() - before == 1);  // bytes already there: one look
    ym_.RxClear();
    before = calls();
    const DWORD started = now();
    start();
    EXPECT_EQ(awaitBytes(1) + awaitBytes(1), "CC");
    EXPECT_LE(now() - started - 2502, 1u);
    EXPECT_LE(calls() - before, 80u);
}

TEST_F(YModemReceiverTest, ATargetThatCannotBeCreatedStopsWithTheWindowsError)
{
    // A whole file that cannot take the target's name: the folder in its way is left alone, and the device, still
    // waiting for the EOT's ACK, hears CAN.
    ASSERT_TRUE(CreateDirectoryA(dir_.file("in").c_str(), nullptr) && CreateDirectoryA(target().c_str(), nullptr));
    start();
    EXPECT_EQ(say(""), "C");
    EXPECT_EQ(say(Offer("0123456789")), AC + A);
    answerCans();
    say(S(EOT));
    EXPECT_EQ(heard_, S(CAN));
    expectStopped(CComPort::ERR_SYSTEM);
    EXPECT_NE(ym_.WinError(), 0u);
    EXPECT_NE(GetFileAttributesA(target().c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_FALSE(TempDir::Exists(target() + ".pellor-part"));
}

class YModemSenderTest : public YModemTest {
protected:
    void start(const std::string& data, const char* name = nullptr)
    {
        ASSERT_TRUE(TempDir::WriteAll(dir_.file("source.bin"), data));
        EXPECT_EQ(ym_.TxStart(dir_.file("source.bin").c_str(), name), 0);
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
    // The device sends `bytes`; what the engine sends, a block 0 whose check bytes must come half a second after its
    // data (the device files the name meanwhile).
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

// A receiver starting with "C" gets two CRC bytes, one starting with NAK a single-byte checksum; the tail under 1024
// bytes goes in 128-byte blocks, and the empty block 0 closes the batch.
TEST_F(YModemSenderTest, FilesGoOutIn1KBlocksWithA128ByteTailInEitherCheckMode)
{
    for (const size_t size : {size_t{1}, size_t{1024}, size_t{1025}}) {
        const bool crc = size > 1;
        const char* name = crc ? nullptr : "LETTER.BRF";  // the device's own name for a file sent back
        const std::string data = Pattern(size, static_cast<unsigned>(size)), startChar = S(crc ? 'C' : NAK);
        start(data, name);
        // Stray bytes before the start character are passed over; block 0 names the file by the name given, else by the
        // last component of its path.
        EXPECT_EQ(sayForBlock0("xyz" + startChar, crc), Block0(name ? name : "source.bin", std::to_string(size), crc));
        std::string answer = A + startChar;
        unsigned number = 1;
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

// A NAKed block goes out again unchanged, four sends at most, and three NAKs switch the rest of the file to 128-byte
// blocks; CAN or a stray byte stops.
TEST_F(YModemSenderTest, AnswersToABlockDecideWhatGoesOutNext)
{
    const std::string data = Pattern(4096), first = Frame(1, data.substr(0, 1024), 1024);
    const struct {
        std::string answers;
        int result;
    } rows[] = {{S(NAK, 3), 0},
                {S(NAK, 4), CYModem::ERR_RETRIES},
                {S(CAN), CYModem::ERR_CANCELLED},
                {"x", CYModem::ERR_OUTOFSYNC}};
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

// Silence stops a transfer a minute before the start character and ten seconds after a block's check bytes; an EOT goes
// out again each second until then, and no block is sent again without a NAK.
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

// A missing file stops with the Windows error, sending nothing; a cancel is acted on before the next block and keeps
// the file.
TEST_F(YModemSenderTest, AMissingFileSendsNothingAndACancelBeforeTheNextBlockKeepsTheFile)
{
    ASSERT_EQ(ym_.TxStart(dir_.file("missing.txt").c_str()), 0);
    EXPECT_EQ(runToEnd(), CComPort::ERR_SYSTEM);
    EXPECT_EQ(ym_.WinError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(deviceReads(), "");
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

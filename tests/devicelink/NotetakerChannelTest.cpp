#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/devicelink/NotetakerFixture.h"

namespace {

using Channel = NotetakerFixture;

DWORD Since(DWORD start) { return GetTickCount() - start; }

TEST_F(Channel, ArgumentsAreFramedAsTheDeviceExpects)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_RENAME);
    unsigned char count[2];
    script_.On(Cmd('F') + "\\\r", Bytes({0, 0}));
    EXPECT_EQ(nt->serialCmd("\\", CNotetaker::DCMD_ENUM, count, 2), 0);
    script_.On(Cmd('D') + Bytes({'A', 0x0D, 0}), Bytes({'D', 0, 0}));
    EXPECT_EQ(nt->serialCmd("A", CNotetaker::DCMD_DELE, nullptr, 0), 0);
    script_.On(Cmd('N') + Bytes({'a', 0, 'b', 0}), Bytes({'N', 0, 0}));
    EXPECT_EQ(nt->serialCmd2("a", "b", CNotetaker::DCMD_RENAME, nullptr, 0), 0);
    EXPECT_EQ(script_.Received(), Cmd('F') + "\\\r" + Cmd('D') + Bytes({'A', 0x0D, 0}) + Cmd('N') +
                                      Bytes({'a', 0, 'b', 0}));
}

TEST_F(Channel, LongArgumentsAreCutTo259Characters)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_RENAME);
    const std::string longName(400, 'q');
    script_.On(std::string(259, 'q') + Bytes({0x0D, 0}), Bytes({'M', 0, 0}));
    EXPECT_EQ(nt->serialCmd(longName.c_str(), CNotetaker::DCMD_MKDIR, nullptr, 0), 0);
    EXPECT_EQ(script_.Received(), Cmd('M') + std::string(259, 'q') + Bytes({0x0D, 0}));
    script_.ClearReceived();
    script_.On(std::string(259, 'q') + '\0' + std::string(259, 'q') + '\0', Bytes({'N', 0, 0}));
    EXPECT_EQ(nt->serialCmd2(longName.c_str(), longName.c_str(), CNotetaker::DCMD_RENAME, nullptr, 0), 0);
    EXPECT_EQ(script_.Received().size(), 3u + 2 * 260);
}

TEST_F(Channel, StatusWordsMapToResults)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_VARDEN);
    const struct { int lo, hi, result; } cases[] = {
        {0xFE, 0xFF, CNotetaker::ERR_INVALIDPATH}, {0xFA, 0xFF, CNotetaker::ERR_INVALIDPATH},
        {0x00, 0x00, 0}, {0x05, 0x00, 0}, {0xFF, 0x7F, 0},
        {0xFF, 0xFF, CNotetaker::ERR_RESPONSE}, {0xF9, 0xFF, CNotetaker::ERR_UNKNOWN},
        {0x00, 0x80, CNotetaker::ERR_UNKNOWN},
    };
    for (const auto& c : cases) {
        script_.On(Cmd('D') + Bytes({'x', 0x0D, 0}), Bytes({'D', c.lo, c.hi}));
        EXPECT_EQ(nt->serialCmd("x", CNotetaker::DCMD_DELE, nullptr, 0), c.result) << c.lo << "," << c.hi;
        EXPECT_EQ(nt->LastResult(), c.result);
    }
}

TEST_F(Channel, EchoAndStatusRepliesThatGoWrong)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_RENAME);
    // "?" to an echo-and-status or a two-path command: no "X", no second try.
    script_.On(Cmd('D') + Bytes({'x', 0x0D, 0}), "?").On(Cmd('N') + Bytes({'a', 0, 'b', 0}), "?");
    EXPECT_EQ(nt->serialCmd("x", CNotetaker::DCMD_DELE, nullptr, 0), CNotetaker::ERR_RESPONSE);
    EXPECT_EQ(nt->serialCmd2("a", "b", CNotetaker::DCMD_RENAME, nullptr, 0), CNotetaker::ERR_RESPONSE);
    Sleep(3 * kTimeout);
    EXPECT_EQ(script_.Received(), Cmd('D') + Bytes({'x', 0x0D, 0}) + Cmd('N') + Bytes({'a', 0, 'b', 0}));

    script_.On(Cmd('P') + Bytes({'h', 'i', 0x0D, 0}), "Q");
    EXPECT_EQ(nt->serialCmd("hi", CNotetaker::DCMD_PRINT, nullptr, 0), CNotetaker::ERR_RESPONSE);

    // The letter alone: counted as done once ten reply time-outs have passed.
    script_.On(Cmd('M') + Bytes({'f', 0x0D, 0}), "M");
    DWORD start = GetTickCount();
    EXPECT_EQ(nt->serialCmd("f", CNotetaker::DCMD_MKDIR, nullptr, 0), 0);
    EXPECT_GE(Since(start), 10 * kTimeout - 20);
    EXPECT_LT(Since(start), 10 * kTimeout + 1500);

    // Nothing at all: ERR_NODATA after one reply time-out, not repeated.
    script_.ClearReceived();
    start = GetTickCount();
    EXPECT_EQ(nt->serialCmd("f", CNotetaker::DCMD_MKDIR, nullptr, 0), CComPort::ERR_NODATA);
    EXPECT_LT(Since(start), kTimeout + 1000);
    EXPECT_EQ(script_.Received(), Cmd('M') + Bytes({'f', 0x0D, 0}));
}

TEST_F(Channel, LegacyFirmwareRefusesEchoAndStatusCommands)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_LEGACY);
    script_.On(Cmd('D') + Bytes({'x', 0x0D, 0}), Bytes({'D', 0, 0}));
    EXPECT_EQ(nt->serialCmd("x", CNotetaker::DCMD_DELE, nullptr, 0), CNotetaker::ERR_UNSUPPORTED);
    EXPECT_EQ(nt->serialCmd2("a", "b", CNotetaker::DCMD_RENAME, nullptr, 0), CNotetaker::ERR_UNSUPPORTED);
}

TEST_F(Channel, TwoPathCommandsNeedFirmware102AndSendNothingBelow)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_VARDEN);
    EXPECT_EQ(nt->serialCmd2("a", "b", CNotetaker::DCMD_RENAME, nullptr, 0), CNotetaker::ERR_UNSUPPORTED);
    Sleep(50);
    EXPECT_EQ(script_.Received(), "");
    EXPECT_EQ(nt->LastResult(), CNotetaker::ERR_UNSUPPORTED);
}

TEST_F(Channel, ATwoPathCommandAsTheFirstCommandIdentifiesTheDeviceBeforeItsFirmwareCheck)
{
    const std::string rename = Cmd('N') + Bytes({'a', 0, 'b', 0});
    for (WORD firmware : {CNotetaker::FW_RENAME, CNotetaker::FW_VARDEN}) {
        const bool renames = firmware == CNotetaker::FW_RENAME;
        auto nt = make();
        answerIdentity(firmware);
        if (renames) script_.On(rename, Bytes({'N', 0, 0}));
        EXPECT_EQ(nt->serialCmd2("a", "b", CNotetaker::DCMD_RENAME, nullptr, 0),
                  renames ? 0 : CNotetaker::ERR_UNSUPPORTED);
        settle();
        EXPECT_EQ(script_.Received(), Cmd('W') + Cmd('Y') + (renames ? rename : "")) << firmware;
        script_.ClearReceived();
    }
}

TEST_F(Channel, RepeatRequestsAreAnsweredWithResetAndCountedExactly)
{
    for (DWORD retries : {5u, 1u, 0u}) {
        auto nt = make(2, retries);
        identify(*nt, CNotetaker::FW_VARDEN);
        const int sends = retries > 1 ? static_cast<int>(retries) : 1;
        for (int i = 0; i < sends; ++i) script_.On(Cmd('F') + "\\\r", "?").On("X", "");
        unsigned char count[2];
        EXPECT_EQ(nt->serialCmd("\\", CNotetaker::DCMD_ENUM, count, 2), CNotetaker::ERR_RESPONSE);
        Sleep(3 * kTimeout);
        std::string expected;
        for (int i = 0; i < sends; ++i) expected += Cmd('F') + "\\\rX";
        EXPECT_EQ(script_.Received(), expected) << "retries " << retries;
        EXPECT_TRUE(script_.Done());
        nt.reset();
        line_.Purge(MemoryLine::Side::Device, true, true);
    }
}

TEST_F(Channel, AnAcknowledgementByteIsLeftForTheNextReader)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_VARDEN);
    script_.On(Cmd('S') + Bytes({'f', 0x0D, 0}), "Z");
    EXPECT_EQ(nt->serialCmd("f", CNotetaker::DCMD_RX, nullptr, 0), 0);
    EXPECT_EQ(nt->Getc(), 'Z');
    EXPECT_EQ(nt->Getc(), CComPort::ERR_NODATA);
    script_.On(Cmd('S') + Bytes({'f', 0x0D, 0}), "?").On("X", "").On(Cmd('S') + Bytes({'f', 0x0D, 0}), "\x06");
    EXPECT_EQ(nt->serialCmd("f", CNotetaker::DCMD_RX, nullptr, 0), 0);
    EXPECT_EQ(nt->Getc(), 0x06);
}

TEST_F(Channel, FixedLengthRepliesThatAreShortOrLate)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_VARDEN);
    unsigned char reply[4];
    script_.On(Cmd('F') + "a\r", Bytes({1}));
    DWORD start = GetTickCount();
    EXPECT_EQ(nt->serialCmd("a", CNotetaker::DCMD_ENUM, reply, 2), CNotetaker::ERR_RESPONSE);
    EXPECT_LT(Since(start), kTimeout + 1000);

    // More than asked for: only the buffer is filled, nothing is written past it.
    memset(reply, 0xEE, sizeof reply);
    script_.On(Cmd('F') + "a\r", Bytes({7, 0, 9, 9, 9, 9}));
    EXPECT_EQ(nt->serialCmd("a", CNotetaker::DCMD_ENUM, reply, 2), 0);
    EXPECT_EQ(reply[0], 7);
    EXPECT_EQ(reply[2], 0xEE);
    EXPECT_EQ(reply[3], 0xEE);
}

TEST_F(Channel, AnEndlessStreamEndsEveryCommandPromptly)
{
    auto nt = make(2, 3);
    identify(*nt, CNotetaker::FW_VARDEN);
    std::atomic<bool> stop{false};
    std::thread babbler([&] {
        const std::string noise(64, 'A');
        while (!stop) {
            line_.Write(MemoryLine::Side::Device, noise.data(), noise.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    DWORD start = GetTickCount();
    EXPECT_EQ(nt->serialCmd("x", CNotetaker::DCMD_DELE, nullptr, 0), CNotetaker::ERR_RESPONSE);
    unsigned char reply[33] = {};
    EXPECT_EQ(nt->serialCmd("d", CNotetaker::DCMD_ENUM, reply, 2), 0);
    EXPECT_EQ(reply[0], 'A');
    EXPECT_EQ(reply[2], 0);  // nothing past the asked length
    EXPECT_EQ(nt->serialEnumCmd(CNotetaker::ENUM_NEXT, reply, 31), 31);
    EXPECT_EQ(reply[31], 0);
    nt->ForgetDeviceType();
    EXPECT_EQ(nt->GetDeviceType(), 0u);                        // model 65 is no model
    EXPECT_LT(Since(start), 2000u);
    stop = true;
    babbler.join();
}

TEST_F(Channel, TheConstructorConfiguresThePortForTheDevice)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_VARDEN);
    const auto pc = line_.Pc();
    EXPECT_EQ(pc.rxQueue, 1200u);
    EXPECT_EQ(pc.dcb.BaudRate, 115200u);
    EXPECT_EQ(nt->GetParameter(CComPort::PAR_FLOWCONTROL), CComPort::FLOW_NONE);
}

TEST_F(Channel, ListingLettersAndBadIndexes)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_VARDEN);
    const DWORD start = GetTickCount();
    EXPECT_EQ(nt->serialEnumCmd(CNotetaker::ENUM_NEXT, nullptr, 0), 0);
    EXPECT_LT(Since(start), kTimeout / 2);

    script_.On("R", std::string(31, 'r'));
    char record[31];
    EXPECT_EQ(nt->serialEnumCmd(CNotetaker::ENUM_AGAIN, record, 31), 31);
    EXPECT_EQ(record[30], 'r');

    Sleep(20);
    script_.ClearReceived();
    EXPECT_EQ(nt->serialCmd("a", 10, nullptr, 0), CComPort::ERR_BADPARAM);
    EXPECT_EQ(nt->serialCmd2("a", "b", -1, nullptr, 0), CComPort::ERR_BADPARAM);
    EXPECT_EQ(nt->serialEnumCmd(4, nullptr, 0), CComPort::ERR_BADPARAM);
    Sleep(20);
    EXPECT_EQ(script_.Received(), "");
}

TEST_F(Channel, ReadsCollectUntilCompleteOrTimedOut)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_VARDEN);
    line_.Write(MemoryLine::Side::Device, "abc", 3);
    char buffer[8] = {};
    const DWORD start = GetTickCount();
    EXPECT_EQ(nt->serialRead(buffer, 8, 50), 3);
    EXPECT_GE(Since(start), 45u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(nt->LastResult(), 0);
}

TEST_F(Channel, CloseEmptiesBothQueuesAndAnotherCommandFindsTheDeviceAgain)
{
    auto nt = make();
    identify(*nt, CNotetaker::FW_VARDEN);
    EXPECT_EQ(nt->serialClose(), 0);
    EXPECT_FALSE(line_.Pc().open);
    EXPECT_TRUE(nt->Detected());
    script_.On(Cmd('P') + Bytes({'O', 'k', 0x0D, 0}), Bytes({'P', 0, 0}));
    EXPECT_EQ(nt->serialCmd("Ok", CNotetaker::DCMD_PRINT, nullptr, 0), 0);
    EXPECT_TRUE(line_.Pc().open);
}

}  // namespace

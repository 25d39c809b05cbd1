// The in-memory line stands in for the driver in every device-link test, so
// its own misbehaviours must be the ones asked for and no others.
#include "tests/support/MemoryLine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {
using Side = MemoryLine::Side;

std::string ReadAt(MemoryLine& line, Side side)
{
    char buffer[4096];
    return std::string(buffer, line.Read(side, buffer, sizeof buffer));
}

TEST(MemoryLineTest, BytesArriveInOrderAtTheOtherEndOnly)
{
    MemoryLine line;
    line.Write(Side::Pc, "abc", 3);
    line.Write(Side::Device, "xy", 2);
    EXPECT_EQ(line.Available(Side::Device), 3u);
    EXPECT_EQ(ReadAt(line, Side::Device), "abc");
    EXPECT_EQ(ReadAt(line, Side::Pc), "xy");
    EXPECT_EQ(ReadAt(line, Side::Pc), "");
}

TEST(MemoryLineTest, PacingTakesTenBitTimesPerByte)
{
    MemoryLine line;
    line.WithPc([](MemoryLine::PcPort& pc) { return pc.dcb.BaudRate = 9600; });
    line.SetPacing(true);
    const auto start = std::chrono::steady_clock::now();
    line.Write(Side::Pc, std::string(96, 'p').data(), 96);  // 100 ms at 9600 baud
    EXPECT_GT(line.InFlight(Side::Pc), 0u);
    EXPECT_LT(line.Available(Side::Device), 96u);
    ASSERT_TRUE(line.WaitFor(Side::Device, 96, 2000));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(95));
    EXPECT_EQ(line.InFlight(Side::Pc), 0u);
}

TEST(MemoryLineTest, HookDropsChangesAndDelaysSingleBytes)
{
    MemoryLine line;
    line.SetHook([](Side from, uint64_t index, MemoryLine::ByteFate& fate) {
        if (from != Side::Pc) return;
        if (index == 1) fate.drop = true;
        if (index == 2) fate.value = 'Z';
        if (index == 3) fate.delayMs = 80;
    });
    line.Write(Side::Pc, "abcd", 4);
    line.Write(Side::Device, "abcd", 4);
    EXPECT_EQ(ReadAt(line, Side::Device), "aZ");  // 'd' is still on its way
    ASSERT_TRUE(line.WaitFor(Side::Device, 1, 1000));
    EXPECT_EQ(ReadAt(line, Side::Device), "d");
    EXPECT_EQ(ReadAt(line, Side::Pc), "abcd");
}

TEST(MemoryLineTest, DisagreeingBaudRatesGarbleBothWays)
{
    MemoryLine line;
    line.WithPc([](MemoryLine::PcPort& pc) { return pc.dcb.BaudRate = 19200; });
    line.SetDeviceBaud(115200);
    line.Write(Side::Pc, "IDENT", 5);
    EXPECT_NE(ReadAt(line, Side::Device), "IDENT");
    line.SetDeviceBaud(19200);
    line.Write(Side::Device, "IDENT", 5);
    EXPECT_EQ(ReadAt(line, Side::Pc), "IDENT");
}

TEST(MemoryLineTest, FailuresAreCountedDown)
{
    MemoryLine line;
    DWORD error = 0;
    line.FailNext(MemoryLine::Call::ReadFile, ERROR_IO_DEVICE, 2);
    EXPECT_TRUE(line.TakeFailure(MemoryLine::Call::ReadFile, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_IO_DEVICE));
    EXPECT_FALSE(line.TakeFailure(MemoryLine::Call::WriteFile, error));
    EXPECT_TRUE(line.TakeFailure(MemoryLine::Call::ReadFile, error));
    EXPECT_FALSE(line.TakeFailure(MemoryLine::Call::ReadFile, error));
}

}  // namespace

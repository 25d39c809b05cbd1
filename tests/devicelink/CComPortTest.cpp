#include "devicelink/CComPort.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/MemoryComApi.h"

namespace {

using Call = MemoryLine::Call;
using Side = MemoryLine::Side;

class ComPortTest : public ::testing::Test {
protected:
    ComPortTest() { api_.Attach(3, line_); }

    // COM3 at 19200 8N1, as the engine constructs its port.
    static CComPort MakePort() { return CComPort(2, 19200, NOPARITY, ONESTOPBIT, 8); }

    void deviceSends(const std::string& bytes) { line_.Write(Side::Device, bytes.data(), bytes.size()); }
    std::string deviceReceives()
    {
        char buffer[4096];
        return std::string(buffer, line_.Read(Side::Device, buffer, sizeof buffer));
    }

    MemoryLine line_;
    MemoryComApi api_;
};

TEST_F(ComPortTest, OpenAppliesTheWholeConfigurationAndCloseRestoresThePortsOwn)
{
    const DCB before = line_.Pc().dcb;
    CComPort port = MakePort();
    ASSERT_EQ(port.Open(), 0);

    const auto pc = line_.Pc();
    EXPECT_TRUE(pc.open);
    EXPECT_EQ(pc.dcb.BaudRate, 19200u);
    EXPECT_EQ(pc.dcb.ByteSize, 8);
    EXPECT_EQ(pc.dcb.Parity, NOPARITY);
    EXPECT_EQ(pc.dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(pc.dcb.fBinary, 1u);
    EXPECT_EQ(pc.dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(pc.dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(pc.dcb.fTXContinueOnXoff, 1u);
    EXPECT_EQ(pc.dcb.fOutxCtsFlow | pc.dcb.fOutxDsrFlow | pc.dcb.fOutX | pc.dcb.fInX | pc.dcb.fParity |
                  pc.dcb.fErrorChar | pc.dcb.fNull | pc.dcb.fAbortOnError,
              0u);
    EXPECT_EQ(pc.rxQueue, 1024u);
    EXPECT_EQ(pc.escapes, std::vector<DWORD>{RESETDEV});
    EXPECT_EQ(pc.timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(pc.timeouts.ReadTotalTimeoutConstant + pc.timeouts.ReadTotalTimeoutMultiplier +
                  pc.timeouts.WriteTotalTimeoutConstant + pc.timeouts.WriteTotalTimeoutMultiplier,
              0u);

    ASSERT_EQ(port.Close(), 0);
    const auto after = line_.Pc();
    EXPECT_FALSE(after.open);
    EXPECT_EQ(after.dcb.BaudRate, before.BaudRate);
    EXPECT_EQ(after.timeouts.ReadIntervalTimeout, 0u);
    EXPECT_EQ(port.Close(), 0);  // closed already: nothing to do
}

TEST_F(ComPortTest, EachFailingStepOfOpenGivesTheSystemErrorAndCloseStillReleases)
{
    const struct { Call call; DWORD error; } steps[] = {
        {Call::CreateFile, ERROR_FILE_NOT_FOUND}, {Call::GetCommTimeouts, ERROR_GEN_FAILURE},
        {Call::GetCommState, ERROR_INVALID_HANDLE}, {Call::SetCommState, ERROR_INVALID_PARAMETER},
        {Call::SetupComm, ERROR_NOT_ENOUGH_MEMORY}, {Call::EscapeCommFunction, ERROR_NOT_SUPPORTED},
        {Call::SetCommTimeouts, ERROR_IO_DEVICE},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(static_cast<int>(step.call));
        CComPort port = MakePort();
        line_.FailNext(step.call, step.error);
        EXPECT_EQ(port.Open(), CComPort::ERR_SYSTEM);
        EXPECT_EQ(port.LastResult(), CComPort::ERR_SYSTEM);
        EXPECT_EQ(port.WinError(), step.error);
        EXPECT_EQ(port.IsOpen(), step.call != Call::CreateFile);
        EXPECT_EQ(port.Close(), 0);
        EXPECT_FALSE(line_.Pc().open);
    }
}

TEST_F(ComPortTest, FailedCloseKeepsTheHandleForAnotherTry)
{
    CComPort port = MakePort();
    ASSERT_EQ(port.Open(), 0);
    line_.FailNext(Call::SetCommState, ERROR_GEN_FAILURE);
    EXPECT_EQ(port.Close(), CComPort::ERR_SYSTEM);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(line_.Pc().open);
    EXPECT_EQ(port.Close(), 0);
    EXPECT_FALSE(line_.Pc().open);
}

TEST_F(ComPortTest, BytesTravelBothWaysAndReadsNeverWait)
{
    CComPort port = MakePort();
    EXPECT_EQ(port.Puts("x", 1), CComPort::ERR_NOTOPEN);
    char buffer[16];
    ASSERT_EQ(port.Open(), 0);

    const std::string command = std::string("\x1B" "D\r\0\xFF", 5);
    EXPECT_EQ(port.Puts(command.data(), 5), 5);
    EXPECT_EQ(deviceReceives(), command);
    EXPECT_EQ(port.LastResult(), 0);  // a count is not kept as the last result

    EXPECT_EQ(port.Getc(), CComPort::ERR_NODATA);
    EXPECT_EQ(port.Gets(buffer, 16), 0);
    deviceSends(std::string("\x00\x80\xFFok", 5));
    EXPECT_EQ(port.Getc(), 0x00);
    EXPECT_EQ(port.Getc(), 0x80);  // bytes come back unsigned
    EXPECT_EQ(port.Getc(), 0xFF);
    EXPECT_EQ(port.Gets(buffer, 16), 2);
    EXPECT_EQ(std::string(buffer, 2), "ok");

    line_.FailNext(Call::WriteFile, ERROR_COUNTER_TIMEOUT);
    EXPECT_EQ(port.Puts("a", 1), CComPort::ERR_SYSTEM);
    EXPECT_EQ(port.WinError(), static_cast<DWORD>(ERROR_COUNTER_TIMEOUT));
    deviceSends("z");
    line_.FailNext(Call::ReadFile, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(port.Getc(), CComPort::ERR_SYSTEM);
    EXPECT_EQ(port.Getc(), 'z');
}

// A higher layer that has to put back a byte it read.
class PushingPort : public CComPort {
public:
    PushingPort() : CComPort(2, 19200, NOPARITY, ONESTOPBIT, 8) {}
    void pushBack(int byte) { m_nPushBack = byte; }
};

TEST_F(ComPortTest, PushedBackByteComesFirst)
{
    PushingPort port;
    ASSERT_EQ(port.Open(), 0);
    port.pushBack('C');
    EXPECT_EQ(port.Getc(), 'C');  // even with nothing queued
    EXPECT_EQ(port.Getc(), CComPort::ERR_NODATA);

    char buffer[8] = {};
    deviceSends("xyz");
    port.pushBack('A');
    EXPECT_EQ(port.Gets(buffer, 1), 1);
    EXPECT_EQ(buffer[0], 'A');
    port.pushBack('B');
    EXPECT_EQ(port.Gets(buffer, 8), 4);
    EXPECT_EQ(std::string(buffer, 4), "Bxyz");

    port.pushBack('Q');
    deviceSends("stale");
    EXPECT_EQ(port.RxClear(), 0);
    EXPECT_EQ(port.Getc(), CComPort::ERR_NODATA);
}

TEST_F(ComPortTest, FlowControlModesReadBackFromTheConfiguration)
{
    CComPort port = MakePort();
    EXPECT_EQ(port.GetParameter(CComPort::PAR_FLOWCONTROL), CComPort::ERR_FLOWCONTROL);
    EXPECT_EQ(port.SetParameter(CComPort::PAR_FLOWCONTROL, 0), 0);
    EXPECT_EQ(port.GetParameter(CComPort::PAR_FLOWCONTROL), 0);

    ASSERT_EQ(port.SetParameter(CComPort::PAR_RXQUESIZE, 400), 0);
    ASSERT_EQ(port.Open(), 0);
    EXPECT_EQ(port.SetParameter(CComPort::PAR_FLOWCONTROL, 1), 0);
    EXPECT_EQ(port.GetParameter(CComPort::PAR_FLOWCONTROL), 1);
    auto pc = line_.Pc();
    EXPECT_EQ(pc.dcb.fOutX & pc.dcb.fInX, 1u);
    EXPECT_EQ(pc.dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    EXPECT_EQ(pc.dcb.XonLim, 100);  // a quarter of a queue of 400
    EXPECT_EQ(pc.rxQueue, 400u);

    EXPECT_EQ(port.SetParameter(CComPort::PAR_FLOWCONTROL, 2), 0);
    EXPECT_EQ(port.GetParameter(CComPort::PAR_FLOWCONTROL), 2);
    pc = line_.Pc();
    EXPECT_EQ(pc.dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(pc.dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(pc.dcb.fOutX | pc.dcb.fInX, 0u);
    EXPECT_EQ(pc.dcb.fBinary, 1u);  // flags outside the mode are left alone
    EXPECT_EQ(port.SetParameter(CComPort::PAR_FLOWCONTROL, 3), CComPort::ERR_BADPARAM);
}

TEST_F(ComPortTest, EverySetOnAnOpenPortReassertsDtrThenRtsUnlessHardwareFlow)
{
    CComPort port = MakePort();
    ASSERT_EQ(port.Open(), 0);
    line_.WithPc([](MemoryLine::PcPort& pc) { pc.escapes.clear(); return 0; });

    EXPECT_EQ(port.SetParameter(CComPort::PAR_BAUDRATE, 19200), 0);  // unchanged value
    EXPECT_EQ(line_.Pc().escapes, (std::vector<DWORD>{SETDTR, SETRTS}));
    EXPECT_EQ(port.SetParameter(CComPort::PAR_RTS, 0), 0);
    EXPECT_EQ(port.GetParameter(CComPort::PAR_RTS), 0);
    EXPECT_EQ(line_.Pc().escapes, (std::vector<DWORD>{SETDTR, SETRTS, SETDTR, CLRRTS}));
    EXPECT_FALSE(line_.DeviceCts());
    EXPECT_EQ(port.SetParameter(CComPort::PAR_DTR, 0), 0);
    EXPECT_FALSE(line_.DeviceDsr());

    ASSERT_EQ(port.SetParameter(CComPort::PAR_FLOWCONTROL, 2), 0);
    const size_t before = line_.Pc().escapes.size();
    EXPECT_EQ(port.SetParameter(CComPort::PAR_BAUDRATE, 38400), 0);
    EXPECT_EQ(line_.Pc().escapes.size(), before);
    EXPECT_EQ(line_.Pc().dcb.BaudRate, 38400u);

    ASSERT_EQ(port.SetParameter(CComPort::PAR_FLOWCONTROL, 0), 0);
    line_.FailNext(Call::EscapeCommFunction, ERROR_GEN_FAILURE);
    EXPECT_EQ(port.SetParameter(CComPort::PAR_BAUDRATE, 9600), CComPort::ERR_SYSTEM);
}

TEST_F(ComPortTest, BadParametersChangeNothing)
{
    CComPort port = MakePort();
    ASSERT_EQ(port.Open(), 0);
    const DCB before = line_.Pc().dcb;
    const struct { int id, value; } bad[] = {
        {CComPort::PAR_STOPBITS, 3}, {CComPort::PAR_DATABITS, 9}, {CComPort::PAR_PARITY, 5},
        {CComPort::PAR_CTS, 1},      {CComPort::PAR_XONCHAR, 256}, {CComPort::PAR_RXQUESIZE, 0}, {25, 1},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.id);
        EXPECT_EQ(port.SetParameter(b.id, b.value), CComPort::ERR_BADPARAM);
    }
    EXPECT_EQ(port.GetParameter(25), CComPort::ERR_BADPARAM);
    const DCB after = line_.Pc().dcb;
    EXPECT_EQ(memcmp(&before, &after, sizeof before), 0);
}

TEST_F(ComPortTest, ParametersReachTheDriverOnlyWhileOpen)
{
    CComPort port = MakePort();
    EXPECT_EQ(port.SetParameter(CComPort::PAR_PARITY, EVENPARITY), 0);
    EXPECT_EQ(port.SetParameter(CComPort::PAR_TXQUESIZE, 2048), 0);
    EXPECT_EQ(port.SetParameter(CComPort::PAR_RXTIMEOUTCONST, 7), 0);
    EXPECT_FALSE(line_.Pc().open);
    ASSERT_EQ(port.Open(), 0);
    auto pc = line_.Pc();
    EXPECT_EQ(pc.dcb.Parity, EVENPARITY);
    EXPECT_EQ(pc.txQueue, 2048u);
    EXPECT_EQ(pc.timeouts.ReadTotalTimeoutConstant, 7u);

    EXPECT_EQ(port.SetParameter(CComPort::PAR_RXTIMEOUT, -1), 0);
    EXPECT_EQ(port.GetParameter(CComPort::PAR_RXTIMEOUT), -1);
    EXPECT_EQ(port.LastResult(), 0);  // MAXDWORD read back is a value, not an error

    line_.FailNext(Call::SetupComm, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(port.SetParameter(CComPort::PAR_RXQUESIZE, 4096), CComPort::ERR_SYSTEM);
    EXPECT_EQ(port.WinError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(ComPortTest, ChangingThePortIndexReopensOnlyAnOpenPort)
{
    MemoryLine other;
    api_.Attach(4, other);
    CComPort port = MakePort();
    EXPECT_EQ(port.SetParameter(CComPort::PAR_PORT, 3), 0);
    EXPECT_FALSE(other.Pc().open);
    EXPECT_EQ(port.GetParameter(CComPort::PAR_PORT), 3);
    ASSERT_EQ(port.Open(), 0);
    EXPECT_TRUE(other.Pc().open);

    EXPECT_EQ(port.SetParameter(CComPort::PAR_PORT, 2), 0);
    EXPECT_FALSE(other.Pc().open);
    EXPECT_TRUE(line_.Pc().open);

    EXPECT_EQ(port.SetParameter(CComPort::PAR_PORT, 7), CComPort::ERR_SYSTEM);  // COM8 does not exist
    EXPECT_EQ(port.WinError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(ComPortTest, QueueCountsModemLinesAndErrorFlags)
{
    CComPort port = MakePort();
    EXPECT_EQ(port.GetParameter(CComPort::PAR_RXQUE), CComPort::ERR_NOTOPEN);
    ASSERT_EQ(port.Open(), 0);
    deviceSends("12345");
    EXPECT_EQ(port.GetParameter(CComPort::PAR_RXQUE), 5);
    line_.WithPc([](MemoryLine::PcPort& pc) { return pc.errorFlags = CE_FRAME | CE_OVERRUN; });
    EXPECT_EQ(port.GetParameter(CComPort::PAR_STATUS), CE_FRAME | CE_OVERRUN);
    EXPECT_EQ(port.GetParameter(CComPort::PAR_STATUS), 0);  // reading clears them

    EXPECT_EQ(port.GetParameter(CComPort::PAR_CTS), 1);
    line_.SetDeviceLines(false, true);
    EXPECT_EQ(port.GetParameter(CComPort::PAR_CTS), 0);
    EXPECT_EQ(port.GetParameter(CComPort::PAR_DSR), 1);
    line_.FailNext(Call::GetCommModemStatus, ERROR_NOT_SUPPORTED);
    EXPECT_EQ(port.GetParameter(CComPort::PAR_CTS), CComPort::ERR_SYSTEM);
    EXPECT_EQ(port.WinError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

}  // namespace

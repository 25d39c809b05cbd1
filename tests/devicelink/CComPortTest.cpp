#include <cstring>

#include "tests/devicelink/LinkTest.h"

namespace link_test {
namespace {

using Call = MemoryLine::Call;

// COM3 at 19200 baud, 7E2: each argument unlike what a driver starts with, so a field the port fails to write shows. A
// higher layer may push back a byte it read.
class Port : public CComPort {
public:
    Port() : CComPort(2, 19200, EVENPARITY, TWOSTOPBITS, 7) {}
    void pushBack(int byte) { m_nPushBack = byte; }
};

class ComPortTest : public LinkTest {
protected:
    ComPortTest() : LinkTest(3) {}
    DCB dcb() { return line_.Pc().dcb; }
    int set(int id, int value) { return port_.SetParameter(id, value); }
    int get(int id) { return port_.GetParameter(id); }
    std::string gets(int length)
    {
        char buffer[16];
        const int n = port_.Gets(buffer, length);
        return n < 0 ? "error" : std::string(buffer, n);
    }

    Port port_;
};

template <typename T>
bool Same(const T& a, const T& b)
{
    return memcmp(&a, &b, sizeof(T)) == 0;
}

// Another program left odd parity, 1.5 stop bits, XON/XOFF and time-outs of its own: Open writes its whole record over
// them, Close puts them back.
TEST_F(ComPortTest, OpenAppliesTheWholeConfigurationAndCloseRestoresThePortsOwn)
{
    const auto before = line_.WithPc([](MemoryLine::PcPort& pc) {
        pc.dcb.Parity = ODDPARITY;
        pc.dcb.StopBits = ONE5STOPBITS;
        pc.dcb.fOutX = pc.dcb.fInX = pc.dcb.fParity = 1;
        pc.timeouts.ReadTotalTimeoutConstant = 500;
        return pc;
    });
    ASSERT_EQ(port_.Open(), 0);
    // In the record's order: length, rate, binary, no parity check, no CTS or DSR flow, DTR on, no DSR sensitivity,
    // sending on after XOFF, no XON/XOFF, error or null characters, RTS on, no abort on error; XON and XOFF limits,
    // data bits, parity, stop bits, XON and XOFF characters.
    const DCB own{
        sizeof(DCB), 19200, 1, 0,   0,   0, DTR_CONTROL_ENABLE, 0,           1,    0,   0, 0, 0, RTS_CONTROL_ENABLE,
        0,           0,     0, 128, 128, 7, EVENPARITY,         TWOSTOPBITS, 0x11, 0x13};
    const auto pc = line_.Pc();
    EXPECT_TRUE(pc.open && Same(pc.dcb, own) && pc.rxQueue == 1024 && pc.escapes == std::vector<DWORD>{RESETDEV});
    EXPECT_TRUE(Same(pc.timeouts, COMMTIMEOUTS{MAXDWORD, 0, 0, 0, 0}));  // reads return at once
    ASSERT_EQ(port_.Close(), 0);
    const auto after = line_.Pc();
    EXPECT_TRUE(!after.open && Same(after.dcb, before.dcb) && Same(after.timeouts, before.timeouts));
}

TEST_F(ComPortTest, EachFailingStepOfOpenOrCloseGivesTheSystemErrorAndCloseStillReleases)
{
    // The last step fails, after which the port has been changed and must be put back.
    line_.FailNext(Call::SetCommTimeouts, ERROR_IO_DEVICE);
    EXPECT_EQ(port_.Open(), CComPort::ERR_SYSTEM);
    EXPECT_TRUE(port_.LastResult() == CComPort::ERR_SYSTEM && port_.WinError() == ERROR_IO_DEVICE);
    EXPECT_TRUE(port_.Close() == 0 && !line_.Pc().open);
    {
        // A close that cannot put the settings back keeps the handle for another try; when none succeeds, the port must
        // still be let go, or no program could open it again until Explorer ends.
        Port port;
        ASSERT_EQ(port.Open(), 0);
        line_.FailNext(Call::SetCommState, ERROR_GEN_FAILURE, 3);  // two closes and the destructor's
        EXPECT_TRUE(port.Close() == CComPort::ERR_SYSTEM && port.Close() == CComPort::ERR_SYSTEM);
        EXPECT_TRUE(port.IsOpen() && line_.Pc().open);
    }
    EXPECT_FALSE(line_.Pc().open);
}

// Byte round trips are the engine's tests' business; here a byte a higher layer pushed back: it comes first, even with
// nothing queued, and goes with the queue.
TEST_F(ComPortTest, ReadsNeverWaitAndAPushedBackByteComesFirst)
{
    ASSERT_EQ(port_.Open(), 0);
    EXPECT_TRUE(port_.Getc() == CComPort::ERR_NODATA && gets(16).empty());
    port_.pushBack('C');
    EXPECT_TRUE(port_.Getc() == 'C' && port_.Getc() == CComPort::ERR_NODATA);
    deviceSends("xyz");
    port_.pushBack('B');
    EXPECT_EQ(gets(8), "Bxyz");
    port_.pushBack('Q');
    deviceSends("stale");
    EXPECT_EQ(port_.RxClear(), 0);
    EXPECT_EQ(port_.Getc(), CComPort::ERR_NODATA);
}

// Five bytes that come one by one are waited for in one wait, not woken for byte by byte.
TEST_F(ComPortTest, AWaitEndsOnlyWhenEveryByteAskedForHasCome)
{
    ASSERT_EQ(port_.Open(), 0);
    int sent = 0;
    ticks_.onSleep_ = [&] {
        if (sent < 5) deviceSends(std::string(1, "12345"[sent++]));
    };
    EXPECT_EQ(port_.WaitForInput(5, 1000), 5);
    EXPECT_EQ(gets(5), "12345");
}

// Both XON/XOFF limits are a quarter of a receive queue of 512 bytes or less, else 128, made at Open and again when
// XON/XOFF is chosen. Every set on an open port asserts DTR then RTS again, unless the flow is by hardware.
TEST_F(ComPortTest, FlowControlModesXonXoffLimitsAndTheLinesAssertedAfterEverySet)
{
    EXPECT_TRUE(set(CComPort::PAR_FLOWCONTROL, 0) == 0 && set(CComPort::PAR_RXQUESIZE, 400) == 0);
    ASSERT_EQ(port_.Open(), 0);
    EXPECT_TRUE(dcb().XonLim == 100 && dcb().XoffLim == 100) << dcb().XonLim;
    line_.WithPc([](MemoryLine::PcPort& pc) { return pc.escapes.clear(), 0; });
    EXPECT_TRUE(set(CComPort::PAR_RTS, 0) == 0 && get(CComPort::PAR_RTS) == 0 && !line_.DeviceCts());
    EXPECT_EQ(line_.Pc().escapes, (std::vector<DWORD>{SETDTR, CLRRTS}));

    EXPECT_TRUE(set(CComPort::PAR_RXQUESIZE, 1024) == 0 && set(CComPort::PAR_FLOWCONTROL, 1) == 0);
    EXPECT_TRUE(dcb().XonLim == 128 && dcb().XoffLim == 128) << dcb().XonLim;
    EXPECT_TRUE(dcb().fOutX && dcb().fInX && dcb().fRtsControl == RTS_CONTROL_DISABLE);
    EXPECT_TRUE(set(CComPort::PAR_FLOWCONTROL, 2) == 0 && get(CComPort::PAR_FLOWCONTROL) == 2);
    EXPECT_TRUE(dcb().fOutxCtsFlow && dcb().fRtsControl == RTS_CONTROL_HANDSHAKE && !dcb().fOutX && !dcb().fInX);
    const size_t before = line_.Pc().escapes.size();
    EXPECT_TRUE(set(CComPort::PAR_BAUDRATE, 38400) == 0 && dcb().BaudRate == 38400);
    EXPECT_EQ(line_.Pc().escapes.size(), before);
    EXPECT_EQ(set(CComPort::PAR_FLOWCONTROL, 3), CComPort::ERR_BADPARAM);
}

}  // namespace
}  // namespace link_test

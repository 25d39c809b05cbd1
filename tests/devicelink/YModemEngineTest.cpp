// What both directions share: parameters, names, the step frame and the trace.
#include <string>
#include <vector>

#include "foundation/DbgLog.h"
#include "tests/devicelink/YModemTestHarness.h"

namespace ymodem_test {
namespace {

using YModemEngineTest = YModemTest;

TEST_F(YModemEngineTest, ParametersHaveTheirDefaultsAndRanges)
{
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_STATE), 0);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_PACKET), 0);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_TIMEOUT), 2);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_PADCHAR), 0x20);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_NCGTIMEOUT), 60000);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_BURSTSIZE), 1024);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_BURSTSLEEP), 0);
    EXPECT_EQ(ym_.GetParameter(CComPort::PAR_BAUDRATE), 19200);  // the port's own go through

    struct Case {
        int id, value, result;
    } cases[] = {
        {CYModem::PAR_TIMEOUT, 0, CComPort::ERR_BADPARAM},   {CYModem::PAR_TIMEOUT, 11, CComPort::ERR_BADPARAM},
        {CYModem::PAR_TIMEOUT, 10, 0},                       {CYModem::PAR_PADCHAR, 0x1A, 0},
        {CYModem::PAR_PADCHAR, 256, CComPort::ERR_BADPARAM}, {CYModem::PAR_BURSTSIZE, 0, CComPort::ERR_BADPARAM},
        {CYModem::PAR_BURSTSIZE, 1023, 0},                   {CYModem::PAR_BURSTSLEEP, 4999, 0},
        {CYModem::PAR_BURSTSLEEP, 5000, CComPort::ERR_BADPARAM}, {CYModem::PAR_NCGTIMEOUT, 1, 0},
        {CYModem::PAR_STATE, 100, CComPort::ERR_BADPARAM},   {CYModem::PAR_BYTESDONE, 1, CComPort::ERR_BADPARAM},
        {25, 0, CComPort::ERR_BADPARAM},                     {39, 0, CComPort::ERR_BADPARAM},
    };
    for (const Case& c : cases) EXPECT_EQ(ym_.SetParameter(c.id, c.value), c.result) << c.id << "=" << c.value;
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_TIMEOUT), 10);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_PADCHAR), 0x1A);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_BURSTSIZE), 1023);
}

TEST_F(YModemEngineTest, ABadParameterStopsARunningTransfer)
{
    ASSERT_EQ(ym_.RxStart(target().c_str()), 0);
    EXPECT_GT(ym_.Process(), 0);
    EXPECT_EQ(ym_.SetParameter(CYModem::PAR_TIMEOUT, 99), CComPort::ERR_BADPARAM);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_STATE), 0);
    EXPECT_EQ(ym_.Process(), 0);
}

TEST_F(YModemEngineTest, NamesPrintAsTheTraceShowsThem)
{
    char b[64];
    EXPECT_STREQ(CYModem::StateName(CYModem::TX_START, b), "CYModem::TX_START");
    EXPECT_STREQ(CYModem::StateName(CYModem::RX_GET_COMPLIMENT, b), "CYModem::RX_GET_COMPLIMENT");
    EXPECT_STREQ(CYModem::StateName(CYModem::RX_TEST_CRC, b), "CYModem::RX_TEST_CRC");
    EXPECT_STREQ(CYModem::StateName(125, b), "Unknown YMODEMSTATE=0x7D (125)");
    EXPECT_STREQ(CYModem::ErrorName(CYModem::ERR_TIMEDOUT, b), "CYModem::ERR_TIMEDOUT");
    EXPECT_STREQ(CYModem::ErrorName(CYModem::ERR_NOSTARTUPCHAR, b), "CYModem::ERR_NOSTARTUPCHAR");
    EXPECT_STREQ(CYModem::ErrorName(-116, b), "Unknown YMODEMERROR=0xFFFFFF8C (-116)");
    EXPECT_STREQ(CYModem::ControlName(0x15, b), "NAK");
    EXPECT_STREQ(CYModem::ControlName(0x18, b), "CAN");
    EXPECT_STREQ(CYModem::ControlName('C', b), "Unknown SOHSTX=0x43 (67)");
    EXPECT_STREQ(CYModem::ParamName(CYModem::PAR_BURSTSLEEP, b), "CYModem::PAR_BURSTSLEEP");
    EXPECT_STREQ(CYModem::ParamName(CComPort::PAR_PORT, b), "CComPort::PAR_PORT");
    EXPECT_STREQ(CYModem::ParamName(31, b), "Unknown COMPORTPARAM=0x1F (31)");
}

class StateSetter : public CYModem {
public:
    using CYModem::CYModem;
    void ForceState(int state) { m_nState = state; }
};

TEST_F(YModemEngineTest, AnUnknownStateStopsWithInternalError)
{
    StateSetter engine(7);
    ASSERT_EQ(engine.Open(), CComPort::ERR_SYSTEM);  // COM8 is held by the fixture's engine
    engine.RxStart(nullptr);
    engine.ForceState(99);
    EXPECT_EQ(engine.Process(), CYModem::ERR_INTERNAL);
    EXPECT_EQ(engine.LastResult(), CYModem::ERR_INTERNAL);
    EXPECT_EQ(engine.GetParameter(CYModem::PAR_STATE), 0);
}

std::vector<std::string>* g_lines = nullptr;
void Collect(const char* text) { g_lines->push_back(text); }

TEST_F(YModemEngineTest, AFailureIsTracedWithItsNameAndTheStateItHappenedIn)
{
    std::vector<std::string> lines;
    g_lines = &lines;
    const uint32_t flags = DbgFlags();
    DbgOpen(DBG_YMODEM | DBG_TO_DEBUGGER, "", 0);
    const DbgDebuggerOutput previous = DbgSetDebuggerOutput(Collect);

    ym_.RxStart(target().c_str());
    awaitBytes(1);
    deviceSends(std::string{CAN});
    EXPECT_EQ(runToEnd(), CYModem::ERR_CANCELLED);

    DbgSetDebuggerOutput(previous);
    DbgOpen(flags, "", 0);
    auto has = [&](const std::string& text) {
        for (const std::string& line : lines)
            if (line.find(text) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(has("CYModem::RxStart("));
    EXPECT_TRUE(has("CYModem::RX_SEND_NCG"));
    EXPECT_TRUE(has("CYModem::putChar(Unknown SOHSTX=0x43 (67))"));
    EXPECT_TRUE(has("CYModem::getChar()=CAN"));
    EXPECT_TRUE(has("CYModem::setError(CYModem::ERR_CANCELLED)"));
    EXPECT_TRUE(has("!State=118 (CYModem::RX_WAIT4_SOH_STX), Error=-107"));
}

}  // namespace
}  // namespace ymodem_test

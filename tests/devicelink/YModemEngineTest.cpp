// What both directions share: parameters and the step frame.
#include "tests/devicelink/YModemTestHarness.h"

namespace ymodem_test {
namespace {

using YModemEngineTest = YModemTest;

TEST_F(YModemEngineTest, ParametersKeepToTheirRanges)
{
    EXPECT_EQ(ym_.GetParameter(CComPort::PAR_BAUDRATE), 19200);  // the port's own go through

    struct Case {
        int id, value, result;
    } cases[] = {
        {CYModem::PAR_TIMEOUT, 0, CComPort::ERR_BADPARAM},   {CYModem::PAR_TIMEOUT, 11, CComPort::ERR_BADPARAM},
        {CYModem::PAR_TIMEOUT, 10, 0},                       {CYModem::PAR_PADCHAR, 0x1A, 0},
        {CYModem::PAR_PADCHAR, 256, CComPort::ERR_BADPARAM}, {CYModem::PAR_BURSTSIZE, 0, CComPort::ERR_BADPARAM},
        {CYModem::PAR_BURSTSLEEP, 5000, CComPort::ERR_BADPARAM}, {CYModem::PAR_STATE, 100, CComPort::ERR_BADPARAM},
        {39, 0, CComPort::ERR_BADPARAM},
    };
    for (const Case& c : cases) EXPECT_EQ(ym_.SetParameter(c.id, c.value), c.result) << c.id << "=" << c.value;
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_TIMEOUT), 10);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_PADCHAR), 0x1A);
}

TEST_F(YModemEngineTest, ABadParameterStopsARunningTransfer)
{
    ASSERT_EQ(ym_.RxStart(target().c_str()), 0);
    EXPECT_GT(ym_.Process(), 0);
    EXPECT_EQ(ym_.SetParameter(CYModem::PAR_TIMEOUT, 99), CComPort::ERR_BADPARAM);
    EXPECT_EQ(ym_.GetParameter(CYModem::PAR_STATE), 0);
    EXPECT_EQ(ym_.Process(), 0);
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

}  // namespace
}  // namespace ymodem_test

#include "devicelink/CComPort.h"

#include <gtest/gtest.h>

#include "tests/support/MemoryComApi.h"

namespace {

// A close that cannot put the port's settings back keeps the handle for
// another try; when none comes, the port must still be let go, or no program
// could open it again until Explorer ends.
TEST(PortHandle, APortGoneAfterFailedClosesStillLetsThePortGo)
{
    MemoryLine line;
    MemoryComApi api;
    api.Attach(3, line);
    {
        CComPort port(2, 19200, NOPARITY, ONESTOPBIT, 8);
        ASSERT_EQ(port.Open(), 0);
        line.FailNext(MemoryLine::Call::SetCommState, ERROR_GEN_FAILURE, 2);  // Close, and the destructor's
        EXPECT_EQ(port.Close(), CComPort::ERR_SYSTEM);
        EXPECT_TRUE(line.Pc().open);
    }
    EXPECT_FALSE(line.Pc().open);
}

}  // namespace

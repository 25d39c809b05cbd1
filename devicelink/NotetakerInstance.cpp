// The settings the module's note-taker object is made with.
#include "devicelink/CNotetaker.h"
#include "foundation/CReg.h"

NotetakerSettings CurrentNotetakerSettings()
{
    // Without the settings object (a host that did not load the module's
    // settings) the store's own defaults apply.
    if (!Settings()) return NotetakerSettings{-1, 3000, 5, 3};
    char port[32];
    NotetakerSettings s{};
    CReg::ReadDeviceValues(port, s.timeout, s.retries, s.transferRetries);
    s.portIndex = CReg::PortIndexOf(port);
    return s;
}

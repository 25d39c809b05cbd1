// The settings the module's note-taker object is made with.
#include "devicelink/CNotetaker.h"
#include "foundation/CReg.h"
#include "foundation/Registry.h"

NotetakerSettings CurrentNotetakerSettings()
{
    // Without the settings object (a host that did not load the module's
    // settings) the store's own defaults apply.
    if (!Settings()) return NotetakerSettings{-1, 3000, 5, 3};
    char port[32];
    ReadRegText(CReg::kKey, "Port", port, sizeof port, "COM");
    return NotetakerSettings{CReg::PortIndexOf(port), ReadRegDword(CReg::kKey, "Timeout", 3000),
                             ReadRegDword(CReg::kKey, "Retries", 5), ReadRegDword(CReg::kKey, "Transfer Retries", 3)};
}

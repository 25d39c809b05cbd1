// The settings the module's note-taker object is made with.
#include "devicelink/CNotetaker.h"
#include "foundation/CReg.h"

NotetakerSettings CurrentNotetakerSettings()
{
    const CReg* reg = Settings();
    // Without the settings object (a host that did not load the module's
    // settings) the store's own defaults apply.
    if (!reg) return NotetakerSettings{-1, 3000, 5, 3};
    return NotetakerSettings{reg->getPortIndex(), reg->m_dwTimeout, reg->m_dwRetries, reg->m_dwTransferRetries};
}

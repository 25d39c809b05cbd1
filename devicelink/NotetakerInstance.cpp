// The process's one note-taker object, created on first use and destroyed
// with the last reference.
#include "devicelink/CNotetaker.h"
#include "foundation/CReg.h"
#include "foundation/DbgLog.h"

namespace {
CNotetaker* g_notetaker = nullptr;
long g_references = 0;
}  // namespace

NotetakerSettings CurrentNotetakerSettings()
{
    const CReg* reg = Settings();
    // Without the settings object (a host that did not load the module's
    // settings) the store's own defaults apply.
    if (!reg) return NotetakerSettings{-1, 3000, 5, 3};
    return NotetakerSettings{reg->getPortIndex(), reg->m_dwTimeout, reg->m_dwRetries, reg->m_dwTransferRetries};
}

long AcquireNotetaker()
{
    if (!g_notetaker) {
        if (g_references > 0) DbgPrint("!!!ERROR!!! THERE WAS SOMETHING BAD...");
        const NotetakerSettings s = CurrentNotetakerSettings();
        g_notetaker = new CNotetaker(s.portIndex, s.timeout, s.retries, s.transferRetries);
    }
    return ++g_references;
}

long ReleaseNotetaker()
{
    if (g_references > 0) --g_references;
    if (g_references == 0) {
        delete g_notetaker;
        g_notetaker = nullptr;
    }
    return g_references;
}

CNotetaker* TheNotetaker() { return g_notetaker; }

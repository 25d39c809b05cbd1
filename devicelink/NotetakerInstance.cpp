// The process's one note-taker object, created on first use and destroyed
// with the last reference. Explorer calls in from several window threads,
// so one lock keeps the device, its listing and the count to one thread.
#include "devicelink/CNotetaker.h"
#include "foundation/CReg.h"
#include "foundation/CriticalSection.h"
#include "foundation/DbgLog.h"

namespace {

CNotetaker* g_notetaker = nullptr;
long g_references = 0;

// Recursive, so that a thread may nest sessions (a fill inside a command).
CriticalSection& TheDeviceLock()
{
    static CriticalSection lock;  // made on first use, whatever the order of static construction
    return lock;
}

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
    CriticalSection::Held held(TheDeviceLock());
    if (!g_notetaker) {
        if (g_references > 0) DbgPrint("!!!ERROR!!! THERE WAS SOMETHING BAD...");
        const NotetakerSettings s = CurrentNotetakerSettings();
        g_notetaker = new CNotetaker(s.portIndex, s.timeout, s.retries, s.transferRetries);
    }
    return ++g_references;
}

long ReleaseNotetaker()
{
    CriticalSection::Held held(TheDeviceLock());
    if (g_references > 0) --g_references;
    if (g_references == 0) {
        delete g_notetaker;
        g_notetaker = nullptr;
    }
    return g_references;
}

NotetakerSession::NotetakerSession()
{
    TheDeviceLock().Enter();
    notetaker_ = g_notetaker;
}

NotetakerSession::~NotetakerSession() { TheDeviceLock().Leave(); }

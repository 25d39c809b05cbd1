#include "foundation/Ticks.h"

namespace {
class SystemTicks final : public ITickSource {
public:
    DWORD Now() override { return GetTickCount(); }
    void Sleep(DWORD ms) override { ::Sleep(ms); }
};
SystemTicks g_system;
ITickSource* g_source = &g_system;
}  // namespace

DWORD TickNow() { return g_source->Now(); }
void TickSleep(DWORD ms) { g_source->Sleep(ms); }
bool TickWait(HANDLE object, DWORD ms) { return g_source->Wait(object, ms); }

bool UsingSystemTicks() { return g_source == &g_system; }

ITickSource* SetTickSource(ITickSource* source)
{
    ITickSource* previous = g_source;
    g_source = source ? source : &g_system;
    return previous;
}

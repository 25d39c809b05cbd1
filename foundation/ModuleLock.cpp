#include "foundation/ModuleLock.h"

#include <windows.h>

namespace {
volatile LONG g_locks = 0;
}

long ModuleLock() { return InterlockedIncrement(&g_locks); }
long ModuleUnlock() { return InterlockedDecrement(&g_locks); }
long ModuleLockCount() { return g_locks; }

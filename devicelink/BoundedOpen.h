#pragma once
// Opening a port without being held by it. Opening an outgoing Bluetooth
// port blocks while Windows tries to reach the device, for many seconds; the
// caller (the device thread) is given the port or an answer within a limit.
#include <windows.h>

// How long an open may take before it is given up.
constexpr DWORD kOpenLimitMs = 5000;

// The port's handle as ComApi().CreateFileA gives it, or INVALID_HANDLE_VALUE
// with the last error set; ERROR_TIMEOUT when it took longer than `limitMs`.
// The open left behind runs on: the module stays loaded (and counts as in use)
// until it returns, and a handle it gets then is closed.
HANDLE OpenPortWithin(const char* name, DWORD limitMs);

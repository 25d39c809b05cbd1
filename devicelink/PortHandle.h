#pragma once
// The open port's handle, closed through the port calls in force so that a
// test's in-memory line sees the close as the driver would. A close may fail
// and keep the handle for another try (close() says false); whatever is
// still open when the holder goes is closed then.
#include <windows.h>

#include "foundation/Owned.h"

struct PortHandleTraits {
    using Value = HANDLE;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsEmpty(HANDLE h) { return h == INVALID_HANDLE_VALUE; }
    static bool Free(HANDLE h);
};

using PortHandle = Owned<PortHandleTraits>;

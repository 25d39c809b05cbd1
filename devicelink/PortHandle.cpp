#include "devicelink/PortHandle.h"

#include "devicelink/ComApi.h"

bool PortHandleTraits::Free(HANDLE h) { return ComApi().CloseHandle(h) != FALSE; }

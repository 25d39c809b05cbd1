#include "devicelink/PortHandle.h"

#include "devicelink/ComApi.h"

bool PortHandle::close()
{
    if (!valid()) return true;
    if (!ComApi().CloseHandle(h_)) return false;
    h_ = INVALID_HANDLE_VALUE;
    return true;
}

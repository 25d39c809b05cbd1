#include "devicelink/ResourceText.h"

namespace {
// The module holding this function: the DLL inside Explorer, not the host exe.
HINSTANCE OwnModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnModule), &module);
    return module;
}
}  // namespace

int LoadResourceText(UINT id, char* buffer, int size)
{
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    return LoadStringA(OwnModule(), id, buffer, size);
}

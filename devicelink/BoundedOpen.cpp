#include "devicelink/BoundedOpen.h"

#include <memory>
#include <string>

#include "devicelink/ComApi.h"
#include "foundation/ModuleLock.h"
#include "foundation/ScopedHandle.h"
#include "foundation/Ticks.h"

namespace {

enum : LONG { kOpening, kOpened, kGivenUp };

struct PendingOpen {
    std::string name;
    HMODULE module = nullptr;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_SUCCESS;
    volatile LONG state = kOpening;
    ScopedKernelHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};
using PendingPtr = std::shared_ptr<PendingOpen>;

HANDLE Open(const char* name)
{
    return ComApi().CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING,
                                nullptr);
}

// Whoever comes second, the opener giving up or the open returning late, closes the handle.
DWORD WINAPI OpenThread(LPVOID param)
{
    PendingPtr pending = std::move(*static_cast<PendingPtr*>(param));
    delete static_cast<PendingPtr*>(param);
    const HMODULE module = pending->module;
    pending->handle = Open(pending->name.c_str());
    pending->error = GetLastError();
    if (InterlockedCompareExchange(&pending->state, kOpened, kOpening) == kGivenUp &&
        pending->handle != INVALID_HANDLE_VALUE)
        ComApi().CloseHandle(pending->handle);
    ModuleUnlock();
    SetEvent(pending->done.get());
    pending.reset();
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

// The module stays mapped until the thread's last instruction, and counts as
// in use (DllCanUnloadNow) until the open has returned.
bool StartOpen(const PendingPtr& pending)
{
    if (!pending->done.valid() || !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                                      reinterpret_cast<LPCSTR>(&OpenThread), &pending->module))
        return false;
    ModuleLock();
    auto* param = new PendingPtr(pending);
    ScopedKernelHandle thread(CreateThread(nullptr, 0, OpenThread, param, 0, nullptr));
    if (thread.valid()) return true;
    delete param;
    ModuleUnlock();
    FreeLibrary(pending->module);
    return false;
}

}  // namespace

HANDLE OpenPortWithin(const char* name, DWORD limitMs)
{
    auto pending = std::make_shared<PendingOpen>();
    pending->name = name;
    if (!StartOpen(pending)) return Open(name);
    if (!TickWait(pending->done.get(), limitMs) &&
        InterlockedCompareExchange(&pending->state, kGivenUp, kOpening) == kOpening) {
        SetLastError(ERROR_TIMEOUT);
        return INVALID_HANDLE_VALUE;
    }
    WaitForSingleObject(pending->done.get(), INFINITE);  // it has returned; its last steps follow at once
    SetLastError(pending->error);
    return pending->handle;
}

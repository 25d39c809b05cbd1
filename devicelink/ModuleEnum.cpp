#include "devicelink/ModuleEnum.h"

#include <tlhelp32.h>

#include "foundation/ScopedHandle.h"

// Only the tool-help functions are used: they exist on every system this
// module runs on. The process-status library that very old NT releases
// needed instead is left out.
namespace {

template <typename Fn>
Fn Load(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

int WalkModules(const ToolHelp& api, ModuleCallback callback, LPARAM value, DWORD processId)
{
    // A 64-bit process sees the modules of a 32-bit one (a 32-bit screen
    // reader and its braille driver) only when it asks for them as well.
    ScopedKernelHandle snapshot(api.createSnapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, processId));
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    if (!snapshot.valid() || !api.moduleFirst(snapshot.get(), &entry)) return callback(processId, nullptr, "", value);
    do {
        const int answer = callback(processId, entry.hModule, entry.szExePath, value);
        if (answer) return answer;
    } while (api.moduleNext(snapshot.get(), &entry));
    return 0;
}

}  // namespace

ToolHelp ToolHelp::Load()
{
    ToolHelp api;
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (!kernel) return api;
    api.createSnapshot = ::Load<CreateSnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    api.moduleFirst = ::Load<ModuleWalkFn>(kernel, "Module32First");
    api.moduleNext = ::Load<ModuleWalkFn>(kernel, "Module32Next");
    return api;
}

int EnumModules(ModuleCallback callback, LPARAM value, DWORD processId)
{
    return EnumModules(ToolHelp::Load(), callback, value, processId);
}

int EnumModules(const ToolHelp& api, ModuleCallback callback, LPARAM value, DWORD processId)
{
    if (!callback || !api.usable()) return 0;
    return WalkModules(api, callback, value, processId);
}

#pragma once
// Lists the modules loaded in one process.
#include <windows.h>
#include <tlhelp32.h>

// Called once per module; a non-zero answer stops the enumeration. A process
// that cannot be inspected is reported once, with no module and an empty path.
using ModuleCallback = int (*)(DWORD processId, HMODULE module, const char* path, LPARAM value);

// Returns the first non-zero callback answer, or 0.
int EnumModules(ModuleCallback callback, LPARAM value, DWORD processId);

// The tool-help functions the enumerator walks with, loaded at run time.
struct ToolHelp {
    using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
    using ModuleWalkFn = BOOL(WINAPI*)(HANDLE, LPMODULEENTRY32);

    CreateSnapshotFn createSnapshot = nullptr;
    ModuleWalkFn moduleFirst = nullptr, moduleNext = nullptr;

    static ToolHelp Load();  // from KERNEL32.DLL
    bool usable() const { return createSnapshot && moduleFirst && moduleNext; }
};

// The same walk with the functions given.
int EnumModules(const ToolHelp& api, ModuleCallback callback, LPARAM value, DWORD processId);

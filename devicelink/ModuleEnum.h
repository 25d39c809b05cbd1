#pragma once
// Lists the modules loaded in one process, or in every process.
#include <windows.h>

constexpr DWORD kAllProcesses = 0xFFFFFFFF;

// Called once per module; a non-zero answer stops the enumeration. A process
// that cannot be inspected is reported once, with no module and an empty path.
using ModuleCallback = int (*)(DWORD processId, HMODULE module, const char* path, LPARAM value);

// Returns the first non-zero callback answer, or 0.
int EnumModules(ModuleCallback callback, LPARAM value, DWORD processId);

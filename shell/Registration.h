#pragma once
// Self-registration: the table of keys and values that make the extension
// a folder under My Computer, written and removed row by row.
#include <windows.h>

#include <cstddef>

// Replaces every %CLSID% and %MODULE% (also written %NAME=default%) in
// `text`. An unknown name takes its default; an unknown name without one,
// or a name ended by anything but '%' or '=', fails, as does an output that
// does not fit `size`.
bool SubstitutePlaceholders(const char* text, char* out, size_t size, const char* clsid, const char* module);

// Both give S_OK or SELFREG_E_CLASS. platformId 2 (the NT family) adds the
// approval row. Strings come from `instance`.
HRESULT RegisterServer(HINSTANCE instance, const char* modulePath, DWORD platformId);
HRESULT UnregisterServer(HINSTANCE instance, const char* modulePath, DWORD platformId);

#pragma once
// The settings sheet: Connection, Paths, Log and Advanced pages over the
// settings object, shown modally.
#include <windows.h>
#include <shellapi.h>

// S_OK once the sheet has closed; the last system error when it could not be shown.
HRESULT ShowSettingsSheet(HWND owner);

// The call that opens the backup folder ("Find Target..."), ShellExecuteExA
// unless a test replaces it; returns the one it replaces.
using ShellExecuteFn = BOOL(WINAPI*)(SHELLEXECUTEINFOA* info);
ShellExecuteFn SetSheetShellExecute(ShellExecuteFn execute);

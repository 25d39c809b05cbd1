#pragma once
// The settings sheet: Connection, Paths, Log and Advanced pages over the
// settings object, shown modally.
#include <windows.h>

// S_OK once the sheet has closed; the last system error when it could not be shown.
HRESULT ShowSettingsSheet(HWND owner);

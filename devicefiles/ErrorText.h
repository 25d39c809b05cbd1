#pragma once
// The words shown for a result code, and the code as an HRESULT.
#include <windows.h>

// String-table id of the text for a negative code; 0 for ERR_SYSTEM (the
// platform supplies its text) and for codes that are no error.
UINT ErrorTextId(int code);

// The text for `code` in buffer (at most size characters, NUL included);
// `winError` is the platform's error number kept beside ERR_SYSTEM. Returns
// buffer, or nullptr with buffer empty when the code is no error.
char* ErrorText(char* buffer, int size, int code, DWORD winError);

// 0 for success, else a Win32-based code that Explorer understands
// (HRESULT_FROM_WIN32(ERROR_CANCELLED) for a cancel): the device's own
// numbers would collide with OLE's (-100 would read as DV_E_FORMATETC).
HRESULT ErrorHResult(int code);

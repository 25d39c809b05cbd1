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

// 0 for success, else 0x80040000 with the code's magnitude in the low word.
HRESULT ErrorHResult(int code);

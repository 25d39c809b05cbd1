#pragma once
// Message boxes of the device operations, without a caption of their own.
// Tests replace the box so that no window waits for an answer.
#include <windows.h>

int ShowMessageText(HWND owner, const char* text, UINT flags);

using MessageBoxHook = int (*)(HWND owner, const char* text, UINT flags);
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);  // nullptr restores the real box

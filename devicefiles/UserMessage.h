#pragma once
// Message boxes of the device operations and the settings, each captioned
// with the product's name: without one Windows titles every box "Error", and
// a screen reader announces each question as an error. Tests replace the box
// so that no window waits for an answer.
#include <windows.h>

int ShowMessageText(HWND owner, const char* text, UINT flags);
// For words that may hold PC names outside the ANSI code page; a test's
// hook reads them in UTF-8.
int ShowMessageTextW(HWND owner, const wchar_t* text, UINT flags);

// The note-taker's last error in words after the beep of a refused device
// operation: a beep alone cannot be told from a slip of the finger.
class CNotetaker;
void ShowDeviceRefusal(HWND owner, CNotetaker& notetaker);
void ShowDeviceRefusal(HWND owner, const char* words);

using MessageBoxHook = int (*)(HWND owner, const char* caption, const char* text, UINT flags);
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);  // nullptr restores the real box

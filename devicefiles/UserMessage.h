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

// Before a paste or put replaces a file on the note-taker. `forAll`, given
// when more files may be taken, offers the answer for all of them and says
// whether it was chosen. A hooked box is asked Yes (replace) or No (skip),
// with Cancel (stop) when `forAll` is given.
enum class ReplaceAnswer { Replace, Skip, Stop };
ReplaceAnswer AskReplace(HWND owner, const char* devicePath, bool* forAll);

// Two PC files that would be one file on the note-taker, named in a box.
void ShowSharedDevicePath(HWND owner, const char* pcFirst, const char* pcSecond, const char* devicePath);

using MessageBoxHook = int (*)(HWND owner, const char* caption, const char* text, UINT flags);
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);  // nullptr restores the real box

#pragma once
// Texts from the string table of the module this code is linked into (the
// shell extension, or a test program that carries the same resources).
#include <windows.h>

// The module holding this code: the DLL inside Explorer, not the host exe.
HINSTANCE OwnModule();

// Copies string `id` into buffer (at most size - 1 characters and a NUL);
// returns its length, 0 (buffer empty) when there is no such string.
int LoadResourceText(UINT id, char* buffer, int size);

#pragma once
// A file that must survive a power cut once it is called done: its buffers
// reach the disk before its handle closes, and the rename that gives it its
// name is written through. Tests watch the calls, in order, through the hook.
#include <windows.h>

#include "foundation/ScopedHandle.h"

// Told each call before it is made: "flush", "close" (with the file's path)
// or "rename" (with the new path).
using FileCallHook = void (*)(const char* call, const char* path);
// Replaces the hook (nullptr: none); returns the previous one.
FileCallHook SetFileCallHook(FileCallHook hook);

// Flushes and closes the file written under `path`; false when the flush failed.
bool FlushAndClose(ScopedKernelHandle& file, const char* path);
// Flushes a file that stays open (an index that grows by a line at a time).
bool FlushOpen(HANDLE file, const char* path);
// Moves `from` over `to`, written through; the thread's last error tells a failure.
bool RenameDurably(const char* from, const char* to);

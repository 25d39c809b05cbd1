#pragma once
// Process-wide trace log: lines go to the debugger output, to a size-limited
// file, or both, as the flags word says. Any thread may call any function.
#include <windows.h>
#include <cstddef>
#include <cstdint>

enum DbgFlag : uint32_t {
    DBG_COMPORT = 0x0001,
    DBG_YMODEM = 0x0002,
    DBG_NOTETAKER = 0x0004,
    DBG_TO_DEBUGGER = 0x0100,
    DBG_TO_FILE = 0x0200,
    DBG_FLUSH = 0x1000,
    DBG_TIMESTAMP = 0x2000,
    DBG_NEWFILE = 0x4000,
};

bool DbgOpen(uint32_t flags, const char* fileName, uint32_t sizeLimit);
void DbgClose();
bool DbgReset();
void DbgPrint(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
void DbgEnter(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
void DbgDump(const void* data, size_t count, int unit);
DWORD DbgSystemError(DWORD code);
char* DbgHresultText(HRESULT hr, char* buffer);  // buffer of at least 512 chars
const char* DbgFacilityName(HRESULT hr);
void DbgLeaving(HRESULT hr);
const char* DbgHkeyName(HKEY key);
void DbgTraceWindow(HWND hwnd, bool withChildren);

// The flags word as last stored; callers test their category bit before tracing.
uint32_t DbgFlags();
inline bool DbgOn(uint32_t category) { return (DbgFlags() & category) != 0; }

// Where debugger lines go; tests replace OutputDebugStringA to read them.
using DbgDebuggerOutput = void (*)(const char* text);
DbgDebuggerOutput DbgSetDebuggerOutput(DbgDebuggerOutput output);

#pragma once
// The millisecond tick counter and the short sleep that every polling loop
// uses. Tests replace them to run long time-outs in a moment.
#include <windows.h>

class ITickSource {
public:
    virtual ~ITickSource() = default;
    virtual DWORD Now() = 0;
    virtual void Sleep(DWORD ms) = 0;
    // Waits for a kernel object at most `ms`; true when it was signalled.
    virtual bool Wait(HANDLE object, DWORD ms) { return WaitForSingleObject(object, ms) == WAIT_OBJECT_0; }
};

DWORD TickNow();           // GetTickCount unless replaced
void TickSleep(DWORD ms);  // Sleep unless replaced
bool TickWait(HANDLE object, DWORD ms);
// Replaces the source (nullptr restores the real one); returns the previous one.
ITickSource* SetTickSource(ITickSource* source);
// True while the real clock is in force (no test has put in its own).
bool UsingSystemTicks();

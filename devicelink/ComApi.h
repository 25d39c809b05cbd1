#pragma once
// The Win32 calls a serial port needs, behind one interface, so that tests
// can put an in-memory line where the driver would be. Failing calls set the
// thread's last error as the real ones do.
#include <windows.h>

#include "foundation/Platform.h"

class IComApi {
public:
    virtual ~IComApi() = default;
    virtual HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile) = 0;
    virtual BOOL CloseHandle(HANDLE h) = 0;
    virtual BOOL GetCommState(HANDLE h, LPDCB dcb) = 0;
    virtual BOOL SetCommState(HANDLE h, LPDCB dcb) = 0;
    virtual BOOL GetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS timeouts) = 0;
    virtual BOOL SetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS timeouts) = 0;
    virtual BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue) = 0;
    virtual BOOL EscapeCommFunction(HANDLE h, DWORD function) = 0;
    virtual BOOL ClearCommError(HANDLE h, LPDWORD errors, LPCOMSTAT stat) = 0;
    virtual BOOL GetCommModemStatus(HANDLE h, LPDWORD status) = 0;
    virtual BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) = 0;
    virtual BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) = 0;
    virtual BOOL PurgeComm(HANDLE h, DWORD flags) = 0;
};

// The calls in force for the whole process: the real ones unless replaced.
IComApi& ComApi();
// Replaces the calls (nullptr restores the real ones); returns the previous set.
IComApi* SetComApi(IComApi* api);

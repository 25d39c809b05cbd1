#pragma once
// Serial calls served by in-memory lines instead of a driver. Lines are
// attached by COM number; opening is exclusive, as on a real port.
#include <map>

#include "devicelink/ComApi.h"
#include "tests/support/MemoryLine.h"

class MemoryComApi final : public IComApi {
public:
    MemoryComApi();   // installs itself as the process's serial calls
    ~MemoryComApi() override;  // puts the previous calls back

    void Attach(int comNumber, MemoryLine& line);

    HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                       DWORD flags, HANDLE templateFile) override;
    BOOL CloseHandle(HANDLE h) override;
    BOOL GetCommState(HANDLE h, LPDCB dcb) override;
    BOOL SetCommState(HANDLE h, LPDCB dcb) override;
    BOOL GetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS timeouts) override;
    BOOL SetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS timeouts) override;
    BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue) override;
    BOOL EscapeCommFunction(HANDLE h, DWORD function) override;
    BOOL ClearCommError(HANDLE h, LPDWORD errors, LPCOMSTAT stat) override;
    BOOL GetCommModemStatus(HANDLE h, LPDWORD status) override;
    BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) override;
    BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) override;
    BOOL PurgeComm(HANDLE h, DWORD flags) override;

private:
    // The line behind an open handle, or null after reporting the failure.
    MemoryLine* lineFor(HANDLE h, MemoryLine::Call call);
    // Runs `f` on the driver state behind an open handle; FALSE when lineFor fails.
    template <typename F> BOOL onPort(HANDLE h, MemoryLine::Call call, F f);

    std::map<int, MemoryLine*> lines_;
    IComApi* previous_;
};

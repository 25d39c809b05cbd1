#pragma once
// Serial calls served by in-memory lines instead of a driver. Lines are
// attached by COM number; opening is exclusive, as on a real port.
#include <map>

#include "devicelink/ComApi.h"
#include "tests/support/MemoryLine.h"

class MemoryComApi final : public IComApi {
    using Call = MemoryLine::Call;
    using PcPort = MemoryLine::PcPort;

public:
    MemoryComApi();   // installs itself as the process's serial calls
    ~MemoryComApi() override;  // puts the previous calls back

    void Attach(int comNumber, MemoryLine& line);

    HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                       DWORD flags, HANDLE templateFile) override;
    BOOL CloseHandle(HANDLE h) override { return onPort(h, Call::CloseHandle, [](PcPort& p) { p.open = false; }); }
    BOOL GetCommState(HANDLE h, LPDCB dcb) override
    {
        return onPort(h, Call::GetCommState, [&](PcPort& p) { *dcb = p.dcb; });
    }
    BOOL SetCommState(HANDLE h, LPDCB dcb) override;
    BOOL GetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) override
    {
        return onPort(h, Call::GetCommTimeouts, [&](PcPort& p) { *t = p.timeouts; });
    }
    BOOL SetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) override
    {
        return onPort(h, Call::SetCommTimeouts, [&](PcPort& p) { p.timeouts = *t; });
    }
    BOOL SetupComm(HANDLE h, DWORD in, DWORD out) override
    {
        return onPort(h, Call::SetupComm, [&](PcPort& p) { p.rxQueue = in, p.txQueue = out; });
    }
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
    template <typename F> BOOL onPort(HANDLE h, Call call, F f)
    {
        MemoryLine* line = lineFor(h, call);
        if (line) line->WithPc([&](PcPort& p) { return f(p), 0; });
        return line != nullptr;
    }

    std::map<int, MemoryLine*> lines_;
    IComApi* previous_;
};

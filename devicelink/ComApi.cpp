// The real serial calls. Under Wine, a pseudo-terminal standing in for a COM
// port answers the modem-line calls with ERROR_NOT_SUPPORTED; there, and only
// for that error, we answer as a null-modem cable with looped-back lines
// would: CTS follows our RTS, DSR and DCD follow our DTR.
#include "devicelink/ComApi.h"

#include <map>
#include <mutex>

namespace {

struct LineRequests {
    bool rts = true;  // a freshly opened port raises both lines
    bool dtr = true;
};

class Win32ComApi final : public IComApi {
public:
    HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                       DWORD flags, HANDLE templateFile) override
    {
        return ::CreateFileA(name, access, share, security, disposition, flags, templateFile);
    }
    BOOL CloseHandle(HANDLE h) override
    {
        Forget(h);
        return ::CloseHandle(h);
    }
    BOOL GetCommState(HANDLE h, LPDCB dcb) override { return ::GetCommState(h, dcb); }
    BOOL SetCommState(HANDLE h, LPDCB dcb) override { return ::SetCommState(h, dcb); }
    BOOL GetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) override { return ::GetCommTimeouts(h, t); }
    BOOL SetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) override { return ::SetCommTimeouts(h, t); }
    BOOL SetupComm(HANDLE h, DWORD in, DWORD out) override { return ::SetupComm(h, in, out); }
    BOOL EscapeCommFunction(HANDLE h, DWORD function) override
    {
        if (::EscapeCommFunction(h, function)) return TRUE;
        if (!WineLacks() || !IsLineRequest(function)) return FALSE;
        Record(h, function);
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    BOOL ClearCommError(HANDLE h, LPDWORD errors, LPCOMSTAT stat) override { return ::ClearCommError(h, errors, stat); }
    BOOL GetCommModemStatus(HANDLE h, LPDWORD status) override
    {
        if (::GetCommModemStatus(h, status)) return TRUE;
        if (!WineLacks() || !status) return FALSE;
        const LineRequests lines = Lines(h);
        *status = (lines.rts ? MS_CTS_ON : 0) | (lines.dtr ? (MS_DSR_ON | MS_RLSD_ON) : 0);
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD n, LPDWORD read, LPOVERLAPPED ov) override
    {
        return ::ReadFile(h, buffer, n, read, ov);
    }
    BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD n, LPDWORD written, LPOVERLAPPED ov) override
    {
        return ::WriteFile(h, buffer, n, written, ov);
    }
    BOOL PurgeComm(HANDLE h, DWORD flags) override { return ::PurgeComm(h, flags); }

private:
    static bool IsLineRequest(DWORD f) { return f == SETRTS || f == CLRRTS || f == SETDTR || f == CLRDTR; }
    static bool WineLacks() { return GetLastError() == ERROR_NOT_SUPPORTED && RunningUnderWine(); }

    void Record(HANDLE h, DWORD function)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        LineRequests& lines = lines_[h];
        if (function == SETRTS || function == CLRRTS) lines.rts = function == SETRTS;
        else lines.dtr = function == SETDTR;
    }
    LineRequests Lines(HANDLE h)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        auto it = lines_.find(h);
        return it == lines_.end() ? LineRequests{} : it->second;
    }
    void Forget(HANDLE h)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        lines_.erase(h);
    }

    std::mutex mutex_;
    std::map<HANDLE, LineRequests> lines_;
};

Win32ComApi g_win32;
IComApi* g_current = &g_win32;

}  // namespace

IComApi& ComApi() { return *g_current; }

IComApi* SetComApi(IComApi* api)
{
    IComApi* previous = g_current;
    g_current = api ? api : &g_win32;
    return previous;
}

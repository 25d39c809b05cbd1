#pragma once
// Serial calls served by in-memory lines instead of a driver. Lines are
// attached by COM number; opening is exclusive, as on a real port. The
// attached lines are also the PC's present ports.
#include <cstdio>
#include <functional>
#include <map>

#include "devicelink/ComApi.h"
#include "foundation/SerialPorts.h"
#include "tests/support/MemoryLine.h"

class MemoryComApi final : public IComApi, public IPortList {
    using Call = MemoryLine::Call;
    using PcPort = MemoryLine::PcPort;
    static constexpr MemoryLine::Side kPc = MemoryLine::Side::Pc;

public:
    // Installs itself as the process's serial calls and ports.
    MemoryComApi() : previous_(SetComApi(this)), previousPorts_(SetPortList(this)) {}
    ~MemoryComApi() override
    {
        SetPortList(previousPorts_);
        SetComApi(previous_);
    }

    // `listed` false: the port opens but the PC does not list it (a link to a pty under Wine).
    void Attach(int comNumber, MemoryLine& line, PortKind kind = PortKind::BuiltIn, bool listed = true)
    {
        lines_[comNumber] = &line;
        if (listed) kinds_[comNumber] = kind;
    }
    std::function<void()> beforeOpen;

    std::vector<SerialPort> Ports() override
    {
        std::vector<SerialPort> ports;
        for (const auto& [number, kind] : kinds_) ports.push_back({number, "", kind});
        return ports;
    }

    HANDLE CreateFileA(LPCSTR name, DWORD, DWORD share, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) override
    {
        if (beforeOpen) beforeOpen();  // a port that takes its time, as an outgoing Bluetooth one does
        int number = 0;
        char tail = 0;
        auto it = lines_.find(sscanf(name, "\\\\.\\COM%d%c", &number, &tail) == 1 ? number : -1);
        DWORD error = ERROR_FILE_NOT_FOUND;
        if (it != lines_.end() && !it->second->TakeFailure(Call::CreateFile, error)) {
            if (share == 0 && it->second->WithPc([](PcPort& pc) {
                    return !pc.open && !pc.heldElsewhere && (pc.open = pc.rts = pc.dtr = true);
                }))
                return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(kHandleBase + number));
            error = ERROR_ACCESS_DENIED;
        }
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    BOOL CloseHandle(HANDLE h) override
    {
        return onPort(h, Call::CloseHandle, [](PcPort& p) { p.open = false; });
    }
    BOOL GetCommState(HANDLE h, LPDCB dcb) override
    {
        return onPort(h, Call::GetCommState, [&](PcPort& p) { *dcb = p.dcb; });
    }
    BOOL SetCommState(HANDLE h, LPDCB dcb) override
    {
        return onPort(h, Call::SetCommState, [&](PcPort& pc) {
            pc.dcb = *dcb;
            // The control modes decide the lines as a driver would.
            if (dcb->fDtrControl == DTR_CONTROL_ENABLE || dcb->fDtrControl == DTR_CONTROL_DISABLE)
                pc.dtr = dcb->fDtrControl == DTR_CONTROL_ENABLE;
            if (dcb->fRtsControl == RTS_CONTROL_ENABLE || dcb->fRtsControl == RTS_CONTROL_DISABLE)
                pc.rts = dcb->fRtsControl == RTS_CONTROL_ENABLE;
        });
    }
    BOOL GetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) override
    {
        return onPort(h, Call::GetCommTimeouts, [&](PcPort& p) { *t = p.timeouts; });
    }
    BOOL SetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) override
    {
        return onPort(h, Call::SetCommTimeouts, [&](PcPort& p) { p.timeouts = *t; });
    }
    BOOL SetupComm(HANDLE h, DWORD in, DWORD) override
    {
        return onPort(h, Call::SetupComm, [&](PcPort& p) { p.rxQueue = in; });
    }
    BOOL EscapeCommFunction(HANDLE h, DWORD function) override
    {
        const bool known = function >= SETXOFF && function <= RESETDEV;
        const BOOL done = onPort(h, Call::EscapeCommFunction, [&](PcPort& pc) {
            if (known) pc.escapes.push_back(function);
            if (function == SETRTS || function == CLRRTS) pc.rts = function == SETRTS;
            if (function == SETDTR || function == CLRDTR) pc.dtr = function == SETDTR;
        });
        if (done && !known) SetLastError(ERROR_INVALID_PARAMETER);
        return done && known;
    }
    BOOL ClearCommError(HANDLE h, LPDWORD errors, LPCOMSTAT stat) override
    {
        return onLine(h, Call::ClearCommError, [&](MemoryLine& line) {
            if (errors) *errors = 0;
            if (!stat) return;
            *stat = COMSTAT{};
            stat->cbInQue = static_cast<DWORD>(line.Available(kPc));
            stat->cbOutQue = static_cast<DWORD>(line.InFlight(kPc));
        });
    }
    // The device end keeps RTS and DTR up, so the PC sees CTS, DSR and DCD.
    BOOL GetCommModemStatus(HANDLE h, LPDWORD status) override
    {
        return onLine(h, Call::GetCommModemStatus, [&](MemoryLine&) { *status = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON; });
    }
    // Honours the port's total read time-out (none: at once) on the tick source.
    BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED) override
    {
        return onLine(h, Call::ReadFile, [&](MemoryLine& l) {
            const COMMTIMEOUTS t = l.Pc().timeouts;
            const DWORD ms = t.ReadTotalTimeoutConstant + t.ReadTotalTimeoutMultiplier * count;
            *read = static_cast<DWORD>(l.ReadWithin(kPc, buffer, count, ms));
        });
    }
    BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED) override
    {
        return onLine(h, Call::WriteFile, [&](auto& l) { *written = static_cast<DWORD>(l.Write(kPc, buffer, count)); });
    }
    BOOL PurgeComm(HANDLE h, DWORD flags) override
    {
        return onLine(h, Call::PurgeComm, [&](MemoryLine& line) {
            line.WithPc([&](PcPort& pc) { pc.purges.push_back(flags); });
            line.Purge(kPc, (flags & PURGE_RXCLEAR) != 0, (flags & PURGE_TXCLEAR) != 0);
        });
    }

private:
    static constexpr uintptr_t kHandleBase = 0x7000;

    // Runs `f` on the line behind an open handle, or reports why there is none.
    template <typename F>
    BOOL onLine(HANDLE h, Call call, F f)
    {
        auto it = lines_.find(static_cast<int>(reinterpret_cast<uintptr_t>(h) - kHandleBase));
        DWORD error = ERROR_INVALID_HANDLE;
        if (it != lines_.end()) it->second->Count(call);
        if (it == lines_.end() || !it->second->Pc().open || it->second->TakeFailure(call, error))
            return SetLastError(error), FALSE;
        f(*it->second);
        return TRUE;
    }
    // Runs `f` on the driver state behind an open handle.
    template <typename F>
    BOOL onPort(HANDLE h, Call call, F f)
    {
        return onLine(h, call, [&](MemoryLine& line) { line.WithPc(f); });
    }

    std::map<int, MemoryLine*> lines_;
    std::map<int, PortKind> kinds_;
    IComApi* previous_;
    IPortList* previousPorts_;
};

#include "tests/support/MemoryComApi.h"

#include <cstdio>
#include <cstring>

namespace {
using Side = MemoryLine::Side;
using Call = MemoryLine::Call;

HANDLE HandleOf(int comNumber) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7000 + comNumber)); }
int ComNumberOf(HANDLE h) { return static_cast<int>(reinterpret_cast<uintptr_t>(h)) - 0x7000; }

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}
}  // namespace

MemoryComApi::MemoryComApi() : previous_(SetComApi(this)) {}
MemoryComApi::~MemoryComApi() { SetComApi(previous_); }

void MemoryComApi::Attach(int comNumber, MemoryLine& line) { lines_[comNumber] = &line; }

MemoryLine* MemoryComApi::lineFor(HANDLE h, Call call)
{
    auto it = lines_.find(ComNumberOf(h));
    if (it == lines_.end() || !it->second->Pc().open) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    DWORD error = 0;
    if (it->second->TakeFailure(call, error)) {
        SetLastError(error);
        return nullptr;
    }
    return it->second;
}

HANDLE MemoryComApi::CreateFileA(LPCSTR name, DWORD, DWORD share, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    int number = 0;
    char tail = 0;
    if (sscanf(name, "\\\\.\\COM%d%c", &number, &tail) != 1) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    auto it = lines_.find(number);
    if (it == lines_.end()) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    MemoryLine& line = *it->second;
    DWORD error = 0;
    if (line.TakeFailure(Call::CreateFile, error)) return Fail(error), INVALID_HANDLE_VALUE;
    const bool taken = line.WithPc([&](MemoryLine::PcPort& pc) {
        if (pc.open || pc.heldElsewhere) return true;
        pc.open = true;
        pc.rts = pc.dtr = true;
        return false;
    });
    if (taken || share != 0) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    return HandleOf(number);
}

BOOL MemoryComApi::CloseHandle(HANDLE h)
{
    MemoryLine* line = lineFor(h, Call::CloseHandle);
    if (!line) return FALSE;
    line->WithPc([](MemoryLine::PcPort& pc) { return pc.open = false; });
    return TRUE;
}

BOOL MemoryComApi::GetCommState(HANDLE h, LPDCB dcb)
{
    MemoryLine* line = lineFor(h, Call::GetCommState);
    if (!line) return FALSE;
    *dcb = line->Pc().dcb;
    return TRUE;
}

BOOL MemoryComApi::SetCommState(HANDLE h, LPDCB dcb)
{
    MemoryLine* line = lineFor(h, Call::SetCommState);
    if (!line) return FALSE;
    line->WithPc([&](MemoryLine::PcPort& pc) {
        pc.dcb = *dcb;
        // The control modes decide the lines as a driver would.
        if (dcb->fDtrControl == DTR_CONTROL_ENABLE) pc.dtr = true;
        if (dcb->fDtrControl == DTR_CONTROL_DISABLE) pc.dtr = false;
        if (dcb->fRtsControl == RTS_CONTROL_ENABLE) pc.rts = true;
        if (dcb->fRtsControl == RTS_CONTROL_DISABLE) pc.rts = false;
        return 0;
    });
    return TRUE;
}

BOOL MemoryComApi::GetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS timeouts)
{
    MemoryLine* line = lineFor(h, Call::GetCommTimeouts);
    if (!line) return FALSE;
    *timeouts = line->Pc().timeouts;
    return TRUE;
}

BOOL MemoryComApi::SetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS timeouts)
{
    MemoryLine* line = lineFor(h, Call::SetCommTimeouts);
    if (!line) return FALSE;
    line->WithPc([&](MemoryLine::PcPort& pc) { return memcpy(&pc.timeouts, timeouts, sizeof *timeouts); });
    return TRUE;
}

BOOL MemoryComApi::SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue)
{
    MemoryLine* line = lineFor(h, Call::SetupComm);
    if (!line) return FALSE;
    line->WithPc([&](MemoryLine::PcPort& pc) {
        pc.rxQueue = inQueue;
        pc.txQueue = outQueue;
        return 0;
    });
    return TRUE;
}

BOOL MemoryComApi::EscapeCommFunction(HANDLE h, DWORD function)
{
    MemoryLine* line = lineFor(h, Call::EscapeCommFunction);
    if (!line) return FALSE;
    if (function < SETXOFF || function > RESETDEV) return Fail(ERROR_INVALID_PARAMETER);
    line->WithPc([&](MemoryLine::PcPort& pc) {
        pc.escapes.push_back(function);
        if (function == SETRTS || function == CLRRTS) pc.rts = function == SETRTS;
        if (function == SETDTR || function == CLRDTR) pc.dtr = function == SETDTR;
        return 0;
    });
    return TRUE;
}

BOOL MemoryComApi::ClearCommError(HANDLE h, LPDWORD errors, LPCOMSTAT stat)
{
    MemoryLine* line = lineFor(h, Call::ClearCommError);
    if (!line) return FALSE;
    const DWORD flags = line->WithPc([](MemoryLine::PcPort& pc) {
        const DWORD f = pc.errorFlags;
        pc.errorFlags = 0;
        return f;
    });
    if (errors) *errors = flags;
    if (stat) {
        memset(stat, 0, sizeof *stat);
        stat->cbInQue = static_cast<DWORD>(line->Available(Side::Pc));
        stat->cbOutQue = static_cast<DWORD>(line->InFlight(Side::Pc));
    }
    return TRUE;
}

BOOL MemoryComApi::GetCommModemStatus(HANDLE h, LPDWORD status)
{
    MemoryLine* line = lineFor(h, Call::GetCommModemStatus);
    if (!line) return FALSE;
    *status = line->PcModemStatus();
    return TRUE;
}

BOOL MemoryComApi::ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED)
{
    MemoryLine* line = lineFor(h, Call::ReadFile);
    if (!line) return FALSE;
    *read = static_cast<DWORD>(line->Read(Side::Pc, buffer, toRead));
    return TRUE;
}

BOOL MemoryComApi::WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED)
{
    MemoryLine* line = lineFor(h, Call::WriteFile);
    if (!line) return FALSE;
    *written = static_cast<DWORD>(line->Write(Side::Pc, buffer, toWrite));
    return TRUE;
}

BOOL MemoryComApi::PurgeComm(HANDLE h, DWORD flags)
{
    MemoryLine* line = lineFor(h, Call::PurgeComm);
    if (!line) return FALSE;
    line->WithPc([&](MemoryLine::PcPort& pc) {
        pc.purges.push_back(flags);
        return 0;
    });
    line->Purge(Side::Pc, (flags & PURGE_RXCLEAR) != 0, (flags & PURGE_TXCLEAR) != 0);
    return TRUE;
}

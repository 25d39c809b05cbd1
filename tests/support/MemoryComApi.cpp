#include "tests/support/MemoryComApi.h"

#include <cstdio>
#include <utility>

namespace {
using Call = MemoryLine::Call;
using PcPort = MemoryLine::PcPort;

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
    if (it == lines_.end() || !it->second->Pc().open) return Fail(ERROR_INVALID_HANDLE), nullptr;
    DWORD error = 0;
    if (it->second->TakeFailure(call, error)) return Fail(error), nullptr;
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
    const bool taken = line.WithPc([&](PcPort& pc) {
        if (pc.open || pc.heldElsewhere) return true;
        pc.open = pc.rts = pc.dtr = true;
        return false;
    });
    if (taken || share != 0) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    return HandleOf(number);
}

BOOL MemoryComApi::SetCommState(HANDLE h, LPDCB dcb)
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

BOOL MemoryComApi::EscapeCommFunction(HANDLE h, DWORD function)
{
    MemoryLine* line = lineFor(h, Call::EscapeCommFunction);
    if (!line) return FALSE;
    if (function < SETXOFF || function > RESETDEV) return Fail(ERROR_INVALID_PARAMETER);
    line->WithPc([&](PcPort& pc) {
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
    const DWORD flags = line->WithPc([](PcPort& pc) { return std::exchange(pc.errorFlags, 0); });
    if (errors) *errors = flags;
    if (stat) {
        *stat = COMSTAT{};
        stat->cbInQue = static_cast<DWORD>(line->Available(MemoryLine::Side::Pc));
        stat->cbOutQue = static_cast<DWORD>(line->InFlight(MemoryLine::Side::Pc));
    }
    return TRUE;
}

BOOL MemoryComApi::GetCommModemStatus(HANDLE h, LPDWORD status)
{
    MemoryLine* line = lineFor(h, Call::GetCommModemStatus);
    if (line) *status = line->PcModemStatus();
    return line != nullptr;
}

BOOL MemoryComApi::ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED)
{
    MemoryLine* line = lineFor(h, Call::ReadFile);
    if (line) *read = static_cast<DWORD>(line->Read(MemoryLine::Side::Pc, buffer, toRead));
    return line != nullptr;
}

BOOL MemoryComApi::WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED)
{
    MemoryLine* line = lineFor(h, Call::WriteFile);
    if (line) *written = static_cast<DWORD>(line->Write(MemoryLine::Side::Pc, buffer, toWrite));
    return line != nullptr;
}

BOOL MemoryComApi::PurgeComm(HANDLE h, DWORD flags)
{
    MemoryLine* line = lineFor(h, Call::PurgeComm);
    if (!line) return FALSE;
    line->WithPc([&](PcPort& pc) { return pc.purges.push_back(flags), 0; });
    line->Purge(MemoryLine::Side::Pc, (flags & PURGE_RXCLEAR) != 0, (flags & PURGE_TXCLEAR) != 0);
    return TRUE;
}

#include "sim/SimSerialLink.h"

bool SimSerialLink::Open(const std::string& port, uint32_t baud)
{
    const std::string name = "\\\\.\\" + port;
    handle_.reset(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle_.valid()) return false;
    COMMTIMEOUTS timeouts = {MAXDWORD, 0, 0, 0, 0};  // reads return what has arrived
    if (!SetCommTimeouts(handle_.get(), &timeouts)) return false;
    SetBaud(baud);
    return true;
}

void SimSerialLink::SetBaud(uint32_t baud)
{
    baud_ = baud;
    if (!handle_.valid()) return;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(handle_.get(), &dcb);
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    SetCommState(handle_.get(), &dcb);
}

size_t SimSerialLink::Write(const void* data, size_t count)
{
    DWORD written = 0;
    if (!WriteFile(handle_.get(), data, static_cast<DWORD>(count), &written, nullptr)) return 0;
    return written;
}

size_t SimSerialLink::Read(void* data, size_t max)
{
    DWORD got = 0;
    if (!ReadFile(handle_.get(), data, static_cast<DWORD>(max), &got, nullptr)) return 0;
    return got;
}

// The port's reads return at once, so a millisecond's sleep bounds the delay
// to a byte without a comm event, which a pseudo-terminal under Wine lacks.
void SimSerialLink::WaitForInput(size_t, unsigned ms) { Sleep(ms < 1 ? 0 : 1); }

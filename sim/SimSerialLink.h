#pragma once
// The stand-in note-taker's end of a real serial port (a COM port, or under
// Wine a pseudo-terminal linked as one), 8N1 without flow control.
#include <windows.h>

#include <string>

#include "foundation/ScopedHandle.h"
#include "sim/SimLink.h"

class SimSerialLink final : public SimLink {
public:
    SimSerialLink() = default;
    SimSerialLink(const SimSerialLink&) = delete;
    SimSerialLink& operator=(const SimSerialLink&) = delete;

    bool Open(const std::string& port, uint32_t baud);  // "COM6"; false with GetLastError set
    size_t Write(const void* data, size_t count) override;
    size_t Read(void* data, size_t max) override;
    void WaitForInput(size_t count, unsigned ms) override;
    uint32_t Baud() const override { return baud_; }
    void SetBaud(uint32_t baud) override;

private:
    ScopedKernelHandle handle_;
    uint32_t baud_ = 0;
};

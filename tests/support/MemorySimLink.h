#pragma once
// The device end of an in-memory line, as the stand-in note-taker's link.
#include "sim/SimLink.h"
#include "tests/support/MemoryLine.h"

class MemorySimLink final : public SimLink {
public:
    explicit MemorySimLink(MemoryLine& line) : line_(line) {}
    size_t Write(const void* data, size_t count) override { return line_.Write(MemoryLine::Side::Device, data, count); }
    size_t Read(void* data, size_t max) override { return line_.Read(MemoryLine::Side::Device, data, max); }
    uint32_t Baud() const override { return baud_; }
    // A listener at another rate than the PC hears only noise.
    void SetBaud(uint32_t baud) override
    {
        baud_ = baud;
        line_.SetDeviceBaud(baud);
    }

private:
    MemoryLine& line_;
    uint32_t baud_ = 0;
};

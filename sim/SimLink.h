#pragma once
// The stand-in note-taker's side of the cable: a serial port opened by the
// stand-in itself, or one end of an in-memory line in tests. Reads never wait.
#include <cstddef>
#include <cstdint>

class SimLink {
public:
    virtual ~SimLink() = default;
    virtual size_t Write(const void* data, size_t count) = 0;
    virtual size_t Read(void* data, size_t max) = 0;  // what has arrived, possibly nothing
    // Sleeps until `count` more bytes may have arrived or `ms` have passed: a
    // waiting stand-in wakes with its bytes instead of polling for them.
    virtual void WaitForInput(size_t count, unsigned ms) = 0;
    virtual uint32_t Baud() const = 0;                // the rate the stand-in listens at
    virtual void SetBaud(uint32_t baud) = 0;
};

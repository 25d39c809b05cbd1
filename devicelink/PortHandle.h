#pragma once
// The open port's handle, closed through the port calls in force so that a
// test's in-memory line sees the close as the driver would. A close may fail
// and keep the handle for another try; whatever is still open when the
// holder goes is closed then.
#include <windows.h>

class PortHandle {
public:
    PortHandle() = default;
    ~PortHandle() { close(); }
    PortHandle(PortHandle&& other) noexcept : h_(other.release()) {}
    PortHandle& operator=(PortHandle&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    PortHandle(const PortHandle&) = delete;
    PortHandle& operator=(const PortHandle&) = delete;

    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    // False, with the handle kept, when the close call fails.
    bool close();
    void reset(HANDLE h = INVALID_HANDLE_VALUE)
    {
        close();
        h_ = h;
    }
    HANDLE release()
    {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

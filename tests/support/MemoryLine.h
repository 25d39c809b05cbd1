#pragma once
// An in-memory serial cable between the PC end (driven through MemoryComApi
// by the code under test) and the device end (driven by a test or the
// stand-in note-taker). It behaves as a null-modem cable: each end's RTS is
// the other's CTS, each end's DTR the other's DSR and DCD.
//
// It can also misbehave on request: fail the next Win32 call of a kind with
// a chosen Windows error, pace bytes at baud/10 bytes per second, garble
// bytes when the two ends disagree on the baud rate, and drop, change or
// delay single bytes through a hook.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

class MemoryLine {
    // Defined first, so that the short members below can use it.
    template <typename F> auto locked(F f)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return f();
    }

public:
    enum class Side { Pc = 0, Device = 1 };
    enum class Call {
        CreateFile, CloseHandle, GetCommState, SetCommState, GetCommTimeouts, SetCommTimeouts, SetupComm,
        EscapeCommFunction, ClearCommError, GetCommModemStatus, ReadFile, WriteFile, PurgeComm,
    };
    struct ByteFate {
        bool drop = false;
        uint8_t value = 0;
        unsigned delayMs = 0;
    };
    // Called for every byte written, with its index in its direction's stream.
    using ByteHook = std::function<void(Side from, uint64_t index, ByteFate& fate)>;

    // What the PC end's driver holds; MemoryComApi keeps it up to date.
    struct PcPort {
        bool open = false;
        bool heldElsewhere = false;  // another program has the port
        DCB dcb{};
        COMMTIMEOUTS timeouts{};
        DWORD rxQueue = 0, txQueue = 0;
        bool rts = true, dtr = true;
        DWORD errorFlags = 0;           // CE_ flags reported by the next ClearCommError
        std::vector<DWORD> escapes;     // every EscapeCommFunction code, in order
        std::vector<DWORD> purges;      // every PurgeComm flag word, in order
    };

    MemoryLine();

    size_t Write(Side from, const void* data, size_t count);
    size_t Read(Side at, void* data, size_t max);
    size_t Available(Side at) { return locked([&] { return readyCount(toward(at), Clock::now()); }); }
    size_t InFlight(Side from);  // written, not yet arrived
    void Purge(Side at, bool incoming, bool outgoing);
    // Waits until `count` bytes are available at `at`, or the time is up.
    bool WaitFor(Side at, size_t count, unsigned timeoutMs);

    // The device end's own settings: baud 0 follows the PC and never garbles.
    void SetDeviceBaud(DWORD baud) { locked([&] { deviceBaud_ = baud; }); }
    void SetDeviceLines(bool rts, bool dtr) { locked([&] { deviceRts_ = rts, deviceDtr_ = dtr; }); }
    bool DeviceCts() { return locked([&] { return pc_.rts; }); }  // the PC's RTS request as the device sees it
    bool DeviceDsr() { return locked([&] { return pc_.dtr; }); }  // the PC's DTR request as the device sees it
    DWORD PcModemStatus()  // MS_ bits as the PC end sees them
    {
        return locked([&] { return (deviceRts_ ? MS_CTS_ON : 0) | (deviceDtr_ ? (MS_DSR_ON | MS_RLSD_ON) : 0); });
    }

    void SetPacing(bool on) { locked([&] { pacing_ = on; }); }
    void SetHook(ByteHook hook) { locked([&] { hook_ = std::move(hook); }); }
    void FailNext(Call call, DWORD winError, int times = 1) { locked([&] { failures_[call] = {winError, times}; }); }
    // True (with the error to report) when the next call of this kind is to fail.
    bool TakeFailure(Call call, DWORD& winError);

    // The PC end's driver state, read and changed under the line's lock.
    template <typename F> auto WithPc(F f) { return locked([&] { return f(pc_); }); }
    PcPort Pc() { return WithPc([](PcPort& p) { return p; }); }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        uint8_t value;
        Clock::time_point readyAt;
    };
    struct Direction {
        std::deque<Pending> queue;
        Clock::time_point lastReady{};
        uint64_t written = 0;
    };
    Direction& toward(Side at) { return dirs_[static_cast<int>(at)]; }
    size_t readyCount(Direction& d, Clock::time_point now) const;
    bool garbling() const;

    std::mutex mutex_;
    std::condition_variable arrived_;
    Direction dirs_[2];  // indexed by the receiving side
    PcPort pc_;
    DWORD deviceBaud_ = 0;
    bool deviceRts_ = true, deviceDtr_ = true;
    bool pacing_ = false;
    ByteHook hook_;
    std::map<Call, std::pair<DWORD, int>> failures_;
};

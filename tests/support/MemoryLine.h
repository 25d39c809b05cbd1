#pragma once
// An in-memory null-modem cable between the PC end (driven through
// MemoryComApi by the code under test) and the device end (a test or the
// stand-in note-taker). On request it fails the next Win32 call of a kind,
// paces bytes at baud/10 a second, garbles them when the two ends disagree on
// the baud rate, and drops, changes or delays single bytes through a hook.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/Ticks.h"
#include "sim/SimLink.h"

class MemoryLine {
    // Defined first: a deduced return type is known only after its body.
    template <typename F>
    auto locked(F f)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return f();
    }

public:
    enum class Side { Pc = 0, Device = 1 };
    enum class Call {
        CreateFile,
        CloseHandle,
        GetCommState,
        SetCommState,
        GetCommTimeouts,
        SetCommTimeouts,
        SetupComm,
        EscapeCommFunction,
        ClearCommError,
        GetCommModemStatus,
        ReadFile,
        WriteFile,
        PurgeComm,
    };
    struct ByteFate {
        bool drop = false;
        uint8_t value = 0;
        unsigned delayMs = 0;
    };
    // Called for every byte written, with its index in its direction's stream.
    using ByteHook = std::function<void(Side from, uint64_t index, ByteFate& fate)>;

    // What the PC end's driver holds, kept up to date by MemoryComApi; at
    // first as a driver hands a port out, 9600 baud and 8 data bits.
    struct PcPort {
        bool open = false;
        bool heldElsewhere = false;  // another program has the port
        DCB dcb{sizeof(DCB), 9600, 1};
        COMMTIMEOUTS timeouts{};
        DWORD rxQueue = 0;
        bool rts = true, dtr = true;
        std::vector<DWORD> escapes;  // every EscapeCommFunction code, in order
        std::vector<DWORD> purges;   // every PurgeComm flag word, in order
    };

    MemoryLine() { pc_.dcb.ByteSize = 8; }

    size_t Write(Side from, const void* data, size_t count)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        Direction& d = away(from);
        const auto now = Clock::now();
        const auto byteTime = std::chrono::microseconds(pacing_ && pc_.dcb.BaudRate ? 10000000 / pc_.dcb.BaudRate : 0);
        const bool garbling = deviceBaud_ != 0 && deviceBaud_ != pc_.dcb.BaudRate;
        for (size_t i = 0; i < count; ++i) {
            ByteFate fate;
            fate.value = static_cast<const uint8_t*>(data)[i];
            if (hook_) hook_(from, d.written, fate);
            ++d.written;
            if (fate.drop) continue;
            d.lastReady = std::max(now, d.lastReady) + byteTime + std::chrono::milliseconds(fate.delayMs);
            d.queue.push_back({static_cast<uint8_t>(garbling ? ~fate.value ^ 0x5A : fate.value), d.lastReady});
        }
        arrived_.notify_all();
        return count;
    }
    size_t Read(Side at, void* data, size_t max)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        Direction& d = toward(at);
        const size_t n = std::min(max, d.ready());
        for (size_t i = 0; i < n; ++i, d.queue.pop_front()) static_cast<uint8_t*>(data)[i] = d.queue.front().first;
        return n;
    }
    // Reads once `count` bytes have arrived or `ms` have passed on the tick source.
    size_t ReadWithin(Side at, void* data, size_t count, DWORD ms)
    {
        const DWORD start = TickNow();
        for (DWORD waited = 0; waited < ms && Available(at) < count; waited = TickNow() - start) {
            if (UsingSystemTicks()) sleepForBytes(at, count, ms - waited);
            else TickSleep(1);
        }
        return Read(at, data, count);
    }
    // Sleeps in real time until `count` bytes have reached `at`, a write, or `ms`.
    void WaitForBytes(Side at, size_t count, DWORD ms)
    {
        if (Available(at) < count) sleepForBytes(at, count, ms);
    }
    void Count(Call call)
    {
        locked([&] { ++calls_[call]; });
    }
    unsigned Calls(Call call)
    {
        return locked([&] { return calls_[call]; });
    }
    size_t Available(Side at)
    {
        return locked([&] { return toward(at).ready(); });
    }
    // Written, not yet arrived.
    size_t InFlight(Side from)
    {
        return locked([&] { return away(from).queue.size() - away(from).ready(); });
    }
    void Purge(Side at, bool incoming, bool outgoing)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (incoming) toward(at).queue.clear();
        if (outgoing) away(at).queue.resize(away(at).ready());
    }

    // The device end's own rate: 0 follows the PC and never garbles.
    void SetDeviceBaud(DWORD baud)
    {
        locked([&] { deviceBaud_ = baud; });
    }
    bool DeviceCts() { return Pc().rts; }  // the PC's RTS request as the device sees it

    void SetPacing(bool on)
    {
        locked([&] { pacing_ = on; });
    }
    void SetHook(ByteHook hook)
    {
        locked([&] { hook_ = std::move(hook); });
    }
    void FailNext(Call call, DWORD winError, int times = 1)
    {
        locked([&] { failures_[call] = {winError, times}; });
    }
    void ClearFailures()
    {
        locked([&] { failures_.clear(); });
    }
    // True (with the error to report) when the next call of this kind is to fail.
    bool TakeFailure(Call call, DWORD& winError)
    {
        return locked([&] {
            auto it = failures_.find(call);
            if (it == failures_.end()) return false;
            winError = it->second.first;
            if (--it->second.second <= 0) failures_.erase(it);
            return true;
        });
    }

    // The PC end's driver state, read and changed under the line's lock.
    template <typename F>
    auto WithPc(F f)
    {
        return locked([&] { return f(pc_); });
    }
    PcPort Pc()
    {
        return WithPc([](PcPort& p) { return p; });
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Direction {
        std::deque<std::pair<uint8_t, Clock::time_point>> queue;  // each byte with when it arrives
        Clock::time_point lastReady{};
        uint64_t written = 0;
        size_t ready() const  // how many have arrived by now; arrival times never fall
        {
            const auto now = Clock::now();
            return std::partition_point(queue.begin(), queue.end(), [&](auto& b) { return b.second <= now; }) -
                   queue.begin();
        }
    };
    Direction& toward(Side at) { return dirs_[static_cast<int>(at)]; }
    // Sleeps in real time until the count-th byte is due, a write, or `ms`;
    // may return up to a millisecond early, so callers wait in a loop.
    void sleepForBytes(Side at, size_t count, DWORD ms)
    {
        constexpr auto kTimerSlack = std::chrono::milliseconds(1);
        std::unique_lock<std::mutex> lock(mutex_);
        auto wake = Clock::now() + std::chrono::milliseconds(ms);
        const auto& queue = toward(at).queue;
        const bool due = queue.size() >= count;
        if (due) wake = std::min(wake, queue[count - 1].second);
        // A byte due within a millisecond is waited for as a driver would, not at a timer's mercy:
        // a timer wakes late by up to its slack, which on every block would cost the line's pace.
        if (wake - Clock::now() < kTimerSlack) {
            lock.unlock();
            while (Clock::now() < wake) {  // a yield would hand a busy PC's processes a whole time slice
            }
        } else {
            arrived_.wait_until(lock, due ? wake - kTimerSlack : wake);
        }
    }
    Direction& away(Side from) { return dirs_[1 - static_cast<int>(from)]; }

    std::mutex mutex_;
    std::condition_variable arrived_;
    Direction dirs_[2];  // indexed by the receiving side
    PcPort pc_;
    DWORD deviceBaud_ = 0;
    bool pacing_ = false;
    ByteHook hook_;
    std::map<Call, std::pair<DWORD, int>> failures_;
    std::map<Call, unsigned> calls_;
};

// The device end of a line, as the stand-in note-taker's link. A listener at
// another rate than the PC hears only noise.
class MemorySimLink final : public SimLink {
public:
    explicit MemorySimLink(MemoryLine& line) : line_(line) {}
    size_t Write(const void* data, size_t count) override { return line_.Write(MemoryLine::Side::Device, data, count); }
    size_t Read(void* data, size_t max) override { return line_.Read(MemoryLine::Side::Device, data, max); }
    void WaitForInput(size_t count, unsigned ms) override { line_.WaitForBytes(MemoryLine::Side::Device, count, ms); }
    uint32_t Baud() const override { return baud_; }
    void SetBaud(uint32_t baud) override { line_.SetDeviceBaud(baud_ = baud); }

private:
    MemoryLine& line_;
    uint32_t baud_ = 0;
};

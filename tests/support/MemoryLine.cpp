#include "tests/support/MemoryLine.h"

#include <algorithm>
#include <cstring>

MemoryLine::MemoryLine()
{
    // A port as a driver hands it out before anyone configures it.
    pc_.dcb.DCBlength = sizeof(DCB);
    pc_.dcb.BaudRate = 9600;
    pc_.dcb.ByteSize = 8;
    pc_.dcb.fBinary = 1;
    pc_.timeouts = {0, 0, 0, 0, 0};
}

bool MemoryLine::garbling() const { return deviceBaud_ != 0 && deviceBaud_ != pc_.dcb.BaudRate; }

size_t MemoryLine::Write(Side from, const void* data, size_t count)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    std::lock_guard<std::mutex> guard(mutex_);
    Direction& d = toward(from == Side::Pc ? Side::Device : Side::Pc);
    const auto now = Clock::now();
    const auto byteTime = std::chrono::microseconds(pacing_ && pc_.dcb.BaudRate ? 10000000 / pc_.dcb.BaudRate : 0);
    for (size_t i = 0; i < count; ++i) {
        ByteFate fate;
        fate.value = bytes[i];
        if (hook_) hook_(from, d.written, fate);
        ++d.written;
        if (fate.drop) continue;
        // Disagreeing baud rates turn every byte into noise.
        if (garbling()) fate.value = static_cast<uint8_t>(~fate.value ^ 0x5A);
        auto ready = std::max(now, d.lastReady) + byteTime + std::chrono::milliseconds(fate.delayMs);
        d.lastReady = ready;
        d.queue.push_back({fate.value, ready});
    }
    arrived_.notify_all();
    return count;
}

size_t MemoryLine::readyCount(Direction& d, Clock::time_point now) const
{
    size_t n = 0;
    while (n < d.queue.size() && d.queue[n].readyAt <= now) ++n;
    return n;
}

size_t MemoryLine::Read(Side at, void* data, size_t max)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Direction& d = toward(at);
    const size_t n = std::min(max, readyCount(d, Clock::now()));
    uint8_t* out = static_cast<uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) {
        out[i] = d.queue.front().value;
        d.queue.pop_front();
    }
    return n;
}

size_t MemoryLine::InFlight(Side from)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Direction& d = toward(from == Side::Pc ? Side::Device : Side::Pc);
    return d.queue.size() - readyCount(d, Clock::now());
}

void MemoryLine::Purge(Side at, bool incoming, bool outgoing)
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (incoming) toward(at).queue.clear();
    if (outgoing) {
        Direction& out = toward(at == Side::Pc ? Side::Device : Side::Pc);
        const size_t arrived = readyCount(out, Clock::now());
        out.queue.erase(out.queue.begin() + static_cast<std::ptrdiff_t>(arrived), out.queue.end());
    }
}

bool MemoryLine::WaitFor(Side at, size_t count, unsigned timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        const auto now = Clock::now();
        if (readyCount(toward(at), now) >= count) return true;
        if (now >= deadline) return false;
        // Paced bytes become ready without a notification: look again soon.
        arrived_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(2)));
    }
}

bool MemoryLine::TakeFailure(Call call, DWORD& winError)
{
    std::lock_guard<std::mutex> guard(mutex_);
    auto it = failures_.find(call);
    if (it == failures_.end() || it->second.second <= 0) return false;
    winError = it->second.first;
    if (--it->second.second == 0) failures_.erase(it);
    return true;
}

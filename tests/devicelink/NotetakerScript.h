#pragma once
// A device end that answers by script: when the bytes received since the
// last answer end with the next rule's trigger, that rule's reply is sent.
// Everything the PC sent is kept for the test to compare.
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "devicelink/CNotetaker.h"
#include "tests/support/MemoryLine.h"

class NotetakerScript {
public:
    explicit NotetakerScript(MemoryLine& line) : line_(line), thread_([this] { run(); }) {}
    ~NotetakerScript()
    {
        stop_ = true;
        thread_.join();
    }

    NotetakerScript& On(const std::string& trigger, const std::string& reply)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        rules_.push_back({trigger, reply});
        return *this;
    }
    std::string Received()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return received_;
    }
    void ClearReceived()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        received_.clear();
    }
    bool Done()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return rules_.empty();
    }

    static std::string Command(char letter) { return std::string("\x05\x04", 2) + letter; }

private:
    struct Rule {
        std::string trigger, reply;
    };
    void run()
    {
        std::string pending;
        while (!stop_) {
            char buffer[256];
            const size_t n = line_.Read(MemoryLine::Side::Device, buffer, sizeof buffer);
            if (n == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            std::lock_guard<std::mutex> guard(mutex_);
            received_.append(buffer, n);
            for (size_t i = 0; i < n; ++i) {
                pending += buffer[i];
                if (rules_.empty() || !EndsWith(pending, rules_.front().trigger)) continue;
                const std::string reply = rules_.front().reply;
                rules_.pop_front();
                pending.clear();
                if (!reply.empty()) line_.Write(MemoryLine::Side::Device, reply.data(), reply.size());
            }
        }
    }
    static bool EndsWith(const std::string& s, const std::string& tail)
    {
        return s.size() >= tail.size() && s.compare(s.size() - tail.size(), std::string::npos, tail) == 0;
    }

    MemoryLine& line_;
    std::mutex mutex_;
    std::deque<Rule> rules_;
    std::string received_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

inline std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

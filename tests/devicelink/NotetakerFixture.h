#pragma once
// A note-taker object on COM3 of an in-memory line, with a scripted device
// at the other end and the Retry/Cancel question answered by the test.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "devicelink/CNotetaker.h"
#include "tests/support/MemoryComApi.h"

inline std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

// A device end that answers by script: when the bytes received since the
// last answer end with the next rule's trigger, that rule's reply is sent.
// Everything the PC sent is kept for the test to compare.
class NotetakerScript {
    // Defined first: a deduced return type is known only after its body.
    // Runs `f` under the lock once a read begun after this call found the line
    // empty (and every rule answered, if asked), or after ten seconds.
    template <typename F>
    auto drained(F f, bool allAnswered = false)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const unsigned from = emptyReads_;
        idle_.wait_for(lock, std::chrono::seconds(10),
                       [&] { return emptyReads_ > from + 1 && (!allAnswered || rules_.empty()); });
        return f();
    }

public:
    explicit NotetakerScript(MemoryLine& line) : line_(line), thread_([this] { run(); }) {}
    ~NotetakerScript()
    {
        stop_ = true;
        thread_.join();
    }
    // `lateMs`: the device end is held back that long before it answers, as
    // a loaded machine may hold its thread.
    NotetakerScript& On(const std::string& trigger, const std::string& reply, unsigned lateMs = 0)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        rules_.push_back({trigger, reply, lateMs});
        return *this;
    }
    // Everything the PC has sent by now, once the device end has read it all.
    std::string Received()
    {
        return drained([this] { return received_; });
    }
    void ClearReceived()
    {
        drained([this] { received_.clear(); });
    }
    // Waits until every rule has been answered.
    bool Done()
    {
        return drained([this] { return rules_.empty(); }, true);
    }
    static std::string Command(char letter) { return std::string("\x05\x04", 2) + letter; }

private:
    struct Rule {
        std::string trigger, reply;
        unsigned lateMs;
    };
    void run()
    {
        std::string pending;
        while (!stop_) {
            char buffer[256];
            const size_t n = line_.Read(MemoryLine::Side::Device, buffer, sizeof buffer);
            std::unique_lock<std::mutex> lock(mutex_);
            emptyReads_ += n == 0 && line_.InFlight(MemoryLine::Side::Pc) == 0;
            idle_.notify_all();
            received_.append(buffer, n);
            for (size_t i = 0; i < n; ++i) {
                pending += buffer[i];
                if (rules_.empty() || !EndsWith(pending, rules_.front().trigger)) continue;
                std::this_thread::sleep_for(std::chrono::milliseconds(rules_.front().lateMs));
                line_.Write(MemoryLine::Side::Device, rules_.front().reply.data(), rules_.front().reply.size());
                rules_.pop_front();
                pending.clear();
            }
            lock.unlock();
            if (n == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    static bool EndsWith(const std::string& s, const std::string& tail)
    {
        return s.size() >= tail.size() && s.compare(s.size() - tail.size(), std::string::npos, tail) == 0;
    }

    MemoryLine& line_;
    std::mutex mutex_;
    std::condition_variable idle_;
    unsigned emptyReads_ = 0;
    std::deque<Rule> rules_;
    std::string received_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class NotetakerFixture : public ::testing::Test {
protected:
    static constexpr DWORD kTimeout = 100;

    NotetakerFixture()
    {
        api_.Attach(3, line_);
        // The PC's reply time-outs run only while the script has had its turn.
        line_.SetDeviceTurns(true);
    }

    std::unique_ptr<CNotetaker> make(int port = 2, DWORD retries = 5)
    {
        return std::make_unique<CNotetaker>(port, kTimeout, retries, 3);
    }
    static std::string Cmd(char letter) { return NotetakerScript::Command(letter); }
    static std::string Times(const std::string& s, int n) { return n > 0 ? s + Times(s, n - 1) : ""; }
    static DWORD Since(DWORD start) { return GetTickCount() - start; }

    // Identifies the device as the given firmware, leaving the port open.
    void identify(CNotetaker& nt, WORD firmware)
    {
        answerIdentity(firmware);
        ASSERT_EQ(nt.serialOpen(false), 0);
        ASSERT_EQ(nt.FirmwareVersion(), firmware);
        script_.ClearReceived();
    }
    // The device's answers when it is asked who it is.
    void answerIdentity(WORD firmware)
    {
        script_.On(Cmd('W'), Bytes({5, firmware == CNotetaker::FW_LEGACY ? 3 : 4}));
        if (firmware == CNotetaker::FW_VARDEN) script_.On(Cmd('Y'), Bytes({'Y', 2, 0}));
        else if (firmware != CNotetaker::FW_LEGACY) script_.On(Cmd('Y'), Ident2Reply("Abc", firmware));
    }
    static std::string Ident2Reply(const std::string& name, WORD firmware)
    {
        const std::string payload =
            Bytes({7}) + name + std::string(10 - name.size(), '\0') + Bytes({firmware & 0xFF, firmware >> 8, 0});
        return Bytes({'Y', static_cast<int>(payload.size() + 2), 0}) + payload;
    }
    // The last reply may still be on its way when the PC side gives up early.
    void settle() { script_.Done(); }

    MemoryLine line_;
    MemoryComApi api_;
    NotetakerScript script_{line_};
};

#pragma once
// A note-taker object on COM3 of an in-memory line, with a scripted device
// at the other end and the Retry/Cancel question answered by the test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
public:
    explicit NotetakerScript(MemoryLine& line) : line_(line), thread_([this] { run(); }) {}
    ~NotetakerScript()
    {
        stop_ = true;
        thread_.join();
    }
    template <typename F> auto locked(F f)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return f();
    }
    NotetakerScript& On(const std::string& trigger, const std::string& reply)
    {
        locked([&] { rules_.push_back({trigger, reply}); });
        return *this;
    }
    std::string Received() { return locked([this] { return received_; }); }
    void ClearReceived() { locked([this] { received_.clear(); }); }
    bool Done() { return locked([this] { return rules_.empty(); }); }
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

class NotetakerFixture : public ::testing::Test {
protected:
    static constexpr DWORD kTimeout = 100;

    NotetakerFixture() : previousPrompt_(SetRetryPrompt(&NotetakerFixture::Prompt))
    {
        api_.Attach(3, line_);
        s_prompts = s_retries = 0;
    }
    ~NotetakerFixture() override { SetRetryPrompt(previousPrompt_); }

    std::unique_ptr<CNotetaker> make(int port = 2, DWORD retries = 5)
    {
        return std::make_unique<CNotetaker>(port, kTimeout, retries, 3);
    }
    static std::string Cmd(char letter) { return NotetakerScript::Command(letter); }
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
        const std::string payload = Bytes({7}) + name + std::string(10 - name.size(), '\0') +
                                    Bytes({firmware & 0xFF, firmware >> 8, 0});
        return Bytes({'Y', static_cast<int>(payload.size() + 2), 0}) + payload;
    }
    // Waits until the script has answered everything (the last reply may
    // still be on its way when the PC side gives up early).
    void settle()
    {
        for (int i = 0; i < 200 && !script_.Done(); ++i) Sleep(5);
    }
    static bool Prompt()
    {
        ++s_prompts;
        return s_retries-- > 0;
    }
    static inline int s_prompts = 0;
    static inline int s_retries = 0;

    MemoryLine line_;
    MemoryComApi api_;
    NotetakerScript script_{line_};
    RetryPrompt previousPrompt_;
};

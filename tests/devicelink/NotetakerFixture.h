#pragma once
// A note-taker object on COM3 of an in-memory line, with a scripted device
// at the other end and the Retry/Cancel question answered by the test.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devicelink/CNotetaker.h"
#include "tests/devicelink/NotetakerScript.h"
#include "tests/support/MemoryComApi.h"

class NotetakerFixture : public ::testing::Test {
protected:
    static constexpr DWORD kTimeout = 100;

    NotetakerFixture() : previousPrompt_(SetRetryPrompt(&NotetakerFixture::Prompt))
    {
        api_.Attach(3, line_);
        s_prompts = 0;
        s_retries = 0;
    }
    ~NotetakerFixture() override { SetRetryPrompt(previousPrompt_); }

    std::unique_ptr<CNotetaker> make(int port = 2, DWORD retries = 5)
    {
        return std::make_unique<CNotetaker>(port, kTimeout, retries, 3);
    }

    static std::string Cmd(char letter) { return NotetakerScript::Command(letter); }

    // Identifies the device as the given firmware, leaving the port open.
    void identify(CNotetaker& nt, WORD firmware, int model = 5)
    {
        answerIdentity(firmware, model);
        ASSERT_EQ(nt.serialOpen(false), 0);
        ASSERT_EQ(nt.FirmwareVersion(), firmware);
        script_.ClearReceived();
    }

    // The device's answers when it is asked who it is.
    void answerIdentity(WORD firmware, int model = 5)
    {
        if (firmware == CNotetaker::FW_LEGACY) {
            script_.On(Cmd('W'), Bytes({model, 3}));
        } else {
            script_.On(Cmd('W'), Bytes({model, 4}));
            if (firmware == CNotetaker::FW_VARDEN) script_.On(Cmd('Y'), Bytes({'Y', 2, 0}));
            else script_.On(Cmd('Y'), Ident2Reply("Abc", firmware));
        }
    }

    static std::string Ident2Reply(const std::string& name, WORD firmware)
    {
        std::string payload = Bytes({7});
        payload += name + std::string(10 - name.size(), '\0');
        payload += Bytes({firmware & 0xFF, firmware >> 8, 0});
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

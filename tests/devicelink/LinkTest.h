#pragma once
// What the link's tests share: an in-memory line whose device end the test speaks, and a clock moved only by the tests.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "devicelink/CNotetaker.h"
#include "foundation/Ticks.h"
#include "tests/support/MemoryComApi.h"
#include "tests/support/TempDir.h"

namespace link_test {

constexpr char SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;
inline std::string S(char c, size_t times = 1) { return std::string(times, c); }
inline std::string Bytes(std::initializer_list<int> values) { return std::string(values.begin(), values.end()); }
// The identifications (05 04 "W") in what the PC sent; on a line, those since it was last asked, taken.
inline size_t Identifications(const std::string& sent)
{
    size_t count = 0;
    for (size_t at = 0; (at = sent.find("\x05\x04W", at)) != std::string::npos; ++at) ++count;
    return count;
}
inline size_t Identifications(MemoryLine& line)
{
    std::string sent(line.Available(MemoryLine::Side::Device), '\0');
    return Identifications(sent.substr(0, line.Read(MemoryLine::Side::Device, &sent[0], sent.size())));
}

class FakeTicks final : public ITickSource {
public:
    FakeTicks() : previous_(SetTickSource(this)) {}
    ~FakeTicks() override { SetTickSource(previous_); }
    DWORD Now() override { return now_; }
    // The device gets its turn whenever the PC end sleeps, as on a real line (a cancel waits inside one Process call).
    void Sleep(DWORD ms) override
    {
        now_ += ms;
        if (onSleep_) onSleep_();
    }
    // A real thread gets a moment of real time to finish; the rest of the wait passes on this clock.
    bool Wait(HANDLE object, DWORD ms) override
    {
        if (WaitForSingleObject(object, 1000) == WAIT_OBJECT_0) return true;
        now_ += ms;
        return false;
    }
    DWORD now_ = 0x100000;
    std::function<void()> onSleep_;

private:
    ITickSource* previous_;
};

// A block's check bytes: CRC-16/XMODEM bit by bit, not by the engine's table, high byte first; or the 8-bit sum.
inline std::string Check(const std::string& data, bool crc = true)
{
    unsigned sum = 0;
    for (unsigned char c : data) {
        sum = crc ? sum ^ c << 8 : sum + c;
        for (int bit = 0; crc && bit < 8; ++bit) sum = (sum & 0x8000 ? (sum << 1) ^ 0x1021 : sum << 1) & 0xFFFF;
    }
    return crc ? std::string{static_cast<char>(sum >> 8), static_cast<char>(sum & 0xFF)} : S(static_cast<char>(sum));
}

// One block on the wire, `data` padded to the block size with `pad` (the engine pads with blanks).
inline std::string Frame(unsigned number, std::string data, size_t size = 128, bool crc = true, char pad = ' ')
{
    data.resize(size, pad);
    return std::string{size == 1024 ? STX : SOH, static_cast<char>(number), static_cast<char>(255 - number)} + data +
           Check(data, crc);
}

inline std::string Block0(const std::string& name, const std::string& sizeField, bool crc = true)
{
    return Frame(0, name.empty() ? "" : name + '\0' + sizeField, 128, crc, '\0');
}

inline std::string Pattern(size_t size, unsigned seed = 7)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed + i / 251) & 0xFF);
    return bytes;
}

class LinkTest : public ::testing::Test {
protected:
    explicit LinkTest(int com) { api_.Attach(com, line_); }
    ~LinkTest() override { ticks_.onSleep_ = nullptr; }

    void deviceSends(const std::string& bytes) { line_.Write(MemoryLine::Side::Device, bytes.data(), bytes.size()); }
    std::string deviceReads(size_t max = SIZE_MAX)
    {
        std::string got(std::min(max, deviceHas()), '\0');
        got.resize(line_.Read(MemoryLine::Side::Device, &got[0], got.size()));
        return got;
    }
    size_t deviceHas() { return line_.Available(MemoryLine::Side::Device); }
    DWORD now() { return ticks_.Now(); }

    MemoryLine line_;
    MemoryComApi api_;
    FakeTicks ticks_;
    TempDir dir_;
};

class YModemTest : public LinkTest {
protected:
    YModemTest() : LinkTest(8) { EXPECT_EQ(ym_.Open(), 0); }

    // Calls Process until the engine stops or `until` holds, 1 ms per call; the last result (positive: still running).
    int run(const std::function<bool()>& until, DWORD maxMs = 600000)
    {
        const DWORD start = ticks_.Now();
        int result = 1;
        while (ticks_.Now() - start < maxMs && !(until && until())) {
            if ((result = ym_.Process()) <= 0) break;
            ++ticks_.now_;
        }
        return result;
    }
    int runToEnd() { return run(nullptr); }
    // Runs until the device end holds `count` bytes, and takes them.
    std::string awaitBytes(size_t count)
    {
        run([&] { return deviceHas() >= count; });
        return deviceReads(count);
    }
    // The device sends `bytes`; what the engine sends in the next 1.5 s of its clock (or until it stops).
    std::string say(const std::string& bytes, DWORD ms = 1500)
    {
        deviceSends(bytes);
        run(nullptr, ms);
        return deviceReads();
    }
    // From now on the device answers each CAN with a CAN; what the engine sends goes to heard_.
    void answerCans()
    {
        heard_.clear();
        firstCanAt_ = 0;
        ticks_.onSleep_ = [this] {
            const std::string got = deviceReads();
            heard_ += got;
            if (got.find(CAN) == std::string::npos) return;
            if (!firstCanAt_) firstCanAt_ = now();
            deviceSends(S(CAN));
        };
    }
    void expectStopped(int result)
    {
        EXPECT_EQ(ym_.GetParameter(CYModem::PAR_STATE), 0);
        EXPECT_EQ(ym_.LastResult(), result);
    }

    CYModem ym_{7};
    std::string heard_;
    DWORD firstCanAt_ = 0;
};

// A note-taker object on COM3 and a device answering by script: when the bytes since its last answer end with the next
// rule's trigger, that rule's reply is sent. Everything the PC sent is kept for the test.
class NotetakerTest : public LinkTest {
public:  // every member: the rules are chained from the test's body
    static constexpr DWORD kTimeout = 100;

    NotetakerTest() : LinkTest(3)
    {
        ticks_.onSleep_ = [this] { hear(); };
    }
    std::unique_ptr<CNotetaker> make(int port = 2, DWORD retries = 5)
    {
        return std::make_unique<CNotetaker>(port, kTimeout, retries, 3);
    }
    NotetakerTest& On(const std::string& trigger, const std::string& reply)
    {
        rules_.push_back({trigger, reply});
        return *this;
    }
    void hear()
    {
        for (char c : deviceReads()) {
            received_ += c;
            pending_ += c;
            const size_t n = rules_.empty() ? 0 : rules_.front().first.size();
            if (!n || pending_.size() < n || pending_.compare(pending_.size() - n, n, rules_.front().first)) continue;
            deviceSends(rules_.front().second);
            rules_.pop_front();
            pending_.clear();
        }
    }
    // Everything the PC has sent by now; cleared with the line and the rules left.
    std::string received() { return hear(), received_; }
    void clear()
    {
        hear();
        line_.Purge(MemoryLine::Side::Device, true, true);
        received_.clear();
        pending_.clear();
        rules_.clear();
    }
    static std::string Cmd(char letter) { return std::string("\x05\x04", 2) + letter; }

    // Identifies the device as the given firmware, leaving the port open.
    void identify(CNotetaker& nt, WORD firmware)
    {
        answerIdentity(firmware);
        ASSERT_EQ(nt.serialOpen(false), 0);
        ASSERT_EQ(nt.FirmwareVersion(), firmware);
        clear();
    }
    // The device's answers when it is asked who it is.
    void answerIdentity(WORD firmware)
    {
        On(Cmd('W'), Bytes({5, firmware == CNotetaker::FW_LEGACY ? 3 : 4}));
        if (firmware == CNotetaker::FW_VARDEN) On(Cmd('Y'), Bytes({'Y', 2, 0}));
        else if (firmware != CNotetaker::FW_LEGACY) On(Cmd('Y'), Ident2Reply("Abc", firmware));
    }
    static std::string Ident2Reply(const std::string& name, WORD firmware)
    {
        const std::string payload =
            Bytes({7}) + name + std::string(10 - name.size(), '\0') + Bytes({firmware & 0xFF, firmware >> 8, 0});
        return Bytes({'Y', static_cast<int>(payload.size() + 2), 0}) + payload;
    }

    std::deque<std::pair<std::string, std::string>> rules_;
    std::string received_, pending_;
};

}  // namespace link_test

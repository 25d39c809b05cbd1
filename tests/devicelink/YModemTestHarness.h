#pragma once
// What the engine's tests share: the engine on COM8 over an in-memory line,
// a clock that moves only when the test or the engine says so, and the
// device end of the line spoken byte by byte from the test.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "devicelink/CYModem.h"
#include "foundation/Ticks.h"
#include "tests/support/MemoryComApi.h"
#include "tests/support/TempDir.h"

namespace ymodem_test {

constexpr char SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

class FakeTicks final : public ITickSource {
public:
    FakeTicks() : previous_(SetTickSource(this)) {}
    ~FakeTicks() override { SetTickSource(previous_); }
    DWORD Now() override { return now_; }
    // The device gets its turn whenever the engine sleeps, as it would on a
    // real line: the engine's cancel waits inside one Process call.
    void Sleep(DWORD ms) override
    {
        now_ += ms;
        if (onSleep_) onSleep_();
    }
    void Advance(DWORD ms) { now_ += ms; }
    void OnSleep(std::function<void()> device) { onSleep_ = std::move(device); }

private:
    DWORD now_ = 0x100000;
    std::function<void()> onSleep_;
    ITickSource* previous_;
};

// CRC-16/XMODEM bit by bit, independent of the engine's table.
inline unsigned Crc16(const std::string& data)
{
    unsigned crc = 0;
    for (unsigned char c : data) {
        crc ^= static_cast<unsigned>(c) << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1) & 0xFFFF;
    }
    return crc;
}

inline unsigned Sum8(const std::string& data)
{
    unsigned sum = 0;
    for (unsigned char c : data) sum += c;
    return sum & 0xFF;
}

// One block as a sender puts it on the wire; `data` is padded to the block size.
inline std::string Frame(unsigned number, std::string data, size_t size = 128, bool crc = true)
{
    data.resize(size, '\x1A');
    std::string frame{size == 1024 ? STX : SOH, static_cast<char>(number), static_cast<char>(255 - number)};
    frame += data;
    if (crc) {
        const unsigned c = Crc16(data);
        frame += static_cast<char>(c >> 8);
        frame += static_cast<char>(c & 0xFF);
    } else {
        frame += static_cast<char>(Sum8(data));
    }
    return frame;
}

inline std::string Block0(const std::string& name, const std::string& sizeField)
{
    std::string data = name;
    data += '\0';
    data += sizeField;
    data.resize(128, '\0');
    return Frame(0, data);
}

inline std::string Pattern(size_t size, unsigned seed = 7)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed + i / 251) & 0xFF);
    return bytes;
}

// A block the engine sent, taken apart.
struct SentBlock {
    char header = 0;
    unsigned number = 0, complement = 0;
    std::string data, check;
};

class YModemTest : public ::testing::Test {
protected:
    YModemTest()
    {
        api_.Attach(8, line_);
        EXPECT_EQ(ym_.Open(), 0);
    }

    void deviceSends(const std::string& bytes) { line_.Write(MemoryLine::Side::Device, bytes.data(), bytes.size()); }
    std::string deviceReads(size_t max = 1 << 20)
    {
        std::string got(max, '\0');
        got.resize(line_.Read(MemoryLine::Side::Device, &got[0], max));
        return got;
    }
    size_t deviceHas() { return line_.Available(MemoryLine::Side::Device); }

    // Calls Process until the engine stops or `until` holds, moving the clock
    // 1 ms per call. Returns the last Process result (positive: still running).
    int run(const std::function<bool()>& until, DWORD maxMs = 600000)
    {
        const DWORD start = ticks_.Now();
        int result = 1;
        while (ticks_.Now() - start < maxMs && !(until && until())) {
            result = ym_.Process();
            if (result <= 0) break;
            ticks_.Advance(1);
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
    // The device answers and waits for the engine's next `count` bytes.
    std::string exchange(const std::string& send, size_t count)
    {
        deviceSends(send);
        return awaitBytes(count);
    }
    // Takes the next block (or single control byte) the engine sends.
    SentBlock awaitBlock(bool crc = true)
    {
        SentBlock block;
        const std::string head = awaitBytes(1);
        if (head.empty()) return block;
        block.header = head[0];
        if (block.header != SOH && block.header != STX) return block;
        const size_t size = block.header == STX ? 1024 : 128;
        const std::string rest = awaitBytes(2 + size + (crc ? 2 : 1));
        if (rest.size() < 2 + size) return block;
        block.number = static_cast<unsigned char>(rest[0]);
        block.complement = static_cast<unsigned char>(rest[1]);
        block.data = rest.substr(2, size);
        block.check = rest.substr(2 + size);
        return block;
    }
    // From now on the device answers each CAN with a CAN; what the engine
    // sends meanwhile is collected in heard_, and the time of the first CAN.
    void answerCans()
    {
        ticks_.OnSleep([this] {
            if (!deviceHas()) return;
            const std::string got = deviceReads();
            heard_ += got;
            if (got.find(CAN) == std::string::npos) return;
            if (!firstCanAt_) firstCanAt_ = now();
            deviceSends(std::string{CAN});
        });
    }
    DWORD now() { return ticks_.Now(); }
    std::string target() const { return dir_.file("target.bin"); }

    MemoryLine line_;
    MemoryComApi api_;
    FakeTicks ticks_;
    TempDir dir_;
    CYModem ym_{7};
    std::string heard_;
    DWORD firstCanAt_ = 0;
};

inline std::string CrcBytes(const std::string& data)
{
    const unsigned c = Crc16(data);
    return std::string{static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
}

}  // namespace ymodem_test

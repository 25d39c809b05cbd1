#include "sim/SimYModem.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {
constexpr uint8_t kSoh = 0x01, kStx = 0x02, kEot = 0x04, kEnq = 0x05, kAck = 0x06, kNak = 0x15, kCan = 0x18,
                  kCrcStart = 'C';
constexpr uint8_t kPad = 0x1A;
constexpr size_t kShort = 128, kLong = 1024;
constexpr unsigned kByteWaitMs = 1000;  // silence inside a block or before an answer
constexpr unsigned kNextStepWaitMs = 10000;
constexpr int kSends = 10;

uint16_t Crc16(const uint8_t* data, size_t count)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

uint8_t Sum8(const uint8_t* data, size_t count)
{
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i) sum += data[i];
    return static_cast<uint8_t>(sum);
}
}  // namespace

SimYModem::SimYModem(SimLink& link) : link_(link), in_(own_) {}
SimYModem::SimYModem(SimLink& link, std::deque<uint8_t>& unread) : link_(link), in_(unread) {}

int SimYModem::readByte(unsigned waitMs)
{
    const auto deadline = Clock::now() + wait(waitMs);
    while (in_.empty()) {
        uint8_t chunk[4096];
        const size_t n = link_.Read(chunk, sizeof chunk);
        in_.insert(in_.end(), chunk, chunk + n);
        if (n) break;
        const auto now = Clock::now();
        if (now >= deadline) return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        link_.WaitForInput(1, static_cast<unsigned>(left));
    }
    const int byte = in_.front();
    in_.pop_front();
    return byte;
}

void SimYModem::write(const uint8_t* data, size_t count) { link_.Write(data, count); }
void SimYModem::writeByte(uint8_t byte) { write(&byte, 1); }

void SimYModem::drain()
{
    in_.clear();
    uint8_t chunk[4096];
    while (link_.Read(chunk, sizeof chunk)) {
    }
}

// ---- device -> PC ----

bool SimYModem::waitForStart(unsigned waitMs)
{
    const auto deadline = Clock::now() + wait(waitMs);
    while (Clock::now() < deadline) {
        const int c = readByte(kByteWaitMs);
        if (c == kCan) {
            writeByte(kCan);
            return false;
        }
        if (c == kCrcStart || c == kNak) {
            crc_ = c == kCrcStart;
            drain();  // repeated start characters are not answers to the first block
            return true;
        }
    }
    return false;
}

// The PC may close its port before its last ACK has left it; once its next
// command starts (ENQ), the closing block has evidently arrived.
bool SimYModem::sendBlock(uint8_t number, const uint8_t* data, size_t size, bool closing)
{
    std::vector<uint8_t> frame{size == kLong ? kStx : kSoh, number, static_cast<uint8_t>(255 - number)};
    frame.insert(frame.end(), data, data + size);
    if (crc_) {
        const uint16_t crc = Crc16(data, size);
        frame.push_back(static_cast<uint8_t>(crc >> 8));
        frame.push_back(static_cast<uint8_t>(crc));
    } else {
        frame.push_back(Sum8(data, size));
    }
    // On a slow line the answer cannot come before the block has gone out.
    const unsigned lineMs = link_.Baud() ? static_cast<unsigned>(frame.size() * 10000 / link_.Baud()) : 0;
    for (int send = 0; send < kSends; ++send) {
        write(frame.data(), frame.size());
        for (;;) {
            const int c = readByte(kByteWaitMs + lineMs);
            if (c == kAck) return true;
            if (c == kCan) {
                writeByte(kCan);
                return false;
            }
            if (closing && c == kEnq) {
                in_.push_front(kEnq);
                return true;
            }
            if (c == kNak || c < 0) break;  // send again
        }
    }
    return false;
}

bool SimYModem::sendEot()
{
    for (int send = 0; send < kSends; ++send) {
        writeByte(kEot);
        const int c = readByte(kByteWaitMs);
        if (c == kAck) return true;
        if (c == kCan) return false;
    }
    return false;
}

// The data blocks, numbered from 1, as the faults asked for allow.
bool SimYModem::sendData(const std::vector<uint8_t>& data)
{
    SimSendFaults none;
    SimSendFaults& f = faults_ ? *faults_ : none;
    uint8_t block[kLong];
    uint8_t number = 1;
    for (size_t offset = 0; offset < data.size(); ++number) {
        const size_t blockSize = data.size() - offset >= kLong ? kLong : kShort;
        const size_t count = std::min(blockSize, data.size() - offset);
        memset(block, kPad, blockSize);
        memcpy(block, data.data() + offset, count);
        offset += count;
        if (f.skipBlock && number == 2) continue;
        if (f.blocksLeft == 0) {
            f.vanished = true;
            return false;
        }
        if (f.blocksLeft > 0) --f.blocksLeft;
        if (f.blockDelayMs) std::this_thread::sleep_for(wait(f.blockDelayMs));
        if (!sendBlock(number, block, blockSize)) return false;
    }
    return true;
}

bool SimYModem::Send(const std::string& name, const std::vector<uint8_t>& data, unsigned timeoutMs)
{
    if (!waitForStart(timeoutMs)) return false;
    uint8_t block[kLong] = {};
    if (faults_ && faults_->emptyBatch) return sendBlock(0, block, kShort, true);
    const std::string size = faults_ && faults_->noSize ? std::string() : std::to_string(data.size());
    const size_t nameLength = std::min(name.size(), kShort - 2 - size.size());
    memcpy(block, name.data(), nameLength);
    memcpy(block + nameLength + 1, size.data(), size.size());
    if (!sendBlock(0, block, kShort) || !waitForStart(kNextStepWaitMs) || !sendData(data)) return false;
    if (!sendEot() || !waitForStart(kNextStepWaitMs)) return false;
    memset(block, 0, kShort);
    return sendBlock(0, block, kShort, true);
}

// ---- PC -> device ----

int SimYModem::waitForHeader(unsigned waitMs, bool pokeWithC)
{
    if (pokeWithC) writeByte(kCrcStart);
    const auto deadline = Clock::now() + wait(waitMs);
    while (Clock::now() < deadline) {
        const int c = readByte(kByteWaitMs);
        if (c == kSoh || c == kStx || c == kEot || c == kCan) return c;
    }
    return -1;
}

SimYModem::Block SimYModem::readBlock(int header, uint8_t& number, std::vector<uint8_t>& payload)
{
    if (header == kEot) return Block::Eot;
    if (header == kCan) return Block::Cancelled;
    const size_t size = header == kStx ? kLong : kShort;
    std::vector<uint8_t> frame(2 + size + 2);
    // One sleep for the whole frame rather than one wake for each byte.
    if (in_.size() < frame.size()) link_.WaitForInput(frame.size() - in_.size(), kByteWaitMs);
    for (uint8_t& b : frame) {
        const int c = readByte(kByteWaitMs);
        if (c < 0) return Block::Silent;
        b = static_cast<uint8_t>(c);
    }
    const uint8_t* data = frame.data() + 2;
    const uint16_t crc = static_cast<uint16_t>(frame[2 + size] << 8 | frame[3 + size]);
    if (frame[0] + frame[1] != 255 || crc != Crc16(data, size)) return Block::Bad;
    number = frame[0];
    payload.assign(data, data + size);
    return Block::Good;
}

bool SimYModem::readFileName(std::string& name, uint32_t& size, bool& known)
{
    const auto deadline = Clock::now() + wait(kNextStepWaitMs);
    while (Clock::now() < deadline) {
        const int header = waitForHeader(kByteWaitMs, true);
        if (header < 0) continue;
        uint8_t number = 0;
        std::vector<uint8_t> payload;
        const Block got = readBlock(header, number, payload);
        if (got == Block::Cancelled) return false;
        if (got == Block::Eot) writeByte(kAck);
        if (got != Block::Good || number != 0) continue;
        payload.push_back(0);
        const char* text = reinterpret_cast<const char*>(payload.data());
        name = text;
        const char* sizeText = text + name.size() + 1;
        known = sizeText < text + payload.size() - 1 && *sizeText;
        size = known ? static_cast<uint32_t>(strtoul(sizeText, nullptr, 10)) : 0;
        writeByte(kAck);
        return true;
    }
    return false;
}

bool SimYModem::Receive(std::string& name, std::vector<uint8_t>& data, unsigned timeoutMs)
{
    name.clear();
    data.clear();
    uint32_t size = 0;
    bool known = false;
    const auto deadline = Clock::now() + wait(timeoutMs);
    bool started = false;
    while (!started && Clock::now() < deadline) started = readFileName(name, size, known);
    if (!started || name.empty()) return false;

    uint8_t expected = 1;
    int failures = 0;
    writeByte(kCrcStart);
    for (;;) {
        const int header = waitForHeader(kNextStepWaitMs, false);
        if (header < 0) return false;
        uint8_t number = 0;
        std::vector<uint8_t> payload;
        const Block got = readBlock(header, number, payload);
        if (got == Block::Eot) break;
        if (got == Block::Cancelled) return false;
        if (got != Block::Good) {
            if (++failures > kSends) return false;
            drain();
            writeByte(kNak);
            continue;
        }
        if (number == expected) {
            data.insert(data.end(), payload.begin(), payload.end());
            ++expected;
        } else if (number != static_cast<uint8_t>(expected - 1)) {
            const uint8_t cancel[] = {kCan, kCan};
            write(cancel, sizeof cancel);
            return false;
        }
        writeByte(kAck);  // a repeated block (our ACK was lost) is acknowledged and dropped
    }
    writeByte(kAck);
    if (known && data.size() > size) data.resize(size);

    // The closing empty block 0; a further file is refused.
    std::string next;
    uint32_t ignoredSize = 0;
    bool ignoredKnown = false;
    if (!readFileName(next, ignoredSize, ignoredKnown)) return false;
    if (!next.empty()) {
        const uint8_t cancel[] = {kCan, kCan};
        write(cancel, sizeof cancel);
    }
    return true;
}

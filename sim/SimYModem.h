#pragma once
// The stand-in note-taker's side of a YModem transfer: sends one device file
// to the PC (and closes the batch), or takes one file batch from the PC.
// Blocks until done. timeoutMs bounds the wait for the PC to start; once
// started, a silence of about ten seconds ends the transfer.
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/SimLink.h"

// Faults of the device's sending side, on request.
struct SimSendFaults {
    bool noSize = false;              // block 0 without its size field
    bool skipBlock = false;           // block 2 is left out: 1, then 3
    int blocksLeft = -1;              // data blocks to send before falling silent for good (negative: never)
    unsigned blockDelayMs = 0;        // a pause before each data block
    bool vanished = false;            // set once blocksLeft ran out
    bool silentAfterCommand = false;  // the send command acknowledged, then silent for good: no block 0
    bool emptyBatch = false;          // the batch closed at once (an empty block 0) instead of the file
};

class SimYModem {
public:
    explicit SimYModem(SimLink& link);
    // Reads what the device has already taken off the line first, and leaves
    // there whatever arrived after the transfer (the PC's next command).
    SimYModem(SimLink& link, std::deque<uint8_t>& unread);
    // Divides every wait, for soak runs on a clock that runs as fast.
    void SetTimeScale(unsigned scale) { timeScale_ = scale ? scale : 1; }
    void SetSendFaults(SimSendFaults* faults) { faults_ = faults; }

    bool Send(const std::string& name, const std::vector<uint8_t>& data, unsigned timeoutMs);  // device -> PC
    bool Receive(std::string& name, std::vector<uint8_t>& data, unsigned timeoutMs);           // PC -> device

private:
    using Clock = std::chrono::steady_clock;
    enum class Block { Good, Bad, Eot, Cancelled, Silent };

    Clock::duration wait(unsigned ms) const { return std::chrono::microseconds(ms * 1000ull / timeScale_); }
    int readByte(unsigned waitMs);  // -1 when nothing came in time
    void write(const uint8_t* data, size_t count);
    void writeByte(uint8_t byte);
    void drain();

    // Sending.
    bool waitForStart(unsigned waitMs);
    bool sendBlock(uint8_t number, const uint8_t* data, size_t size, bool closing = false);
    bool sendEot();
    bool sendData(const std::vector<uint8_t>& data);

    // Receiving.
    int waitForHeader(unsigned waitMs, bool pokeWithC);
    Block readBlock(int header, uint8_t& number, std::vector<uint8_t>& payload);
    bool readFileName(std::string& name, uint32_t& size, bool& known);

    SimLink& link_;
    std::deque<uint8_t> own_;
    std::deque<uint8_t>& in_;
    bool crc_ = true;
    unsigned timeScale_ = 1;
    SimSendFaults* faults_ = nullptr;
};

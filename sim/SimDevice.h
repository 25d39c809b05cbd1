#pragma once
// The stand-in note-taker: answers the PC's framed commands over a SimLink
// at one baud rate, as one model and firmware generation, serving a
// SimStore. Runs on its own thread (Start/Stop) or is stepped by Poll.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimLink.h"
#include "sim/SimStore.h"
#include "sim/SimYModem.h"

struct SimConfig {
    enum Generation { LEGACY, VARDEN, IDENT2 };
    uint8_t model = 5;
    Generation generation = IDENT2;
    uint8_t major = 1, minor = 2;  // IDENT2 only
    uint32_t baud = 115200;
    std::string root;
    bool trace = false;  // one line per command and transfer on stdout
};

// Misbehaviour on request, for tests of the PC side.
struct SimFaults {
    int repeatRequests = 0;  // answer this many commands with "?" instead
    bool silent = false;     // hear nothing, say nothing
    unsigned lateMs = 0;     // wait this long before every reply
    int garbleReplies = 0;   // in this many replies, flip the byte at garbleOffset
    size_t garbleOffset = 0;
    int dropAfterBytes = -1;  // cut the next reply after this many bytes, then go silent
    std::string emptyOnce;    // list this folder, as the cable names it ("notes"), as empty once
    std::string shortOnce;    // keep the next received file of this name one byte short (a store that filled up)
    SimSendFaults send;       // in the files the device sends
};

// A listing served as given instead of from the store, from then on: the
// count reply's bytes, then one record (of any length) per "C".
struct SimRawListing {
    std::vector<uint8_t> count;
    std::vector<std::vector<uint8_t>> records;
};

class SimDevice {
public:
    SimDevice(SimLink& link, const SimConfig& config);
    ~SimDevice();
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    void Start();
    void Stop();
    bool Poll();  // handles what has arrived; false when there was nothing

    void SetFaults(const SimFaults& faults);
    void SetRawListing(const SimRawListing& listing);

    // What the PC has shown on the display, and how often each command came.
    std::string Display();
    int CommandCount(char letter);
    static const char* ModelName(uint8_t model);

private:
    enum class State { IDLE, ENQ, COMMAND, ARGUMENT, ARGUMENT_NUL, PATHS };

    void onByte(uint8_t byte);
    void hearWhileSilent(const uint8_t* bytes, size_t count);
    void onCommand(char letter);
    void execute();
    void reply(const std::vector<uint8_t>& bytes);
    void replyStatus(int16_t status);
    void replyIdent2();
    void startListing(const std::string& folder);
    void sendRecord(bool again);
    void receiveFile(const std::string& argument);
    std::string receivingFolder(const std::string& argument) const;
    void sendFile(const std::string& path);
    bool knows(char letter) const;
    void resetParser();
    void trace(const char* format, ...);

    SimLink& link_;
    SimConfig config_;
    SimStore store_;
    std::mutex mutex_;
    SimFaults faults_;
    std::deque<uint8_t> unread_;  // taken off the line, not yet handled
    bool hasRawListing_ = false;
    SimRawListing raw_;
    std::string display_;
    int counts_[26] = {};

    State state_ = State::IDLE;
    char command_ = 0;
    std::string argument_, argument2_;
    int pathsSeen_ = 0;
    unsigned lastByteTick_ = 0;
    unsigned strayBytes_ = 0;      // bytes heard outside any command, for the trace
    uint8_t silentHeard_[2] = {};  // the last two bytes heard while silent

    bool listing_ = false;
    std::vector<std::vector<uint8_t>> records_;
    int cursor_ = -1;

    std::atomic<bool> running_{false};
    std::thread thread_;
};

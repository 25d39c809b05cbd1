#include "sim/SimDevice.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t ENQ = 0x05, EOT = 0x04, CR = 0x0D, ACK = 0x06, NAK = 0x15, CAN = 0x18;
constexpr uint8_t kLegacyCode = 3, kVardenCode = 4;
constexpr size_t kMaxArgument = 300;
constexpr unsigned kStallMs = 2000;   // a command whose argument stops coming is dropped
constexpr unsigned kIdleWaitMs = 10;  // bounds how long Stop waits for the loop
constexpr unsigned kTransferStartMs = 10000;
constexpr size_t kNameField = 10;

const char* const kModelNames[] = {"No device", "Corvan", "Tesk",  "Lirra",  "Lirrax",  "Corvanx",
                                   "Lirrat",    "Tarnel", "Mavel", "Mavelx", "Corvanm", "Teskm"};

bool HasArgument(char letter) { return strchr("FRSDPM", letter) != nullptr; }

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

const char* SimDevice::ModelName(uint8_t model) { return model <= 11 ? kModelNames[model] : "Unknown"; }

SimDevice::SimDevice(SimLink& link, const SimConfig& config) : link_(link), config_(config), store_(config.root)
{
    link_.SetBaud(config_.baud);
}

SimDevice::~SimDevice() { Stop(); }

void SimDevice::Start()
{
    if (running_.exchange(true)) return;
    thread_ = std::thread([this] {
        while (running_)
            if (!Poll()) link_.WaitForInput(1, kIdleWaitMs);
    });
}

void SimDevice::Stop()
{
    running_ = false;
    if (thread_.joinable()) thread_.join();
}

void SimDevice::SetFaults(const SimFaults& faults)
{
    std::lock_guard<std::mutex> guard(mutex_);
    faults_ = faults;
}

void SimDevice::SetRawListing(const SimRawListing& listing)
{
    std::lock_guard<std::mutex> guard(mutex_);
    raw_ = listing;
    hasRawListing_ = true;
}

std::string SimDevice::Display()
{
    std::lock_guard<std::mutex> guard(mutex_);
    return display_;
}

int SimDevice::CommandCount(char letter)
{
    std::lock_guard<std::mutex> guard(mutex_);
    return letter >= 'A' && letter <= 'Z' ? counts_[letter - 'A'] : 0;
}

bool SimDevice::Poll()
{
    std::lock_guard<std::mutex> guard(mutex_);
    uint8_t bytes[512];
    const size_t got = link_.Read(bytes, sizeof bytes);
    const unsigned now = GetTickCount();
    if (got == 0) {
        if (state_ != State::IDLE && now - lastByteTick_ > kStallMs) {
            trace("command '%c' stalled, dropped", command_);
            resetParser();
        }
        return false;
    }
    lastByteTick_ = now;
    if (faults_.silent) {
        hearWhileSilent(bytes, got);
        return true;
    }
    unread_.insert(unread_.end(), bytes, bytes + got);
    while (!unread_.empty()) {
        const uint8_t byte = unread_.front();
        unread_.pop_front();
        onByte(byte);
    }
    return true;
}

// A silent device still shows in its trace which commands it let pass.
void SimDevice::hearWhileSilent(const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (silentHeard_[0] == ENQ && silentHeard_[1] == EOT) trace("command '%c' unanswered", bytes[i]);
        silentHeard_[0] = silentHeard_[1];
        silentHeard_[1] = bytes[i];
    }
}

void SimDevice::trace(const char* format, ...)
{
    if (!config_.trace) return;
    va_list args;
    va_start(args, format);
    printf("[%10lu] ", GetTickCount());
    vprintf(format, args);
    putchar('\n');
    fflush(stdout);
    va_end(args);
}

void SimDevice::resetParser()
{
    state_ = State::IDLE;
    argument_.clear();
    argument2_.clear();
    pathsSeen_ = 0;
}

void SimDevice::onByte(uint8_t byte)
{
    switch (state_) {
    case State::IDLE:
        if (byte == ENQ) state_ = State::ENQ;
        else if (byte == 'X') listing_ = false;
        else if (listing_ && (byte == 'C' || byte == 'R')) sendRecord(byte == 'R');
        else ++strayBytes_;
        break;
    case State::ENQ:
        state_ = State::IDLE;
        if (byte == EOT) state_ = State::COMMAND;
        else onByte(byte);
        break;
    case State::COMMAND: onCommand(static_cast<char>(byte)); break;
    case State::ARGUMENT:
        if (byte == CR) {
            if (command_ == 'F') execute();
            else state_ = State::ARGUMENT_NUL;
        } else if (argument_.size() < kMaxArgument) {
            argument_ += static_cast<char>(byte);
        } else {
            resetParser();
        }
        break;
    case State::ARGUMENT_NUL: execute(); break;
    case State::PATHS:
        if (byte == 0) {
            if (++pathsSeen_ == 2) execute();
        } else if ((pathsSeen_ ? argument2_ : argument_).size() < kMaxArgument) {
            (pathsSeen_ ? argument2_ : argument_) += static_cast<char>(byte);
        } else {
            resetParser();
        }
        break;
    }
}

void SimDevice::onCommand(char letter)
{
    resetParser();
    listing_ = false;
    if (!strchr("WYFRSDPMNC", letter) || letter == 0) {
        reply({'?'});
        return;
    }
    command_ = letter;
    ++counts_[letter - 'A'];
    if (HasArgument(letter)) state_ = State::ARGUMENT;
    else if (letter == 'N') state_ = State::PATHS;
    else execute();
}

bool SimDevice::knows(char letter) const
{
    if (strchr("WFRS", letter)) return true;
    if (config_.generation == SimConfig::LEGACY) return false;
    if (letter != 'N') return true;
    return config_.generation == SimConfig::IDENT2 && (config_.major << 8 | config_.minor) >= 0x0102;
}

void SimDevice::execute()
{
    const std::string argument = argument_, argument2 = argument2_;
    resetParser();
    if (strayBytes_) trace("%u stray bytes before this command", strayBytes_);
    strayBytes_ = 0;
    trace("command '%c' %s%s%s", command_, argument.c_str(), argument2.empty() ? "" : " -> ", argument2.c_str());
    if (faults_.repeatRequests > 0) {
        --faults_.repeatRequests;
        reply({'?'});
        return;
    }
    if (!knows(command_)) {
        reply({'?'});
        return;
    }
    switch (command_) {
    case 'W': reply({config_.model, config_.generation == SimConfig::LEGACY ? kLegacyCode : kVardenCode}); break;
    case 'Y': replyIdent2(); break;
    case 'F': startListing(argument); break;
    case 'R': receiveFile(argument); break;
    case 'S': sendFile(argument); break;
    case 'D': replyStatus(store_.Delete(argument)); break;
    case 'P':
        display_ = argument;
        replyStatus(SimStore::ST_OK);
        break;
    case 'M': replyStatus(store_.MakeFolder(argument)); break;
    case 'N': replyStatus(store_.Rename(argument, argument2)); break;
    default: replyStatus(SimStore::ST_OK); break;  // 'C': nothing to check in this store
    }
}

void SimDevice::reply(const std::vector<uint8_t>& bytes)
{
    std::vector<uint8_t> out = bytes;
    if (faults_.lateMs) std::this_thread::sleep_for(std::chrono::milliseconds(faults_.lateMs));
    if (faults_.garbleReplies > 0 && faults_.garbleOffset < out.size()) {
        --faults_.garbleReplies;
        out[faults_.garbleOffset] ^= 0xFF;
    }
    if (faults_.dropAfterBytes >= 0) {
        out.resize(std::min(out.size(), static_cast<size_t>(faults_.dropAfterBytes)));
        faults_.dropAfterBytes = -1;
        faults_.silent = true;
    }
    if (!out.empty()) link_.Write(out.data(), out.size());
}

void SimDevice::replyStatus(int16_t status)
{
    const uint16_t word = static_cast<uint16_t>(status);
    reply({static_cast<uint8_t>(command_), static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)});
}

// VARDEN firmware has no identity record to give: its size says "empty".
void SimDevice::replyIdent2()
{
    if (config_.generation != SimConfig::IDENT2) {
        reply({'Y', 2, 0});
        return;
    }
    std::vector<uint8_t> payload;
    payload.push_back(config_.model);
    const char* name = ModelName(config_.model);
    for (size_t i = 0; i < kNameField; ++i) payload.push_back(i < strlen(name) ? static_cast<uint8_t>(name[i]) : 0);
    payload.push_back(config_.minor);
    payload.push_back(config_.major);
    payload.push_back(0);  // a byte the PC does not interpret
    const uint16_t size = static_cast<uint16_t>(payload.size() + 2);
    std::vector<uint8_t> out = {'Y', static_cast<uint8_t>(size & 0xFF), static_cast<uint8_t>(size >> 8)};
    out.insert(out.end(), payload.begin(), payload.end());
    reply(out);
}

void SimDevice::startListing(const std::string& folder)
{
    std::vector<uint8_t> count;
    if (hasRawListing_) {
        records_ = raw_.records;
        count = raw_.count;
    } else {
        records_ = store_.List(folder);
        if (!faults_.emptyOnce.empty() && folder == faults_.emptyOnce) {
            records_.clear();
            faults_.emptyOnce.clear();
        }
        count = {static_cast<uint8_t>(records_.size() & 0xFF), static_cast<uint8_t>(records_.size() >> 8)};
    }
    listing_ = true;
    cursor_ = -1;
    reply(count);
}

void SimDevice::sendRecord(bool again)
{
    if (!again) ++cursor_;
    if (cursor_ >= 0 && cursor_ < static_cast<int>(records_.size())) reply(records_[cursor_]);
}

// DCMD_TX: the PC sends one file into the folder named by the argument.
// DCMD_TX names the folder to receive into, or (a restore) the file itself:
// then the file lands in the folder that holds it.
std::string SimDevice::receivingFolder(const std::string& argument) const
{
    const std::string resolved = store_.Resolve(argument);
    const DWORD a = resolved.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(resolved.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return argument;
    std::string parent = argument;
    while (!parent.empty() && parent.back() == '\\') parent.pop_back();
    const size_t slash = parent.find_last_of('\\');
    if (slash == std::string::npos) return std::string();
    parent.resize(slash);
    const std::string holder = store_.Resolve(parent);
    const DWORD b = holder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(holder.c_str());
    return b != INVALID_FILE_ATTRIBUTES && (b & FILE_ATTRIBUTE_DIRECTORY) ? parent : std::string();
}

void SimDevice::receiveFile(const std::string& argument)
{
    const std::string folder = receivingFolder(argument);
    if (folder.empty()) {
        reply({NAK});
        return;
    }
    reply({ENQ});
    SimYModem ymodem(link_, unread_);
    std::string name;
    std::vector<uint8_t> data;
    if (ymodem.Receive(name, data, kTransferStartMs)) {
        if (!data.empty() && BaseName(name) == faults_.shortOnce) {
            data.pop_back();
            faults_.shortOnce.clear();
        }
        store_.WriteFile(folder, BaseName(name), data);
        trace("received %s, %u bytes", name.c_str(), static_cast<unsigned>(data.size()));
    } else {
        trace("receive failed");
    }
}

// DCMD_RX: the device sends the file named by the argument; a missing file
// is refused with CAN as soon as the PC asks for the first block.
void SimDevice::sendFile(const std::string& path)
{
    std::vector<uint8_t> data;
    reply({ACK});
    if (faults_.send.silentAfterCommand) {
        trace("fallen silent after the command");
        faults_.silent = true;
        return;
    }
    if (store_.ReadFile(path, data)) {
        SimYModem ymodem(link_, unread_);
        ymodem.SetSendFaults(&faults_.send);
        const bool sent = ymodem.Send(BaseName(path), data, kTransferStartMs);
        trace(sent ? "sent %s, %u bytes" : "send of %s (%u bytes) failed", path.c_str(),
              static_cast<unsigned>(data.size()));
        if (faults_.send.vanished) {
            trace("fallen silent");
            faults_.silent = true;
        }
        return;
    }
    const DWORD start = GetTickCount();
    uint8_t byte = 0;
    while (GetTickCount() - start < kTransferStartMs) {
        if (link_.Read(&byte, 1) == 1 && byte == 'C') {
            const uint8_t cancel[] = {CAN, CAN};
            link_.Write(cancel, sizeof cancel);
            return;
        }
        link_.WaitForInput(1, 1);
    }
}

// Soak: hundreds of transfers both ways between the engine and the stand-in
// note-taker's YModem over an in-memory line that corrupts, drops and holds
// back bytes, turns bytes into CAN, and goes dead for a while in the middle of
// a file. Transfers may fail, but never silently: no file may arrive wrong
// while both ends call it a success, no failed receive may leave a damaged
// file on the PC, and no transfer may outlive its deadlines. Wrong files are
// counted on each side apart.
// The faults come from a seed, printed with the counts; PELLOR_SOAK_SEED=<n>
// runs another one.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/CYModem.h"
#include "foundation/Ticks.h"
#include "sim/SimYModem.h"
#include "tests/support/MemoryComApi.h"
#include "tests/support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using Side = MemoryLine::Side;

constexpr int kCom = 9;
// Four rounds of every fault kind, noise rate and direction (30 plans).
constexpr unsigned kTransfers = 120;
// Both ends run their clocks this many times as fast as real time, so that
// minutes of time-outs pass in seconds with their proportions kept.
constexpr unsigned kTimeScale = 20;
constexpr unsigned kPeerStartMs = 10000;  // how long the stand-in waits for the PC to begin
// A receiver that never saw a block waits for one until the user cancels;
// the soak cancels it this long after the stand-in has given up.
constexpr DWORD kCancelWaitingReceiverMs = 12000;
// The longest an engine may go on after the stand-in has given up: the
// sender's 60 s wait for the start character, or a cancel with its 5 s grace
// and 30 unanswered rounds of the 2 s reply time-out, with room to spare.
constexpr DWORD kHangAfterPeerMs = kCancelWaitingReceiverMs + 5000 + 30 * 2000 + 5000;

// The engine's clock, kTimeScale times as fast as the real one.
class FastTicks final : public ITickSource {
public:
    FastTicks() : start_(Clock::now()), previous_(SetTickSource(this)) {}
    ~FastTicks() override { SetTickSource(previous_); }
    DWORD Now() override
    {
        const auto real = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
        return 0x100000 + static_cast<DWORD>(real * kTimeScale / 1000);
    }
    void Sleep(DWORD ms) override { ::Sleep(ms / kTimeScale); }

private:
    Clock::time_point start_;
    ITickSource* previous_;
};

// A number in [0, 1) fixed by its inputs, so that a byte's fate does not
// depend on how the two threads happened to interleave.
double Chance(uint64_t seed, uint64_t a, uint64_t b, uint64_t c)
{
    uint64_t x = seed ^ (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full) ^ (c * 0x165667B19E3779F9ull);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<double>((x ^ (x >> 31)) >> 11) / 9007199254740992.0;
}

enum class Fault { None, Noise, Stall, Cancel, Cut };

struct Plan {
    unsigned number = 0;
    bool toDevice = false;
    size_t size = 0;
    Fault fault = Fault::None;
    double rate = 0;      // noise: chance of a byte being changed (a fifth of it: dropped)
    uint64_t at = 0;      // stall, CAN, cut: index of the byte in the data's direction
    unsigned holdMs = 0;  // stall, cut: real milliseconds

    std::string name() const
    {
        char text[32];
        snprintf(text, sizeof text, "soak-%03u.bin", number);
        return text;
    }
    std::string kind() const
    {
        static const char* const kNames[] = {"clean line", "noise 1/", "stall", "CAN on the line", "line cut"};
        const std::string name = kNames[static_cast<int>(fault)];
        return fault == Fault::Noise ? name + std::to_string(static_cast<int>(1 / rate + 0.5)) : name;
    }
};

Plan MakePlan(uint64_t seed, unsigned number)
{
    Plan p;
    p.number = number;
    p.toDevice = number % 2 == 0;
    const double sizeChance = Chance(seed, number, 1, 0);
    const size_t sizeLimits[] = {1, 300, 5000, 40000};
    p.size = static_cast<size_t>(Chance(seed, number, 2, 0) * sizeLimits[static_cast<int>(sizeChance * 4)]);
    p.fault = static_cast<Fault>(number / 2 % 5);
    const double rates[] = {1 / 20000.0, 1 / 4000.0, 1 / 1000.0};
    p.rate = rates[number / 10 % 3];
    // Somewhere in the file, or in block 0 and its answers for a short one.
    p.at = static_cast<uint64_t>(Chance(seed, number, 3, 0) * (p.size + 140));
    // A stall of 1 to 8 s and a cut of 0.2 to 5 s, on the engine's clock.
    const double hold = Chance(seed, number, 4, 0);
    const unsigned engineMs =
        p.fault == Fault::Cut ? 200 + static_cast<unsigned>(hold * 4800) : 1000 + static_cast<unsigned>(hold * 7000);
    p.holdMs = engineMs / kTimeScale;
    return p;
}

// What the line does to each byte of one transfer.
class LineFaults {
public:
    LineFaults(uint64_t seed, const Plan& plan) : seed_(seed), plan_(plan) {}

    void operator()(Side from, MemoryLine::ByteFate& fate)
    {
        const uint64_t index = counts_[static_cast<int>(from)]++;
        const bool dataSide = (from == Side::Pc) == plan_.toDevice;
        switch (plan_.fault) {
        case Fault::None: break;
        case Fault::Noise: {
            const double chance = Chance(seed_, plan_.number, 10 + static_cast<int>(from), index);
            if (chance < plan_.rate / 5) fate.drop = true;
            else if (chance < plan_.rate) fate.value ^= static_cast<uint8_t>(1 + chance / plan_.rate * 254);
            break;
        }
        case Fault::Stall:
            if (dataSide && index == plan_.at) fate.delayMs = plan_.holdMs;
            break;
        case Fault::Cancel:
            if (dataSide && (index == plan_.at || index == plan_.at + 1)) fate.value = 0x18;
            break;
        case Fault::Cut:
            if (dataSide && index == plan_.at) cutUntil_ = Clock::now() + std::chrono::milliseconds(plan_.holdMs);
            if (Clock::now() < cutUntil_) fate.drop = true;
            break;
        }
    }

private:
    uint64_t seed_;
    Plan plan_;
    uint64_t counts_[2] = {};
    Clock::time_point cutUntil_{};
};

struct Outcome {
    int result = 0;          // the engine's
    bool identical = false;  // the receiving end holds exactly the file
    bool leftOnPc = false;   // a received file is on the PC
    bool hung = false;
    bool cancelledWaiting = false;
    DWORD ranOnMs = 0;  // engine time from the stand-in's end to the engine's
};

class YModemSoakTest : public ::testing::Test {
protected:
    Outcome run(const Plan& plan, uint64_t seed)
    {
        std::vector<uint8_t> data(plan.size);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(Chance(seed, plan.number, 5, i) * 256);
        const std::string pcFile = dir_.file(plan.name());
        if (plan.toDevice) TempDir::WriteAll(pcFile, std::string(data.begin(), data.end()));

        MemoryLine line;
        api_.Attach(kCom, line);
        MemorySimLink link(line);
        LineFaults faults(seed, plan);
        line.SetHook([&faults](Side from, uint64_t, MemoryLine::ByteFate& fate) { faults(from, fate); });
        CYModem engine(kCom - 1);
        engine.SetParameter(CComPort::PAR_RXQUESIZE, 1200);
        engine.SetParameter(CComPort::PAR_TXQUESIZE, 1200);
        engine.SetParameter(CComPort::PAR_BAUDRATE, 115200);
        engine.SetParameter(CComPort::PAR_FLOWCONTROL, 0);
        EXPECT_EQ(engine.Open(), 0);

        std::atomic<bool> peerDone{false};
        std::string deviceName;
        std::vector<uint8_t> onDevice;
        std::thread device([&] {
            SimYModem sim(link);
            sim.SetTimeScale(kTimeScale);
            if (plan.toDevice) sim.Receive(deviceName, onDevice, kPeerStartMs);
            else sim.Send(plan.name(), data, kPeerStartMs);
            peerDone = true;
        });
        if (plan.toDevice) engine.TxStart(pcFile.c_str());
        else engine.RxStart(pcFile.c_str());

        Outcome out;
        DWORD peerDoneAt = 0;
        while (engine.Process() > 0) {
            if (!peerDone) continue;
            const DWORD now = TickNow();
            if (!peerDoneAt) peerDoneAt = now;
            if (!plan.toDevice && !out.cancelledWaiting && now - peerDoneAt > kCancelWaitingReceiverMs) {
                engine.RequestCancel();
                out.cancelledWaiting = true;
            }
            if (now - peerDoneAt > kHangAfterPeerMs) {
                out.hung = true;
                break;
            }
        }
        if (peerDoneAt) out.ranOnMs = TickNow() - peerDoneAt;
        device.join();
        out.result = engine.LastResult();
        engine.Close();
        line.SetHook(nullptr);

        if (plan.toDevice) {
            out.identical = deviceName == plan.name() && onDevice == data;
        } else {
            out.leftOnPc = TempDir::Exists(pcFile);
            out.identical = out.leftOnPc && TempDir::ReadAll(pcFile) == std::string(data.begin(), data.end());
        }
        DeleteFileA(pcFile.c_str());
        return out;
    }

    FastTicks ticks_;
    MemoryComApi api_;
    TempDir dir_;
};

uint64_t SoakSeed()
{
    const char* given = getenv("PELLOR_SOAK_SEED");
    return given && *given ? strtoull(given, nullptr, 10) : 20261206;
}

TEST_F(YModemSoakTest, TransfersUnderLineFaultsFailLoudlyOrArriveIdentical)
{
    const uint64_t seed = SoakSeed();
    printf("soak seed %llu (PELLOR_SOAK_SEED=%llu repeats this run)\n", static_cast<unsigned long long>(seed),
           static_cast<unsigned long long>(seed));
    unsigned completed = 0, failed = 0, keptWhole = 0, cancelledWaiting = 0;
    unsigned silent = 0, hangs = 0, silentOnPc = 0, partialOnPc = 0;
    DWORD longestRunOnMs = 0;
    std::map<std::string, std::pair<unsigned, unsigned>> byKind;  // completed, failed
    std::map<Fault, std::pair<unsigned, unsigned>> byFault;
    const auto start = Clock::now();
    for (unsigned n = 0; n < kTransfers; ++n) {
        const Plan plan = MakePlan(seed, n);
        const Outcome out = run(plan, seed);
        const char* direction = plan.toDevice ? "PC -> device" : "device -> PC";
        char error[64];
        longestRunOnMs = std::max(longestRunOnMs, out.ranOnMs);
        if (out.hung) {
            ++hangs;
            printf("HANG    %s %s (%zu bytes, %s)\n", direction, plan.name().c_str(), plan.size, plan.kind().c_str());
        }
        if (out.result == 0 && !out.identical) {
            ++(plan.toDevice ? silent : silentOnPc);
            printf("SILENT  %s %s (%zu bytes, %s): reported success, bytes differ\n", direction, plan.name().c_str(),
                   plan.size, plan.kind().c_str());
        } else if (out.result == 0) {
            ++completed;
            ++byKind[plan.kind()].first;
            ++byFault[plan.fault].first;
        } else {
            ++failed;
            ++byKind[plan.kind()].second;
            ++byFault[plan.fault].second;
            keptWhole += out.leftOnPc && out.identical;
            cancelledWaiting += out.cancelledWaiting;
            const bool damaged = out.leftOnPc && !out.identical;
            partialOnPc += damaged;
            printf("%s %s %s (%zu bytes, %s): %s\n", damaged ? "PARTIAL" : "failed ", direction, plan.name().c_str(),
                   plan.size, plan.kind().c_str(), CYModem::ErrorName(out.result, error));
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    printf("\n%u transfers (%u each way) in %.0f s, seed %llu\n", kTransfers, kTransfers / 2, seconds,
           static_cast<unsigned long long>(seed));
    for (const auto& [kind, counts] : byKind)
        printf("  %-16s %3u completed, %3u failed\n", kind.c_str(), counts.first, counts.second);
    printf("completed with identical bytes:          %u\n", completed);
    printf(
        "failed, failure reported, file named:    %u (whole file kept on the PC: %u; receives cancelled while "
        "waiting for a first block: %u)\n",
        failed, keptWhole, cancelledWaiting);
    printf("silent corruptions:                      %u on the device, %u on the PC\n", silent, silentOnPc);
    printf("partial files left on the PC:            %u\n", partialOnPc);
    printf(
        "hangs beyond the deadlines:              %u (longest an engine went on after the stand-in "
        "stopped: %.1f s of its clock)\n",
        hangs, longestRunOnMs / 1000.0);
    EXPECT_EQ(silent, 0u);
    EXPECT_EQ(silentOnPc, 0u);
    EXPECT_EQ(partialOnPc, 0u);
    EXPECT_EQ(hangs, 0u);
    // Every kind of fault must stop some transfers and, but for a cut line
    // (which few survive), let others through: else the run no longer tries
    // both the engine's giving up and its repair.
    for (Fault fault : {Fault::Noise, Fault::Stall, Fault::Cancel, Fault::Cut}) {
        if (fault != Fault::Cut) {
            EXPECT_GT(byFault[fault].first, 0u) << "no transfer completed under fault " << static_cast<int>(fault);
        }
        EXPECT_GT(byFault[fault].second, 0u) << "no transfer failed under fault " << static_cast<int>(fault);
    }
}

}  // namespace

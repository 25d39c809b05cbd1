// Soak: hundreds of transfers both ways between the engine and the stand-in note-taker's YModem over an in-memory line
// with one fault kind per row: noise that changes and drops bytes, a stall, two CANs on the line, a line dead for a
// while in the middle of a file. Transfers may fail, but never silently: no file may arrive wrong while the engine
// calls it a success, no failed receive may leave a damaged file on the PC, and no transfer may outlive its deadlines.
// The faults come from a seed, printed with the counts; PELLOR_SOAK_SEED=<n> runs another one.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "devicelink/CYModem.h"
#include "foundation/Ticks.h"
#include "sim/SimYModem.h"
#include "tests/support/MemoryComApi.h"
#include "tests/support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using Side = MemoryLine::Side;

// Four rounds of every fault kind, noise rate and direction (30 plans), on COM9. Both ends run their clocks 20 times as
// fast as real time: minutes of time-outs pass in seconds with their proportions kept.
constexpr unsigned kCom = 9, kTransfers = 120, kTimeScale = 20;
constexpr unsigned kPeerStartMs = 10000;  // how long the stand-in waits for the PC to begin
// A receiver that never saw a block waits for one until the user cancels; the soak cancels it this long after the
// stand-in has given up.
constexpr DWORD kCancelWaitingReceiverMs = 12000;
// The longest an engine may go on after the stand-in has given up: the sender's 60 s wait for the start character, or a
// cancel with its 5 s grace and 30 unanswered rounds of the 2 s reply time-out, with room to spare.
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

// A number in [0, 1) fixed by its inputs, so that a byte's fate does not depend on how the two threads happened to
// interleave.
double Chance(uint64_t seed, uint64_t a, uint64_t b, uint64_t c)
{
    uint64_t x = seed ^ (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full) ^ (c * 0x165667B19E3779F9ull);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<double>((x ^ (x >> 31)) >> 11) / 9007199254740992.0;
}

enum Fault { kNone, kNoise, kStall, kCancel, kCut };
const char* const kFaultNames[] = {"clean line", "noise", "stall", "CAN on the line", "line cut"};

struct Plan {
    bool toDevice;
    size_t size;
    Fault fault;
    double rate;      // noise: chance of a byte being changed (a fifth of it: dropped)
    uint64_t at;      // stall, CAN, cut: index of the byte in the data's direction
    unsigned holdMs;  // stall, cut: real milliseconds
};

Plan MakePlan(uint64_t seed, unsigned n)
{
    const size_t sizeLimits[] = {1, 300, 5000, 40000};
    const double rates[] = {1 / 20000.0, 1 / 4000.0, 1 / 1000.0}, hold = Chance(seed, n, 4, 0);
    Plan p{n % 2 == 0, 0, static_cast<Fault>(n / 2 % 5), rates[n / 10 % 3]};
    p.size = static_cast<size_t>(Chance(seed, n, 2, 0) * sizeLimits[static_cast<int>(Chance(seed, n, 1, 0) * 4)]);
    // Somewhere in the file, or in block 0 and its answers for a short one; on the engine's clock, a stall of 1 to 8 s
    // and a cut of 0.2 to 5 s.
    p.at = static_cast<uint64_t>(Chance(seed, n, 3, 0) * (p.size + 140));
    p.holdMs = (p.fault == kCut ? 200 + unsigned(hold * 4800) : 1000 + unsigned(hold * 7000)) / kTimeScale;
    return p;
}

TEST(YModemSoakTest, TransfersUnderLineFaultsFailLoudlyOrArriveIdentical)
{
    FastTicks ticks;
    MemoryComApi api;
    TempDir dir;
    const char* given = getenv("PELLOR_SOAK_SEED");
    const uint64_t seed = given && *given ? strtoull(given, nullptr, 10) : 20261206;
    printf("soak seed %llu (PELLOR_SOAK_SEED=<n> runs another)\n", static_cast<unsigned long long>(seed));
    unsigned silent[2] = {}, partialOnPc = 0, hangs = 0, byFault[5][2] = {};  // [fault][completed, failed]
    DWORD longestRunOnMs = 0;  // engine time from the stand-in's end to the engine's
    for (unsigned n = 0; n < kTransfers; ++n) {
        const Plan plan = MakePlan(seed, n);
        std::vector<uint8_t> data(plan.size), onDevice;
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(Chance(seed, n, 5, i) * 256);
        const std::string name = "soak-" + std::to_string(n) + ".bin", pcFile = dir.file(name);
        if (plan.toDevice) TempDir::WriteAll(pcFile, std::string(data.begin(), data.end()));

        MemoryLine line;
        api.Attach(kCom, line);
        MemorySimLink link(line);
        uint64_t counts[2] = {};
        Clock::time_point cutUntil{};
        // What the line does to each byte of the transfer.
        line.SetHook([&](Side from, uint64_t, MemoryLine::ByteFate& fate) {
            const uint64_t index = counts[static_cast<int>(from)]++;
            const bool dataSide = (from == Side::Pc) == plan.toDevice, here = dataSide && index == plan.at;
            const double chance = Chance(seed, n, 10 + static_cast<int>(from), index);
            if (plan.fault == kNoise && chance < plan.rate / 5) fate.drop = true;
            else if (plan.fault == kNoise && chance < plan.rate) fate.value ^= uint8_t(1 + chance / plan.rate * 254);
            if (plan.fault == kStall && here) fate.delayMs = plan.holdMs;
            if (plan.fault == kCancel && dataSide && (index == plan.at || index == plan.at + 1)) fate.value = 0x18;
            if (plan.fault == kCut && here) cutUntil = Clock::now() + std::chrono::milliseconds(plan.holdMs);
            if (plan.fault == kCut && Clock::now() < cutUntil) fate.drop = true;
        });
        CYModem engine(kCom - 1);
        engine.SetParameter(CComPort::PAR_RXQUESIZE, 1200);
        engine.SetParameter(CComPort::PAR_TXQUESIZE, 1200);
        engine.SetParameter(CComPort::PAR_BAUDRATE, 115200);
        engine.SetParameter(CComPort::PAR_FLOWCONTROL, 0);
        EXPECT_EQ(engine.Open(), 0);

        std::atomic<bool> peerDone{false};
        std::string deviceName;
        std::thread device([&] {
            SimYModem sim(link);
            sim.SetTimeScale(kTimeScale);
            if (plan.toDevice) sim.Receive(deviceName, onDevice, kPeerStartMs);
            else sim.Send(name, data, kPeerStartMs);
            peerDone = true;
        });
        if (plan.toDevice) engine.TxStart(pcFile.c_str());
        else engine.RxStart(pcFile.c_str());
        DWORD peerDoneAt = 0;
        bool cancelled = false, hung = false;
        while (engine.Process() > 0) {
            if (!peerDone) continue;
            const DWORD now = TickNow();
            if (!peerDoneAt) peerDoneAt = now;
            if (!plan.toDevice && !cancelled && now - peerDoneAt > kCancelWaitingReceiverMs) {
                engine.RequestCancel();
                cancelled = true;
            }
            if ((hung = now - peerDoneAt > kHangAfterPeerMs)) break;
        }
        if (peerDoneAt) longestRunOnMs = std::max(longestRunOnMs, TickNow() - peerDoneAt);
        device.join();
        const int result = engine.LastResult();
        engine.Close();
        line.SetHook(nullptr);
        const bool leftOnPc = !plan.toDevice && TempDir::Exists(pcFile);
        const bool identical = plan.toDevice
                                   ? deviceName == name && onDevice == data
                                   : leftOnPc && TempDir::ReadAll(pcFile) == std::string(data.begin(), data.end());
        DeleteFileA(pcFile.c_str());

        const bool damaged = result != 0 && leftOnPc && !identical;
        hangs += hung;
        partialOnPc += damaged;
        if (result == 0 && !identical) ++silent[plan.toDevice];
        else ++byFault[plan.fault][result != 0];
        char error[64];
        if (result != 0 || !identical || hung)
            printf("%s%s %s #%u (%zu bytes, %s%s): %s\n", hung ? "HANG " : "",
                   result == 0 && !identical ? "SILENT" : (damaged ? "PARTIAL" : "failed"),
                   plan.toDevice ? "PC -> device" : "device -> PC", n, plan.size, kFaultNames[plan.fault],
                   plan.fault == kNoise ? (" 1/" + std::to_string(int(1 / plan.rate + 0.5))).c_str() : "",
                   CYModem::ErrorName(result, error));
    }
    for (int f = 0; f < 5; ++f)
        printf("  %-16s %3u completed, %3u failed\n", kFaultNames[f], byFault[f][0], byFault[f][1]);
    printf(
        "silent corruptions: %u on the PC, %u on the device; partial files left on the PC: %u; hangs: %u "
        "(longest an engine went on after the stand-in stopped: %.1f s of its clock)\n",
        silent[0], silent[1], partialOnPc, hangs, longestRunOnMs / 1000.0);
    EXPECT_EQ(silent[0] + silent[1] + partialOnPc + hangs, 0u);
    // Every kind of fault must stop some transfers and, but for a cut line (which few survive), let others through:
    // else the run no longer tries both the engine's giving up and its repair.
    for (int f = kNoise; f <= kCut; ++f) {
        if (f != kCut) {
            EXPECT_GT(byFault[f][0], 0u) << "no transfer completed under " << kFaultNames[f];
        }
        EXPECT_GT(byFault[f][1], 0u) << "no transfer failed under " << kFaultNames[f];
    }
}

}  // namespace

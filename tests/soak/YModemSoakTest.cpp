// Transfers both ways between the engine and the stand-in's YModem over an in-memory line, each with one fault kind:
// noise, a stall, two CANs, a line dead for a while. Some may fail, but never silently, leaving a partial file on the
// PC or outliving their deadlines. PELLOR_SOAK_SEED=<n> runs another seed.
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

// Both ends run their clocks 20 times as fast as real time: minutes of time-outs pass in seconds.
constexpr unsigned kCom = 9, kTransfers = 64, kTimeScale = 20, kPeerStartMs = 10000;
// A receiver that never saw a block waits until the user cancels: the soak cancels it 12 s after the stand-in gave up.
// No engine may go on longer than that, a cancel's 5 s of grace and 30 unanswered 2 s rounds, with room to spare.
constexpr DWORD kCancelAfterMs = 12000, kHangAfterMs = kCancelAfterMs + 5000 + 30 * 2000 + 5000;

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

// A number in [0, 1) fixed by its inputs, so that a byte's fate does not depend on how the two threads interleave.
double Chance(uint64_t seed, uint64_t a, uint64_t b, uint64_t c)
{
    uint64_t x = seed ^ (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full) ^ (c * 0x165667B19E3779F9ull);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<double>((x ^ (x >> 31)) >> 11) / 9007199254740992.0;
}

enum Fault { kNoise, kStall, kCancel, kCut };

TEST(YModemSoakTest, TransfersUnderLineFaultsFailLoudlyOrArriveIdentical)
{
    FastTicks ticks;
    MemoryComApi api;
    TempDir dir;
    const char* given = getenv("PELLOR_SOAK_SEED");
    const uint64_t seed = given && *given ? strtoull(given, nullptr, 10) : 20261206;
    printf("soak seed %llu\n", static_cast<unsigned long long>(seed));
    unsigned byFault[4][2] = {};  // [fault][completed, failed]
    for (unsigned n = 0; n < kTransfers; ++n) {
        const bool toDevice = n % 2 == 0;
        const Fault fault = static_cast<Fault>(n / 2 % 4);
        std::vector<uint8_t> data(static_cast<size_t>(Chance(seed, n, 2, 0) * (n / 8 % 2 ? 300 : 40000))), onDevice;
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(Chance(seed, n, 5, i) * 256);
        // Somewhere in the file, or in block 0 and its answers; on the engine's clock a stall of 1 to 8 s, a cut of 0.2
        // to 5 s.
        const uint64_t at = static_cast<uint64_t>(Chance(seed, n, 3, 0) * (data.size() + 140));
        const double hold = Chance(seed, n, 4, 0);
        const unsigned holdMs =
            (fault == kCut ? 200 + unsigned(hold * 4800) : 1000 + unsigned(hold * 7000)) / kTimeScale;
        const std::string name = "soak-" + std::to_string(n) + ".bin", pcFile = dir.file(name);
        if (toDevice) TempDir::WriteAll(pcFile, std::string(data.begin(), data.end()));

        MemoryLine line;
        api.Attach(kCom, line);
        MemorySimLink link(line);
        uint64_t counts[2] = {};
        Clock::time_point cutUntil{};
        line.SetHook([&](Side from, uint64_t, MemoryLine::ByteFate& fate) {
            const uint64_t index = counts[static_cast<int>(from)]++;
            const bool dataSide = (from == Side::Pc) == toDevice, here = dataSide && index == at;
            const double chance = Chance(seed, n, 10 + static_cast<int>(from), index);
            if (fault == kNoise && chance < 1 / 10000.0) fate.drop = true;  // a fifth of the bytes hit
            else if (fault == kNoise && chance < 1 / 2000.0) fate.value ^= uint8_t(1 + chance * 2000 * 254);
            if (fault == kStall && here) fate.delayMs = holdMs;
            if (fault == kCancel && dataSide && (index == at || index == at + 1)) fate.value = 0x18;
            if (fault == kCut && here) cutUntil = Clock::now() + std::chrono::milliseconds(holdMs);
            if (fault == kCut && Clock::now() < cutUntil) fate.drop = true;
        });
        CYModem engine(kCom - 1);
        engine.SetParameter(CComPort::PAR_BAUDRATE, 115200);  // the line paces bytes at the rate
        EXPECT_EQ(engine.Open(), 0);

        std::atomic<bool> peerDone{false};
        std::string deviceName;
        std::thread device([&] {
            SimYModem sim(link);
            sim.SetTimeScale(kTimeScale);
            if (toDevice) sim.Receive(deviceName, onDevice, kPeerStartMs);
            else sim.Send(name, data, kPeerStartMs);
            peerDone = true;
        });
        if (toDevice) engine.TxStart(pcFile.c_str());
        else engine.RxStart(pcFile.c_str());
        DWORD peerDoneAt = 0;
        bool cancelled = false, hung = false;
        while (engine.Process() > 0 && !hung) {
            if (!peerDone) continue;
            if (!peerDoneAt) peerDoneAt = TickNow();
            if (!toDevice && !cancelled && TickNow() - peerDoneAt > kCancelAfterMs) {
                engine.RequestCancel();  // once: each request starts the grace anew
                cancelled = true;
            }
            hung = TickNow() - peerDoneAt > kHangAfterMs;
        }
        device.join();
        const int result = engine.LastResult();
        engine.Close();
        line.SetHook(nullptr);
        const bool leftOnPc = !toDevice && TempDir::Exists(pcFile);
        const bool identical = toDevice ? deviceName == name && onDevice == data
                                        : leftOnPc && TempDir::ReadAll(pcFile) == std::string(data.begin(), data.end());
        DeleteFileA(pcFile.c_str());
        ++byFault[fault][result != 0];
        EXPECT_FALSE(hung) << n;
        // A success brings the file whole; a failure leaves no damaged one on the PC.
        EXPECT_TRUE(identical || (result != 0 && !leftOnPc)) << "silent corruption or a partial file in #" << n;
    }
    // Every fault kind must stop some transfers and, but for a cut line (which few survive), let others through: else
    // the run no longer tries the engine's giving up as well as its repair.
    for (int f = kNoise; f <= kCut; ++f)
        EXPECT_TRUE((byFault[f][0] || f == kCut) && byFault[f][1]) << "fault kind " << f;
}

}  // namespace

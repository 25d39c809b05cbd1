// Transfer benchmark: a file sent and received through the engine against
// the stand-in note-taker's YModem over the in-memory line, first paced at
// 115200 baud (payload rate as a fraction of the line), then unpaced (MB/s).
// Usage: ymodem_bench [bytes [paced]]   (default 1 MiB; "paced": the paced runs alone)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/CYModem.h"
#include "sim/SimYModem.h"
#include "tests/support/MemoryComApi.h"
#include "tests/support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCom = 8;
constexpr int kBaud = 115200;
// The in-memory line spends a whole number of microseconds on each byte
// (86 at 115200 baud), so it runs a little faster than baud/10.
const double kLinePace = 1e6 / (10000000 / kBaud);

struct Timing {
    bool ok = false;
    double dataSeconds = 0;   // first data block to the last one's ACK
    double totalSeconds = 0;  // the whole batch, handshakes included
    double cpuShare = 0;      // the engine thread's CPU time over totalSeconds
};

// User and kernel time of the calling thread, in seconds.
double ThreadCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// Runs the engine to its end, timing the data blocks from the outside.
Timing Drive(CYModem& engine, DWORD size)
{
    Timing t;
    const double cpuStart = ThreadCpuSeconds();
    const auto start = Clock::now();
    auto dataStart = start, dataEnd = start;
    bool inData = false, done = size == 0;
    while (engine.Process() > 0) {
        if (!inData && engine.GetParameter(CYModem::PAR_PACKET) >= 1) {
            inData = true;
            dataStart = Clock::now();
        }
        if (inData && !done && static_cast<DWORD>(engine.GetParameter(CYModem::PAR_BYTESDONE)) >= size) {
            done = true;
            dataEnd = Clock::now();
        }
    }
    t.ok = engine.LastResult() == 0 && done;
    t.dataSeconds = std::chrono::duration<double>(dataEnd - dataStart).count();
    t.totalSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    t.cpuShare = (ThreadCpuSeconds() - cpuStart) / t.totalSeconds;
    return t;
}

class Bench {
public:
    explicit Bench(bool paced) : link_(line_)
    {
        api_.Attach(kCom, line_);
        line_.SetPacing(paced);
        engine_.SetParameter(CComPort::PAR_RXQUESIZE, 1200);
        engine_.SetParameter(CComPort::PAR_TXQUESIZE, 1200);
        engine_.SetParameter(CComPort::PAR_BAUDRATE, kBaud);
        engine_.SetParameter(CComPort::PAR_FLOWCONTROL, 0);
        engine_.Open();
    }

    Timing PcToDevice(const std::string& source, DWORD size)
    {
        std::string name;
        std::vector<uint8_t> got;
        bool simOk = false;
        std::thread device([&] { simOk = SimYModem(link_).Receive(name, got, 10000); });
        engine_.TxStart(source.c_str());
        Timing t = Drive(engine_, size);
        device.join();
        t.ok = t.ok && simOk && got.size() == size;
        return t;
    }

    Timing DeviceToPc(const std::vector<uint8_t>& data, const std::string& target)
    {
        bool simOk = false;
        std::thread device([&] { simOk = SimYModem(link_).Send("bench.bin", data, 10000); });
        engine_.RxStart(target.c_str());
        Timing t = Drive(engine_, static_cast<DWORD>(data.size()));
        device.join();
        t.ok = t.ok && simOk && TempDir::ReadAll(target).size() == data.size();
        return t;
    }

private:
    MemoryLine line_;
    MemoryComApi api_;
    CYModem engine_{kCom - 1};
    MemorySimLink link_;
};

void Report(const char* what, const Timing& t, DWORD size, bool paced)
{
    const double rate = size / t.dataSeconds;
    if (paced)
        printf("%-34s %s  %7.0f B/s = %.4f of the line's pace  (whole batch %.1f s, engine thread %.3f of a core)\n",
               what, t.ok ? "ok  " : "FAIL", rate, rate / kLinePace, t.totalSeconds, t.cpuShare);
    else
        printf("%-34s %s  %7.2f MB/s  (whole batch %.2f s)\n", what, t.ok ? "ok  " : "FAIL", rate / 1e6,
               t.totalSeconds);
}

}  // namespace

int main(int argc, char** argv)
{
    const DWORD size = argc > 1 ? static_cast<DWORD>(strtoul(argv[1], nullptr, 10)) : 1u << 20;
    const bool pacedOnly = argc > 2 && std::string(argv[2]) == "paced";
    TempDir dir;
    std::vector<uint8_t> data(size);
    for (DWORD i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 131 + i / 977);
    const std::string source = dir.file("bench.bin");
    TempDir::WriteAll(source, std::string(data.begin(), data.end()));

    printf("YModem engine against the stand-in note-taker, %lu bytes, 1K blocks, CRC-16\n",
           static_cast<unsigned long>(size));
    printf("line: 115200 baud, paced at %.0f B/s (nominal 11520); ceiling 1024/1029 = %.4f, less the ACK turnaround\n",
           kLinePace, 1024.0 / 1029);
    bool ok = true;
    for (bool paced : {true, false}) {
        if (!paced && pacedOnly) break;
        Bench bench(paced);
        const Timing out = bench.PcToDevice(source, size);
        Report(paced ? "PC -> device, paced 115200 baud" : "PC -> device, unpaced", out, size, paced);
        const Timing in = bench.DeviceToPc(data, dir.file(paced ? "in-paced.bin" : "in.bin"));
        Report(paced ? "device -> PC, paced 115200 baud" : "device -> PC, unpaced", in, size, paced);
        ok = ok && out.ok && in.ok;
    }
    return ok ? 0 : 1;
}

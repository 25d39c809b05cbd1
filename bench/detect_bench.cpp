// Detection time against the number of silent ports before the note-taker's, with and without the port it last
// answered on remembered: silent USB ports COM1..COMn, the note-taker on the next, the default 3000 ms reply time-out.
// The clock is the tests' own, so that a reply time-out costs its 3 s without waiting them out; the identifications
// are counted on the lines.
#include <cstdio>
#include <memory>
#include <string>

#include "devicelink/CNotetaker.h"
#include "foundation/CReg.h"
#include "tests/devicelink/LinkTest.h"

namespace {

using link_test::Identifications;

struct Run {
    DWORD ms;
    size_t identifications;
};

Run Detect(int silent, bool remembered)
{
    link_test::FakeTicks ticks;
    MemoryComApi api;
    std::unique_ptr<MemoryLine[]> lines(new MemoryLine[silent + 1]);
    for (int i = 0; i <= silent; ++i) api.Attach(i + 1, lines[i], PortKind::Usb);
    MemoryLine& device = lines[silent];
    size_t asked = 0;
    ticks.onSleep_ = [&] {
        const size_t heard = Identifications(device);
        if (heard) device.Write(MemoryLine::Side::Device, "\x05\x03", 2);  // model 5, the legacy generation
        asked += heard;
    };
    if (remembered) CReg::WriteLastPort(silent, 115200);
    else RegDeleteKeyValueA(HKEY_CURRENT_USER, CReg::kKey, "Last Port");
    CNotetaker nt(-1, 3000, 5, 3);
    const DWORD start = ticks.Now();
    const int opened = nt.serialOpen(false);
    Run run{ticks.Now() - start, asked};
    for (int i = 0; i < silent; ++i) run.identifications += Identifications(lines[i]);
    if (opened != 0) run.ms = 0xFFFFFFFF;
    return run;
}

}  // namespace

int main()
{
    printf("%-24s %-28s %s\n", "silent ports before it", "nothing remembered", "where it answered last");
    for (int silent = 0; silent <= 6; silent += silent < 2 ? 1 : 2) {
        const Run first = Detect(silent, false), again = Detect(silent, true);
        printf("%-24d %5.1f s, %2zu identifications   %5.1f s, %zu identification%s\n", silent, first.ms / 1000.0,
               first.identifications, again.ms / 1000.0, again.identifications, again.identifications == 1 ? "" : "s");
    }
    RegDeleteKeyValueA(HKEY_CURRENT_USER, CReg::kKey, "Last Port");
    RegDeleteKeyValueA(HKEY_CURRENT_USER, CReg::kKey, "Last Baud");
    return 0;
}

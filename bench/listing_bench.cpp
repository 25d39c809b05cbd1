// What the listings sent for safety cost over the paced line: a paste lists
// its target once before the first file goes, and a copy-out lists each
// file's folder just before its fetch. Ten 1,000-byte files each way,
// against the stand-in over the in-memory line at 115200 baud, in a folder
// of `entries` files; each way timed without the listings (before) and
// with them (after).
// Usage: listing_bench [entries]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "devicelink/CNotetaker.h"
#include "tests/support/SimOnLine.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kFiles = 10;

double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Name(const char* stem, int i) { return stem + std::to_string(i) + ".txt"; }

void Report(const char* what, double before, double after, int listings)
{
    printf("%-22s before %6.2f s, after %6.2f s: %+.2f s (%+.1f%%) for %d listing%s\n", what, before, after,
           after - before, 100 * (after - before) / before, listings, listings == 1 ? "" : "s");
}

}  // namespace

int main(int argc, char** argv)
{
    const int entries = argc > 1 ? atoi(argv[1]) : 20;
    SimOnLine sim(3, {"R", "F", "R\\letters"});
    TempDir pc;
    for (int i = 0; i < entries; ++i) sim.put("R\\letters\\" + Name("old", i), std::string(1000, 'o'));
    for (int i = 0; i < kFiles; ++i) TempDir::WriteAll(pc.file(Name("new", i)), std::string(1000, 'n'));
    sim.line.SetPacing(true);
    CNotetaker nt(2, 500, 5, 3);
    nt.EnumFolder("R:\\letters");  // found and identified before the clock runs
    const double listing = Seconds([&] { nt.EnumFolder("R:\\letters"); });
    std::vector<std::string> taken;
    auto paste = [&](bool listed) {
        if (listed) nt.TakenNames("R:\\letters", taken);
        for (int i = 0; i < kFiles; ++i) nt.FilePut(nullptr, pc.file(Name("new", i)).c_str(), "R:\\letters", 0);
    };
    auto copyOut = [&](bool listed) {  // one copy-out of several files: one job
        std::vector<DeviceEntry> rows(kFiles);
        for (int i = 0; i < kFiles; ++i) {
            rows[i].sName = "R:\\letters\\" + Name("old", i);
            rows[i].sPcName = pc.file(Name("got", i));
            rows[i].nSize = 1000;
        }
        std::vector<int> results;
        if (listed) nt.FilesGetListed(nullptr, rows, results);
        else nt.FilesGet(nullptr, rows);
    };
    printf("one listing of a folder of %d files: %.3f s\n", entries, listing);
    const double pasteAfter = Seconds([&] { paste(true); }), pasteBefore = Seconds([&] { paste(false); });
    Report("paste of 10 files", pasteBefore, pasteAfter, 1);
    const double outBefore = Seconds([&] { copyOut(false); }), outAfter = Seconds([&] { copyOut(true); });
    Report("copy-out of 10 files", outBefore, outAfter, 1);
    return nt.LastResult() < 0 ? 1 : 0;
}

// A 500-entry folder listed over the paced in-memory line at 115200 baud,
// against what the line itself allows.
#include <gtest/gtest.h>

#include <cstdio>

#include "devicelink/CNotetaker.h"
#include "sim/SimDevice.h"
#include "tests/support/MemoryComApi.h"
#include "tests/support/MemorySimLink.h"
#include "tests/support/TempDir.h"

namespace {

bool NoRetry() { return false; }

TEST(SimListingTime, FiveHundredEntriesAtTheLinesPace)
{
    RetryPrompt previous = SetRetryPrompt(NoRetry);
    TempDir store;
    CreateDirectoryA(store.file("R").c_str(), nullptr);
    CreateDirectoryA(store.file("R\\big").c_str(), nullptr);
    for (int i = 0; i < 500; ++i) {
        char name[32];
        snprintf(name, sizeof name, "R\\big\\note%03d.txt", i);
        TempDir::WriteAll(store.file(name), std::string(static_cast<size_t>(i), 'n'));
    }
    MemoryLine line;
    MemoryComApi api;
    api.Attach(3, line);
    MemorySimLink link(line);
    SimConfig config;
    config.root = store.path();
    SimDevice device(link, config);
    device.Start();
    CNotetaker nt(2, 1000, 5, 3);
    ASSERT_EQ(nt.serialOpen(false), 0);
    line.SetPacing(true);

    const DWORD start = GetTickCount();
    ASSERT_EQ(nt.EnumFolder("R:\\big\\"), 500);
    const DWORD took = GetTickCount() - start;
    // Records, count, command and one letter per record, ten bits a byte.
    const double bytes = 500 * 31 + 2 + 3 + 4 + 500 + 1;
    const double limitMs = bytes * 1000 / 11520;
    printf("500 entries listed in %lu ms; the line alone needs %.0f ms\n", took, limitMs);
    EXPECT_GE(took + 20, static_cast<DWORD>(limitMs));
    EXPECT_LT(took, static_cast<DWORD>(4 * limitMs));
    DeviceEntry e;
    ASSERT_EQ(nt.GetEntry(499, e), 0);
    EXPECT_EQ(e.sName, "note499.txt");
    EXPECT_EQ(e.nSize, 499u);
    device.Stop();
    SetRetryPrompt(previous);
}

}  // namespace

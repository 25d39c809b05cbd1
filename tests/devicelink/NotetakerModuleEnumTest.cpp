// The module enumerator behind the port-lock probe; the probe's own tests
// find a driver through it in this process.
#include "devicelink/ModuleEnum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<DWORD> g_snapshots;  // the flags of every module snapshot asked for
HANDLE WINAPI RecordSnapshot(DWORD flags, DWORD)
{
    g_snapshots.push_back(flags);
    return INVALID_HANDLE_VALUE;
}

// Keeps each module's path; answers 7 at the third call, which stops the walk.
int Collect(DWORD, HMODULE module, const char* path, LPARAM value)
{
    auto& seen = *reinterpret_cast<std::vector<std::string>*>(value);
    seen.push_back(std::string(path) + (module ? "" : "<none>"));
    return seen.size() == 3 ? 7 : 0;
}

// A screen reader may be a 32-bit process; its braille driver is one of its
// 32-bit modules, which a 64-bit snapshot leaves out unless asked for. A
// process that cannot be seen is reported once, with no module or path.
TEST(ModuleEnum, SnapshotsTakeThirtyTwoBitModulesAndAnUnseenProcessIsReportedOnceEmpty)
{
    ToolHelp api = ToolHelp::Load();
    ASSERT_TRUE(api.usable());
    api.createSnapshot = RecordSnapshot;
    std::vector<std::string> seen, all, hidden;
    EXPECT_EQ(EnumModules(api, Collect, reinterpret_cast<LPARAM>(&seen), 1234), 0);
    EXPECT_EQ(g_snapshots, std::vector<DWORD>{TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32});
    EXPECT_EQ(seen, std::vector<std::string>{"<none>"});
    EXPECT_EQ(EnumModules(Collect, reinterpret_cast<LPARAM>(&hidden), 0x7FFFFFF0), 0);
    EXPECT_EQ(hidden, std::vector<std::string>{"<none>"});
    EXPECT_EQ(EnumModules(Collect, reinterpret_cast<LPARAM>(&all), kAllProcesses), 7);  // the third call stops it
    EXPECT_EQ(all.size(), 3u);
}

}  // namespace

// The module enumerator behind the port-lock probe.
#include "devicelink/ModuleEnum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Seen {
    std::vector<std::string> paths;
    std::vector<DWORD> processes;
    std::vector<HMODULE> modules;
    int stopAt = -1;  // answer non-zero at this call
};

int Collect(DWORD processId, HMODULE module, const char* path, LPARAM value)
{
    Seen& seen = *reinterpret_cast<Seen*>(value);
    seen.paths.push_back(path);
    seen.processes.push_back(processId);
    seen.modules.push_back(module);
    return static_cast<int>(seen.paths.size()) - 1 == seen.stopAt ? 7 : 0;
}

std::string OwnExe()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    return exe;
}

TEST(ModuleEnum, ListsTheModulesOfOneProcess)
{
    Seen seen;
    EXPECT_EQ(EnumModules(Collect, reinterpret_cast<LPARAM>(&seen), GetCurrentProcessId()), 0);
    ASSERT_GT(seen.paths.size(), 2u);
    bool foundExe = false, foundKernel = false;
    for (size_t i = 0; i < seen.paths.size(); ++i) {
        foundExe |= lstrcmpiA(seen.paths[i].c_str(), OwnExe().c_str()) == 0;
        foundKernel |= seen.modules[i] == GetModuleHandleA("kernel32.dll");
        EXPECT_EQ(seen.processes[i], GetCurrentProcessId());
    }
    EXPECT_TRUE(foundExe);
    EXPECT_TRUE(foundKernel);

    Seen first;
    first.stopAt = 1;
    EXPECT_EQ(EnumModules(Collect, reinterpret_cast<LPARAM>(&first), GetCurrentProcessId()), 7);
    EXPECT_EQ(first.paths.size(), 2u) << "stops at the first non-zero answer";
}

TEST(ModuleEnum, AProcessThatCannotBeSeenIsReportedOnceEmpty)
{
    Seen seen;
    EXPECT_EQ(EnumModules(Collect, reinterpret_cast<LPARAM>(&seen), 0x7FFFFFF0), 0);
    ASSERT_EQ(seen.paths.size(), 1u);
    EXPECT_EQ(seen.paths[0], "");
    EXPECT_EQ(seen.modules[0], nullptr);
}

TEST(ModuleEnum, AllProcessesIncludeThisOne)
{
    Seen seen;
    EXPECT_EQ(EnumModules(Collect, reinterpret_cast<LPARAM>(&seen), kAllProcesses), 0);
    bool self = false;
    for (size_t i = 0; i < seen.paths.size(); ++i)
        self |= seen.processes[i] == GetCurrentProcessId() && lstrcmpiA(seen.paths[i].c_str(), OwnExe().c_str()) == 0;
    EXPECT_TRUE(self);
}

std::vector<DWORD> g_snapshots;  // the flags of every module snapshot asked for
HANDLE WINAPI RecordSnapshot(DWORD flags, DWORD)
{
    g_snapshots.push_back(flags);
    return INVALID_HANDLE_VALUE;
}

// A screen reader may be a 32-bit process; its braille driver is one of its
// 32-bit modules, which a 64-bit snapshot leaves out unless asked for.
TEST(ModuleEnum, SnapshotsTakeThirtyTwoBitModulesToo)
{
    ToolHelp api = ToolHelp::Load();
    ASSERT_TRUE(api.usable());
    api.createSnapshot = RecordSnapshot;
    Seen seen;
    EXPECT_EQ(EnumModules(api, Collect, reinterpret_cast<LPARAM>(&seen), 1234), 0);
    ASSERT_EQ(g_snapshots.size(), 1u);
    EXPECT_EQ(g_snapshots[0], static_cast<DWORD>(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32));
    EXPECT_EQ(seen.paths, std::vector<std::string>{""}) << "the process is reported once, empty";
}

}  // namespace

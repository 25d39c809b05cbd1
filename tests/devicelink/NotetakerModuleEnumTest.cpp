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

}  // namespace

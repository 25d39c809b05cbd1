// Explorer's windows on their own apartment threads, each with its own
// folder object from the class object, listing different device folders of
// the stand-in at the same time: every listing must be that folder's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "shell/CClassFactory.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/SimOnLine.h"

namespace {

constexpr int kRounds = 25;

struct DeviceFolder {
    const char* item;  // as the root lists it
    int type;
    const char* store;  // in the stand-in's store
    int files;
};
const DeviceFolder kFolders[] = {
    {"R:\\a", 2, "R\\a", 3}, {"R:\\b", 2, "R\\b", 5}, {"F:\\c", 3, "F\\c", 7}, {"F:\\d", 3, "F\\d", 9}};

std::atomic<int> g_errorBoxes{0};
void CountErrorBox(const char*) { ++g_errorBoxes; }

std::vector<std::string> FilesOf(const DeviceFolder& folder)
{
    std::vector<std::string> names;
    for (int index = 0; index < folder.files; ++index)
        names.push_back(std::string(folder.store).substr(2) + std::to_string(index) + ".txt");
    return names;
}

std::vector<std::string> List(IShellFolder* folder)
{
    std::vector<std::string> names;
    ComPtr<IEnumIDList> enumerator;
    if (FAILED(folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, enumerator.put())) || !enumerator) return names;
    LPITEMIDLIST item;
    char name[MAX_PATH];
    while (enumerator->Next(1, &item, nullptr) == S_OK) {
        names.emplace_back(ItemIdName(item, name, sizeof name));
        ItemIdFree(item);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// One window's thread: binds its folder and lists it round after round;
// the count of listings that were not exactly the folder's files.
int ListRounds(const DeviceFolder& folder)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int wrong = kRounds;
    {
        ComPtr<IClassFactory> factory;
        factory.reset(new CClassFactory);
        ComPtr<IShellFolder> root, bound;
        ItemIdHolder item(MakeItem(folder.item, folder.type));
        if (SUCCEEDED(factory->CreateInstance(nullptr, IID_IShellFolder, root.putVoid())) &&
            SUCCEEDED(root->BindToObject(item.get(), nullptr, IID_IShellFolder, bound.putVoid()))) {
            const std::vector<std::string> expected = FilesOf(folder);
            wrong = 0;
            for (int round = 0; round < kRounds; ++round) wrong += List(bound.get()) != expected;
        }
    }
    CoUninitialize();
    return wrong;
}

TEST(DeviceThreads, EveryThreadListsItsOwnFolder)
{
    SimOnLine sim(1, {"R", "R\\a", "R\\b", "F", "F\\c", "F\\d"});
    for (const DeviceFolder& folder : kFolders)
        for (const std::string& name : FilesOf(folder)) sim.put(std::string(folder.store) + "\\" + name, name);
    DeviceErrorBox previous = SetDeviceErrorBox(CountErrorBox);
    g_errorBoxes = 0;

    std::vector<int> wrong(std::size(kFolders));
    std::vector<std::thread> threads;
    for (size_t index = 0; index < std::size(kFolders); ++index)
        threads.emplace_back([&wrong, index] { wrong[index] = ListRounds(kFolders[index]); });
    for (std::thread& thread : threads) thread.join();
    SetDeviceErrorBox(previous);

    int total = 0;
    for (int count : wrong) total += count;
    EXPECT_EQ(total, 0) << total << " of " << kRounds * std::size(kFolders) << " listings wrong (" << wrong[0] << ", "
                        << wrong[1] << ", " << wrong[2] << ", " << wrong[3] << "), " << g_errorBoxes << " error boxes";
    EXPECT_EQ(g_errorBoxes, 0);
}

}  // namespace

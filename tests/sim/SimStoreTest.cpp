// The stand-in's file store: records, paths and status words.
#include "sim/SimStore.h"

#include <gtest/gtest.h>

#include "foundation/ScopedHandle.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kFile = 1, kFolderR = 2, kFolderF = 3, kSpecial = 4;

std::string NameOf(const SimStore::Record& r) { return std::string(reinterpret_cast<const char*>(r.data())); }
uint32_t SizeOf(const SimStore::Record& r) { return r[22] | r[23] << 8 | r[24] << 16 | r[25] << 24; }

// Folders come first, typed by their drive, then files with sizes and times;
// paths resolve on R: then F:, and changes answer with status words.
TEST(SimStore, ListsResolvesAndChangesTheStore)
{
    TempDir dir;
    SimStore store(dir.path());  // makes the drives' folders
    for (const char* folder : {"R\\letters", "F\\books", "R\\letters\\old", "F\\books\\sets"})
        CreateDirectoryA(dir.file(folder).c_str(), nullptr);
    TempDir::WriteAll(dir.file("R\\letters\\ann.txt"), "Dear Ann");
    TempDir::WriteAll(dir.file("R\\letters\\a name longer than twenty.txt"), "x");
    TempDir::WriteAll(dir.file("F\\books\\moby.brl"), std::string(70000, 'w'));
    TempDir::WriteAll(dir.file("special\\clock"), "");
    SYSTEMTIME local{2026, 3, 0, 14, 9, 26, 0, 0};  // 14 March 2026, 9:26 local time
    FILETIME lft, ft;
    SystemTimeToFileTime(&local, &lft);
    LocalFileTimeToFileTime(&lft, &ft);
    ScopedKernelHandle ann(CreateFileA(dir.file("R\\letters\\ann.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    SetFileTime(ann.get(), nullptr, nullptr, &ft);
    ann.reset();

    const struct {
        const char* folder;
        std::vector<std::pair<std::string, int>> entries;
    } cases[] = {
        {"\\", {{"letters", kFolderR}, {"books", kFolderF}, {"clock", kSpecial}}},
        {"R:\\letters", {{"old", kFolderR}, {"ann.txt", kFile}}},  // the long name is no device name
        {"books", {{"sets", kFolderF}, {"moby.brl", kFile}}},
        {"nowhere", {}},
    };
    for (const auto& c : cases) {
        const auto records = store.List(c.folder);
        ASSERT_EQ(records.size(), c.entries.size()) << c.folder;
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(NameOf(records[i]), c.entries[i].first) << c.folder;
            EXPECT_EQ(records[i][21], c.entries[i].second) << c.entries[i].first;
            EXPECT_EQ(records[i].size(), SimStore::kRecordSize);
        }
    }
    const auto listed = store.List("letters")[1];
    EXPECT_EQ(SizeOf(listed), 8u);
    EXPECT_EQ(std::vector<int>(listed.begin() + 26, listed.end()), (std::vector<int>{9, 26, 3, 14, 46}));  // 1980 + 46
    EXPECT_EQ(SizeOf(store.List("F:\\books")[1]), 70000u);

    const std::pair<const char*, std::string> paths[] = {
        {"letters\\ann.txt", "R\\letters\\ann.txt"},
        {"books\\moby.brl", "F\\books\\moby.brl"},
        {"R:\\letters\\ann.txt", "R\\letters\\ann.txt"},
        {"clock", "special\\clock"},
        {"F:\\letters\\ann.txt", ""},
        {"C:\\letters", ""},
        {"letters\\..\\..\\x", ""},
    };
    for (const auto& p : paths) EXPECT_EQ(store.Resolve(p.first), p.second.empty() ? "" : dir.file(p.second));
    EXPECT_EQ(store.Delete("R:\\letters\\nobody.txt"), SimStore::ST_NOT_FOUND);
    EXPECT_EQ(store.Delete("R:\\letters\\bad|name"), SimStore::ST_BAD_NAME);
    EXPECT_EQ(store.Delete("R:\\letters\\ann.txt"), SimStore::ST_OK);
    EXPECT_FALSE(TempDir::Exists(dir.file("R\\letters\\ann.txt")));
    EXPECT_EQ(store.MakeFolder("R:\\letters"), SimStore::ST_EXISTS);
    EXPECT_EQ(store.MakeFolder("F:\\new"), SimStore::ST_OK);
    EXPECT_TRUE(TempDir::Exists(dir.file("F\\new")));
    EXPECT_EQ(store.MakeFolder("R:\\a\\b"), SimStore::ST_NOT_FOUND);
    EXPECT_EQ(store.MakeFolder("R:\\letters\\older\\"), SimStore::ST_OK);
    EXPECT_TRUE(TempDir::Exists(dir.file("R\\letters\\older")));
    EXPECT_EQ(store.Rename("F:\\books\\moby.brl", "F:\\books\\dick.brl"), SimStore::ST_OK);
    EXPECT_TRUE(TempDir::Exists(dir.file("F\\books\\dick.brl")));
    EXPECT_EQ(store.Rename("F:\\books\\moby.brl", "F:\\books\\x.brl"), SimStore::ST_NOT_FOUND);
    EXPECT_EQ(store.Rename("F:\\books\\dick.brl", "F:\\books\\a?b"), SimStore::ST_BAD_NAME);

    std::vector<uint8_t> data;  // files that travel are the stand-in's tests' business; here what they leave out
    EXPECT_FALSE(store.ReadFile("letters", data));
    EXPECT_FALSE(store.WriteFile("R:\\missing\\", "new.bin", {1}));
}

}  // namespace

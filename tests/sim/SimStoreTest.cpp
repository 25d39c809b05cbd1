// The stand-in's file store: records, paths and status words.
#include "sim/SimStore.h"

#include <gtest/gtest.h>

#include "foundation/ScopedHandle.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kFile = 1, kFolderR = 2, kFolderF = 3, kSpecial = 4;

std::string NameOf(const SimStore::Record& r) { return std::string(reinterpret_cast<const char*>(r.data())); }
uint32_t SizeOf(const SimStore::Record& r) { return r[22] | r[23] << 8 | r[24] << 16 | r[25] << 24; }

class SimStoreTest : public ::testing::Test {
protected:
    SimStoreTest() : store_(dir_.path())
    {
        for (const char* folder : {"R\\letters", "F\\books", "R\\letters\\old", "F\\books\\sets"})
            CreateDirectoryA(dir_.file(folder).c_str(), nullptr);
        TempDir::WriteAll(dir_.file("R\\letters\\ann.txt"), "Dear Ann");
        TempDir::WriteAll(dir_.file("R\\letters\\a name longer than twenty.txt"), "x");
        TempDir::WriteAll(dir_.file("F\\books\\moby.brl"), std::string(70000, 'w'));
        TempDir::WriteAll(dir_.file("special\\clock"), "");
        // 14 March 2026, 9:26 local time.
        SYSTEMTIME local{2026, 3, 0, 14, 9, 26, 0, 0};
        FILETIME lft, ft;
        SystemTimeToFileTime(&local, &lft);
        LocalFileTimeToFileTime(&lft, &ft);
        ScopedKernelHandle ann(CreateFileA(dir_.file("R\\letters\\ann.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
        SetFileTime(ann.get(), nullptr, nullptr, &ft);
    }
    TempDir dir_;
    SimStore store_;
};

TEST_F(SimStoreTest, ListingsShowFoldersFirstTypedByTheirDriveThenFilesWithSizesAndTimes)
{
    const struct { const char* folder; std::vector<std::pair<std::string, int>> entries; } cases[] = {
        {"\\", {{"letters", kFolderR}, {"books", kFolderF}, {"clock", kSpecial}}},
        {"R:\\letters", {{"old", kFolderR}, {"ann.txt", kFile}}},  // the long name is no device name
        {"books", {{"sets", kFolderF}, {"moby.brl", kFile}}},
        {"nowhere", {}},
    };
    for (const auto& c : cases) {
        const auto records = store_.List(c.folder);
        ASSERT_EQ(records.size(), c.entries.size()) << c.folder;
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(NameOf(records[i]), c.entries[i].first) << c.folder;
            EXPECT_EQ(records[i][21], c.entries[i].second) << c.entries[i].first;
            EXPECT_EQ(records[i].size(), SimStore::kRecordSize);
        }
    }
    const auto ann = store_.List("letters")[1];
    EXPECT_EQ(SizeOf(ann), 8u);
    EXPECT_EQ(std::vector<int>(ann.begin() + 26, ann.end()), (std::vector<int>{9, 26, 3, 14, 46}));  // 1980 + 46
    EXPECT_EQ(SizeOf(store_.List("F:\\books")[1]), 70000u);
}

TEST_F(SimStoreTest, PathsResolveOnRThenFAndChangesAnswerWithStatusWords)
{
    const std::pair<const char*, std::string> paths[] = {
        {"letters\\ann.txt", "R\\letters\\ann.txt"}, {"books\\moby.brl", "F\\books\\moby.brl"},
        {"R:\\letters\\ann.txt", "R\\letters\\ann.txt"}, {"clock", "special\\clock"},
        {"F:\\letters\\ann.txt", ""}, {"C:\\letters", ""}, {"letters\\..\\..\\x", ""},
    };
    for (const auto& p : paths) EXPECT_EQ(store_.Resolve(p.first), p.second.empty() ? "" : dir_.file(p.second));
    EXPECT_EQ(store_.Delete("R:\\letters\\nobody.txt"), SimStore::ST_NOT_FOUND);
    EXPECT_EQ(store_.Delete("R:\\letters\\bad|name"), SimStore::ST_BAD_NAME);
    EXPECT_EQ(store_.Delete("R:\\letters\\ann.txt"), SimStore::ST_OK);
    EXPECT_FALSE(TempDir::Exists(dir_.file("R\\letters\\ann.txt")));
    EXPECT_EQ(store_.MakeFolder("R:\\letters"), SimStore::ST_EXISTS);
    EXPECT_EQ(store_.MakeFolder("F:\\new"), SimStore::ST_OK);
    EXPECT_TRUE(TempDir::Exists(dir_.file("F\\new")));
    EXPECT_EQ(store_.MakeFolder("R:\\a\\b"), SimStore::ST_NOT_FOUND);
    EXPECT_EQ(store_.MakeFolder("R:\\letters\\older\\"), SimStore::ST_OK);
    EXPECT_TRUE(TempDir::Exists(dir_.file("R\\letters\\older")));
    EXPECT_EQ(store_.Rename("F:\\books\\moby.brl", "F:\\books\\dick.brl"), SimStore::ST_OK);
    EXPECT_TRUE(TempDir::Exists(dir_.file("F\\books\\dick.brl")));
    EXPECT_EQ(store_.Rename("F:\\books\\moby.brl", "F:\\books\\x.brl"), SimStore::ST_NOT_FOUND);
    EXPECT_EQ(store_.Rename("F:\\books\\dick.brl", "F:\\books\\a?b"), SimStore::ST_BAD_NAME);

    std::vector<uint8_t> data;
    ASSERT_TRUE(store_.ReadFile("books\\dick.brl", data));
    EXPECT_EQ(data.size(), 70000u);
    EXPECT_FALSE(store_.ReadFile("letters", data));
    const std::vector<uint8_t> bytes = {0, 1, 2, 255};
    EXPECT_TRUE(store_.WriteFile("R:\\letters\\", "new.bin", bytes));
    EXPECT_EQ(TempDir::ReadAll(dir_.file("R\\letters\\new.bin")), std::string("\0\1\2\xFF", 4));
    EXPECT_FALSE(store_.WriteFile("R:\\missing\\", "new.bin", bytes));
}

}  // namespace

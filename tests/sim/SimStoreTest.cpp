#include "sim/SimStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace {

void SetTime(const std::string& path, WORD year, WORD month, WORD day, WORD hour, WORD minute)
{
    SYSTEMTIME local{year, month, 0, day, hour, minute, 0, 0};
    FILETIME lft, ft;
    SystemTimeToFileTime(&local, &lft);
    LocalFileTimeToFileTime(&lft, &ft);
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
}

std::string NameOf(const SimStore::Record& r) { return std::string(reinterpret_cast<const char*>(r.data())); }

class SimStoreTest : public ::testing::Test {
protected:
    SimStoreTest() : store_(dir_.path())
    {
        CreateDirectoryA(dir_.file("R\\letters").c_str(), nullptr);
        CreateDirectoryA(dir_.file("F\\books").c_str(), nullptr);
        TempDir::WriteAll(dir_.file("R\\letters\\ann.txt"), "Dear Ann");
        TempDir::WriteAll(dir_.file("R\\letters\\a name longer than twenty.txt"), "x");
        TempDir::WriteAll(dir_.file("F\\books\\moby.brl"), std::string(70000, 'w'));
        TempDir::WriteAll(dir_.file("special\\clock"), "");
        SetTime(dir_.file("R\\letters\\ann.txt"), 2026, 3, 14, 9, 26);
    }
    TempDir dir_;
    SimStore store_;
};

TEST_F(SimStoreTest, TheRootShowsFoldersOfBothDrivesAndSpecialEntries)
{
    const auto records = store_.List("\\");
    ASSERT_EQ(records.size(), 3u);
    const char* names[] = {"letters", "books", "clock"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(NameOf(records[i]), names[i]);
        EXPECT_EQ(records[i][21], i + 2);  // folder on R:, folder on F:, special entry
        EXPECT_EQ(records[i].size(), SimStore::kRecordSize);
    }
}

TEST_F(SimStoreTest, FolderRecordsCarryRealSizesAndTimes)
{
    auto records = store_.List("letters");
    ASSERT_EQ(records.size(), 1u);  // the long name is not a device name
    const auto& r = records[0];
    EXPECT_EQ(NameOf(r), "ann.txt");
    EXPECT_EQ(r[21], 1);
    EXPECT_EQ(r[22] | r[23] << 8 | r[24] << 16 | r[25] << 24, 8);
    EXPECT_EQ(std::vector<int>(r.begin() + 26, r.end()), (std::vector<int>{9, 26, 3, 14, 46}));  // year 1980 + 46
    records = store_.List("F:\\books");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][22] | records[0][23] << 8 | records[0][24] << 16, 70000);
    EXPECT_TRUE(store_.List("nowhere").empty());
}

TEST_F(SimStoreTest, FoldersInsideFoldersComeFirstTypedByTheirDrive)
{
    CreateDirectoryA(dir_.file("R\\letters\\old").c_str(), nullptr);
    CreateDirectoryA(dir_.file("F\\books\\sets").c_str(), nullptr);
    for (const char* folder : {"R:\\letters", "books"}) {
        SCOPED_TRACE(folder);
        const auto records = store_.List(folder);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(NameOf(records[0]), folder[0] == 'R' ? "old" : "sets");
        EXPECT_EQ(records[0][21], folder[0] == 'R' ? 2 : 3);
        EXPECT_EQ(records[1][21], 1);
    }
}

TEST_F(SimStoreTest, PathsWithoutADriveAreLookedForOnRThenF)
{
    EXPECT_EQ(store_.Resolve("letters\\ann.txt"), dir_.file("R\\letters\\ann.txt"));
    EXPECT_EQ(store_.Resolve("books\\moby.brl"), dir_.file("F\\books\\moby.brl"));
    EXPECT_EQ(store_.Resolve("R:\\letters\\ann.txt"), dir_.file("R\\letters\\ann.txt"));
    EXPECT_EQ(store_.Resolve("clock"), dir_.file("special\\clock"));
    EXPECT_EQ(store_.Resolve("F:\\letters\\ann.txt"), "");
    EXPECT_EQ(store_.Resolve("C:\\letters"), "");
    EXPECT_EQ(store_.Resolve("letters\\..\\..\\x"), "");
}

TEST_F(SimStoreTest, ChangesAnswerWithStatusWords)
{
    EXPECT_EQ(store_.Delete("R:\\letters\\nobody.txt"), SimStore::ST_NOT_FOUND);
    EXPECT_EQ(store_.Delete("R:\\letters\\bad|name"), SimStore::ST_BAD_NAME);
    EXPECT_EQ(store_.Delete("R:\\letters\\ann.txt"), SimStore::ST_OK);
    EXPECT_FALSE(TempDir::Exists(dir_.file("R\\letters\\ann.txt")));

    EXPECT_EQ(store_.MakeFolder("R:\\letters"), SimStore::ST_EXISTS);
    EXPECT_EQ(store_.MakeFolder("F:\\new"), SimStore::ST_OK);
    EXPECT_TRUE(TempDir::Exists(dir_.file("F\\new")));
    EXPECT_EQ(store_.MakeFolder("R:\\a\\b"), SimStore::ST_NOT_FOUND);
    EXPECT_EQ(store_.MakeFolder("R:\\letters\\old\\"), SimStore::ST_OK);
    EXPECT_TRUE(TempDir::Exists(dir_.file("R\\letters\\old")));

    EXPECT_EQ(store_.Rename("F:\\books\\moby.brl", "F:\\books\\dick.brl"), SimStore::ST_OK);
    EXPECT_TRUE(TempDir::Exists(dir_.file("F\\books\\dick.brl")));
    EXPECT_EQ(store_.Rename("F:\\books\\moby.brl", "F:\\books\\x.brl"), SimStore::ST_NOT_FOUND);
    EXPECT_EQ(store_.Rename("F:\\books\\dick.brl", "F:\\books\\a?b"), SimStore::ST_BAD_NAME);
}

TEST_F(SimStoreTest, FilesAreReadAndWrittenWhole)
{
    std::vector<uint8_t> data;
    ASSERT_TRUE(store_.ReadFile("books\\moby.brl", data));
    EXPECT_EQ(data.size(), 70000u);
    EXPECT_FALSE(store_.ReadFile("letters", data));
    const std::vector<uint8_t> bytes = {0, 1, 2, 255};
    EXPECT_TRUE(store_.WriteFile("R:\\letters\\", "new.bin", bytes));
    EXPECT_EQ(TempDir::ReadAll(dir_.file("R\\letters\\new.bin")), std::string("\0\1\2\xFF", 4));
    EXPECT_FALSE(store_.WriteFile("R:\\missing\\", "new.bin", bytes));
}

}  // namespace

#include "shell/ItemId.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <cstring>

#include "tests/shell/ShellTestSupport.h"

namespace {

TEST(ItemIdLayout, FileEntryHasTheDocumentedBytes)
{
    SYSTEMTIME time = MakeTime(2026, 12, 4, 14, 5);
    ItemIdHolder item(MakeItem("note.txt", 1, 2000, time));
    ASSERT_TRUE(item);
    std::vector<BYTE> bytes = Bytes(item.get());
    ASSERT_EQ(bytes.size(), 43u);
    std::vector<BYTE> expected = {40, 0, 0x80, 0, 0, 0};
    const BYTE* timeBytes = reinterpret_cast<const BYTE*>(&time);
    expected.insert(expected.end(), timeBytes, timeBytes + 16);
    expected.insert(expected.end(), {0xD0, 0x07, 0, 0});
    expected.insert(expected.end(), {'n', 'o', 't', 'e', '.', 't', 'x', 't', 0});
    expected.insert(expected.end(), 5 + 3, 0);  // reserved bytes, then the list's end
    EXPECT_EQ(bytes, expected);
}

TEST(ItemIdLists, ConcatCopyAndWalk)
{
    ItemIdHolder folder(MakeItem("R:\\Letters", 2));
    ItemIdHolder file(MakeItem("note.txt", 1, 7));
    ItemIdHolder list(ItemIdConcat(folder.get(), file.get()));
    ASSERT_TRUE(list);
    EXPECT_EQ(ItemIdSize(list.get()), 42u + 40u + 3u);
    EXPECT_EQ(ItemIdNext(list.get()), reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<BYTE*>(list.get()) + 42));
    EXPECT_EQ(ItemIdLast(list.get()), ItemIdNext(list.get()));
    char name[MAX_PATH];
    EXPECT_STREQ(ItemIdName(list.get(), name, sizeof name), "note.txt");
    EXPECT_STREQ(ItemIdName(list.get(), name, sizeof name, true), "R:\\Letters");
    EXPECT_STREQ(ItemIdName(list.get(), name, 5), "note");
    EXPECT_EQ(ItemIdFileSize(list.get()), 7u);

    ItemIdHolder copy(ItemIdCopy(list.get()));
    EXPECT_NE(copy.get(), list.get());
    EXPECT_EQ(Bytes(copy.get()), Bytes(list.get()));

    ItemIdHolder onlyB(ItemIdConcat(nullptr, file.get()));
    EXPECT_EQ(Bytes(onlyB.get()), Bytes(file.get()));
    ItemIdHolder onlyA(ItemIdConcat(folder.get(), nullptr));
    EXPECT_EQ(Bytes(onlyA.get()), Bytes(folder.get()));
    EXPECT_EQ(ItemIdConcat(nullptr, nullptr), nullptr);
}

TEST(ItemIdPathTest, JoinsNamesAndMarksFolders)
{
    ItemIdHolder letters(MakeItem("R:\\Letters", 2));
    EXPECT_EQ(PathOf(letters.get()), "R:\\Letters\\");
    ItemIdHolder note(JoinItems({MakeItem("R:\\Letters", 2), MakeItem("note.txt", 1)}));
    EXPECT_EQ(PathOf(note.get()), "R:\\Letters\\note.txt");
    ItemIdHolder old(JoinItems({MakeItem("R:\\Letters", 2), MakeItem("Old", 2)}));
    EXPECT_EQ(PathOf(old.get()), "R:\\Letters\\Old\\");
    EXPECT_EQ(PathOf(old.get(), true), "Letters\\Old\\");
    ItemIdHolder special(MakeItem("Clock", 4));
    EXPECT_EQ(PathOf(special.get(), true), "Clock\\");
}

// A folder below a drive folder is named by its whole device path.
TEST(ItemIdPathTest, NestedFoldersAtAnyDepth)
{
    const struct {
        std::initializer_list<std::pair<const char*, int>> levels;
        const char *path, *stripped, *shown;
    } rows[] = {
        {{{"R:\\notes", 2}, {"R:\\notes\\deep", 2}}, "R:\\notes\\deep\\", "notes\\deep\\", "deep"},
        {{{"R:\\notes\\deep", 2}, {"R:\\notes\\deep\\deeper", 2}, {"x.txt", 1}},
         "R:\\notes\\deep\\deeper\\x.txt", "deep\\deeper\\x.txt", "x.txt"},
        {{{"F:\\books", 3}, {"F:\\books\\old", 3}, {"F:\\books\\old\\older", 3}}, "F:\\books\\old\\older\\",
         "books\\old\\older\\", "older"},
        {{{"R:\\Letters", 2}}, "R:\\Letters\\", "Letters\\", "R:\\Letters"},
    };
    for (const auto& row : rows) {
        ItemIdHolder list;
        for (const auto& level : row.levels) {
            ItemIdHolder item(MakeItem(level.first, level.second));
            list.reset(ItemIdConcat(list.get(), item.get()));
        }
        EXPECT_EQ(PathOf(list.get()), row.path);
        EXPECT_EQ(PathOf(list.get(), true), row.stripped) << row.path;
        char shown[MAX_PATH];
        EXPECT_STREQ(ItemIdDisplayName(list.get(), shown, sizeof shown), row.shown);
        EXPECT_STREQ(ItemIdColumnText(COLUMN_NAME, list.get(), shown, sizeof shown), row.shown);
    }
}

TEST(ItemIdPathTest, RenamedFoldersStayInTheirParent)
{
    const struct {
        const char *old, *typed, *renamed;
        int type;
    } rows[] = {
        {"R:\\notes\\deep", "shallow", "R:\\notes\\shallow", 2},
        {"R:\\letters", "R:\\mail", "R:\\mail", 2},
        {"F:\\books", "tomes", "F:\\tomes", 3},
        {"a.txt", "b.txt", "b.txt", 1},
    };
    for (const auto& row : rows) {
        ItemIdHolder old(MakeItem(row.old, row.type, 0));
        ItemIdHolder renamed(ItemIdRenamed(old.get(), row.typed));
        char name[MAX_PATH];
        EXPECT_STREQ(ItemIdName(renamed.get(), name, sizeof name), row.renamed);
        EXPECT_EQ(ItemIdAttributes(renamed.get()), ItemIdAttributes(old.get()));
    }
}

TEST(ItemIdPathTest, AComponentThatDoesNotFitEndsThePath)
{
    ItemIdHolder note(JoinItems({MakeItem("R:\\Letters", 2), MakeItem("note.txt", 1)}));
    // "R:\Letters" is 10 characters; with "\note.txt" it would be 19.
    EXPECT_EQ(PathOf(note.get(), false, 19), "R:\\Letters");
    EXPECT_EQ(PathOf(note.get(), false, 20), "R:\\Letters\\note.txt");
    ItemIdHolder folder(MakeItem("R:\\Letters", 2));
    EXPECT_EQ(PathOf(folder.get(), false, 11), "R:\\Letters");  // no room for the backslash
    EXPECT_EQ(PathOf(folder.get(), false, 5), "");
}

TEST(ItemIdColumns, TextsOfTheFourColumns)
{
    ItemIdHolder file(MakeItem("note.txt", 1, 1536));
    ItemIdHolder folder(MakeItem("R:\\Letters", 2, 0));
    char text[MAX_PATH];
    EXPECT_STREQ(ItemIdColumnText(COLUMN_NAME, file.get(), text, sizeof text), "note.txt");
    char size[64];
    StrFormatByteSizeA(1536, size, sizeof size);
    EXPECT_STREQ(ItemIdColumnText(COLUMN_SIZE, file.get(), text, sizeof text), size);
    EXPECT_STREQ(ItemIdColumnText(COLUMN_SIZE, folder.get(), text, sizeof text), "");
    EXPECT_STRNE(ItemIdColumnText(COLUMN_TYPE, folder.get(), text, sizeof text), "");
    EXPECT_STREQ(ItemIdColumnText(COLUMN_MODIFIED, file.get(), text, sizeof text), "12/4/2026 14:05");
    EXPECT_STREQ(ItemIdColumnText(4, file.get(), text, sizeof text), "");
    EXPECT_STREQ(ItemIdColumnText(COLUMN_TYPE, nullptr, text, sizeof text), "");
}

TEST(ItemIdColumns, FilesAreTypedByExtension)
{
    ItemIdHolder a(MakeItem("a.txt", 1)), b(MakeItem("other.txt", 1)), c(MakeItem("c.zzq", 1));
    char typeA[MAX_PATH], typeB[MAX_PATH], typeC[MAX_PATH];
    EXPECT_STREQ(ItemIdColumnText(COLUMN_TYPE, a.get(), typeA, sizeof typeA),
                 ItemIdColumnText(COLUMN_TYPE, b.get(), typeB, sizeof typeB));
    EXPECT_STRNE(typeA, ItemIdColumnText(COLUMN_TYPE, c.get(), typeC, sizeof typeC));
}

}  // namespace

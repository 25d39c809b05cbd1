// Item identifiers, and damaged or foreign lists placed at the very end of a readable page.
#include "shell/ItemId.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <cstring>

#include "shell/CShellFolder.h"
#include "shell/ShellIdList.h"
#include "tests/shell/ShellTestSupport.h"

namespace {

std::vector<BYTE> Bytes(LPCITEMIDLIST list)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(list);
    return std::vector<BYTE>(bytes, bytes + ItemIdSize(list));
}

TEST(ItemIdLists, FileEntryHasTheDocumentedBytesConcatCopyWalkAndColumnTexts)
{
    SYSTEMTIME time = MakeTime(2026, 12, 4, 14, 5);
    ItemIdHolder item(MakeItem("note.txt", kFile, 2000, time));
    std::vector<BYTE> expected = {40, 0, 0x80, 0, 0, 0};
    const BYTE* timeBytes = reinterpret_cast<const BYTE*>(&time);
    expected.insert(expected.end(), timeBytes, timeBytes + 16);
    expected.insert(expected.end(), {0xD0, 0x07, 0, 0, 'n', 'o', 't', 'e', '.', 't', 'x', 't', 0});
    expected.insert(expected.end(), 5 + 3, 0);  // reserved bytes, then the list's end
    EXPECT_EQ(Bytes(item.get()), expected);
    ItemIdHolder folder(MakeItem("R:\\Letters", kFolderR)), file(MakeItem("note.txt", kFile, 7));
    ItemIdHolder list(ItemIdConcat(folder.get(), file.get())), copy(ItemIdCopy(list.get()));
    EXPECT_EQ(ItemIdSize(list.get()), 42u + 40u + 3u);
    EXPECT_EQ(ItemIdLast(list.get()), reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<BYTE*>(list.get()) + 42));
    char name[MAX_PATH];
    EXPECT_STREQ(ItemIdName(list.get(), name, 5), "note") << "cut to the buffer";
    EXPECT_EQ(Bytes(copy.get()), Bytes(list.get()));

    ItemIdHolder sized(MakeItem("note.txt", kFile, 1536));
    char text[MAX_PATH], size[64];
    EXPECT_STREQ(ItemIdColumnText(COLUMN_SIZE, sized.get(), text, sizeof text, false),
                 StrFormatByteSizeA(1536, size, 64));
    EXPECT_STREQ(ItemIdColumnText(COLUMN_SIZE, folder.get(), text, sizeof text, true), "") << "a folder has no size";
    EXPECT_STREQ(ItemIdColumnText(COLUMN_MODIFIED, sized.get(), text, sizeof text, false), "12/4/2026 14:05");
}

// Ids hold their own names; the drive comes from the first folder's attributes.
TEST(ItemIdPath, JoinsOwnNamesFromTheRootAndMarksFoldersRenamedIdsHoldTheNewNameAlone)
{
    const struct {
        std::initializer_list<std::pair<const char*, int>> levels;
        const char *path, *stripped, *shown;
    } rows[] = {
        {{{"Letters", kFolderR}, {"note.txt", kFile}}, "R:\\Letters\\note.txt", "Letters\\note.txt", "note.txt"},
        {{{"Clock", kSpecial}}, "Clock\\", "Clock\\", "Clock"},
        {{{"books", kFolderF}, {"old", kFolderF}, {"older", kFolderF}},
         "F:\\books\\old\\older\\",
         "books\\old\\older\\",
         "older"},
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
        EXPECT_STREQ(ItemIdDisplayName(list.get(), shown, sizeof shown, false), row.shown);
        EXPECT_STREQ(ItemIdColumnText(COLUMN_NAME, list.get(), shown, sizeof shown, false), row.shown);
    }
    // "R:\Letters" is 10 characters; with "\note.txt" it would be 19: a component that does not fit ends the path.
    ItemIdHolder note(JoinItems({MakeItem("R:\\Letters", kFolderR), MakeItem("note.txt", kFile)}));
    EXPECT_EQ(PathOf(note.get(), false, 19), "R:\\Letters");
    ItemIdHolder folder(MakeItem("R:\\Letters", kFolderR));
    EXPECT_EQ(PathOf(folder.get(), false, 5), "");

    ItemIdHolder old(MakeItem("R:\\notes\\deep", kFolderR)), renamed(ItemIdRenamed(old.get(), "shallow"));
    EXPECT_EQ(PathOf(renamed.get()), "R:\\shallow\\") << "a stored path gives way to the name alone";
    EXPECT_EQ(ItemIdAttributes(renamed.get()), ItemIdAttributes(old.get()));
    for (const char* name : {"a\\b", "a/b", "c:", ""}) EXPECT_EQ(ItemIdRenamed(old.get(), name), nullptr) << name;
}

// Two pages, the second inaccessible; bytes are placed to end at the border.
class GuardedBuffer {
public:
    GuardedBuffer()
    {
        DWORD old;
        VirtualProtect(base_ + kPage, kPage, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    LPCITEMIDLIST Place(const std::vector<BYTE>& bytes)
    {
        return static_cast<LPCITEMIDLIST>(memcpy(base_ + kPage - bytes.size(), bytes.data(), bytes.size()));
    }

private:
    static constexpr DWORD kPage = 4096;  // the x64 page
    BYTE* base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
};

// Every reading function refuses the list, or reports no data.
void ExpectRefused(LPCITEMIDLIST bad, IShellFolder* folder, LPCITEMIDLIST good)
{
    EXPECT_FALSE(ItemIdIsValid(bad));
    EXPECT_EQ(ItemIdSize(bad), 0u);
    EXPECT_EQ(ItemIdCopy(bad), nullptr);
    EXPECT_EQ(ItemIdConcat(bad, good), nullptr);
    EXPECT_EQ(ItemIdConcat(good, bad), nullptr);
    EXPECT_EQ(ItemIdLast(bad), nullptr);
    EXPECT_EQ(ItemIdRenamed(bad, "x"), nullptr);
    ItemIdNext(bad);  // may step over a sound first identifier, must not fault
    EXPECT_EQ(ItemIdAttributes(bad), 0u);
    EXPECT_FALSE(ItemIdIsFolder(bad) || ItemIdIsSpecial(bad));
    EXPECT_EQ(ItemIdType(bad), kFile);
    EXPECT_EQ(ItemIdFileSize(bad), 0u);
    FILETIME time = ItemIdTime(bad);
    EXPECT_EQ(time.dwLowDateTime | time.dwHighDateTime, 0u);
    char text[MAX_PATH];
    EXPECT_STREQ(ItemIdName(bad, text, sizeof text), "");
    EXPECT_EQ(ItemIdPath(bad, text, sizeof text, false) + ItemIdPath(bad, text, sizeof text, true), 0u);
    EXPECT_EQ(ItemIdPath(bad, nullptr, 0, false), 0u);  // no buffer: nothing written
    for (int column = 0; column < 4; ++column) EXPECT_STREQ(ItemIdColumnText(column, bad, text, sizeof text, true), "");

    EXPECT_EQ(folder->CompareIDs(0, bad, good), E_INVALIDARG);
    SFGAOF attributes = SFGAO_FOLDER;
    EXPECT_EQ(folder->GetAttributesOf(1, &bad, &attributes), E_INVALIDARG);
    STRRET name;
    EXPECT_EQ(folder->GetDisplayNameOf(bad, SHGDN_INFOLDER, &name), E_INVALIDARG);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(folder->BindToObject(bad, nullptr, IID_IShellFolder, &object), E_INVALIDARG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(folder->GetUIObjectOf(nullptr, 1, &bad, IID_IExtractIconA, nullptr, &object), E_INVALIDARG);
}

class MalformedItemIdTest : public ::testing::Test {
protected:
    ComPtr<CShellFolder> folder_{new CShellFolder(nullptr, nullptr)};
    GuardedBuffer buffer_;
    ItemIdHolder good_{MakeItem("note.txt", kFile)};
    ItemIdHolder one_{MakeItem("note.txt", kFile, 7)};
    ItemIdHolder two_{JoinItems({MakeItem("R:\\Letters", kFolderR), MakeItem("note.txt", kFile)})};
};

// Each damage to the last identifier of a one- and a two-level list.
TEST_F(MalformedItemIdTest, DamagedListsAndTheShellsOwnAreRefusedSoundOnesAtThePageEndRead)
{
    using Damage = void (*)(std::vector<BYTE>&, size_t at, USHORT cb);
    static const DWORD kForeign[] = {0, 0x11, 0x81, 0x20000000};
    static DWORD foreign = 0;
    const struct {
        const char* what;
        Damage damage;
    } rows[] = {
        {"too short for its fixed fields", [](std::vector<BYTE>& b, size_t at, USHORT) { b[at] = 32, b[at + 1] = 0; }},
        {"claims one more than it holds", [](std::vector<BYTE>& b, size_t at, USHORT) { ++b[at]; }},
        {"claims the most", [](std::vector<BYTE>& b, size_t at, USHORT) { b[at] = b[at + 1] = 0xFF; }},
        {"claims less than its name needs",
         [](std::vector<BYTE>& b, size_t at, USHORT cb) { b[at] = static_cast<BYTE>(cb - 6); }},
        {"cut within its name; what a store hands back still ends in zeros",
         [](std::vector<BYTE>& b, size_t at, USHORT) { b.resize(at + 29), b.insert(b.end(), 3, 0); }},
        {"a name without its zero, nothing after it",
         [](std::vector<BYTE>& b, size_t at, USHORT cb) {
             b.resize(at + cb);
             for (size_t i = at + cb - 6; i < b.size(); ++i) b[i] = 'x';
         }},
        {"someone else's attributes", [](std::vector<BYTE>& b, size_t at, USHORT) { memcpy(&b[at + 2], &foreign, 4); }},
        {"no terminator: the list runs into other bytes",
         [](std::vector<BYTE>& b, size_t, USHORT) {
             b.resize(b.size() - 3);
             b.insert(b.end(), {40, 0});
             b.insert(b.end(), reinterpret_cast<BYTE*>(&foreign), reinterpret_cast<BYTE*>(&foreign) + 4);
         }},
    };
    for (DWORD attributes : kForeign)
        for (const auto& row : rows)
            for (LPCITEMIDLIST list : {one_.get(), two_.get()}) {
                foreign = attributes;
                std::vector<BYTE> bytes = Bytes(list);
                const size_t at = reinterpret_cast<const BYTE*>(ItemIdLast(list)) - reinterpret_cast<const BYTE*>(list);
                row.damage(bytes, at, static_cast<USHORT>(bytes[at] | bytes[at + 1] << 8));
                SCOPED_TRACE(testing::Message() << row.what << ", " << (list == one_.get() ? "one level" : "two levels")
                                                << ", attributes " << std::hex << attributes);
                ExpectRefused(buffer_.Place(bytes), folder_.get(), good_.get());
            }

    // Sound lists at the page end are read whole; the shell's own are refused.
    for (LPCITEMIDLIST sound : {one_.get(), two_.get()}) {
        std::vector<BYTE> bytes = Bytes(sound);
        LPCITEMIDLIST list = buffer_.Place(bytes);
        ASSERT_TRUE(ItemIdIsValid(list));
        EXPECT_EQ(ItemIdSize(list), bytes.size());
        EXPECT_EQ(PathOf(list), PathOf(sound));
        EXPECT_EQ(reinterpret_cast<const BYTE*>(ItemIdLast(list)) - reinterpret_cast<const BYTE*>(list),
                  reinterpret_cast<const BYTE*>(ItemIdLast(sound)) - reinterpret_cast<const BYTE*>(sound));
    }
    for (int csidl : {CSIDL_DRIVES, CSIDL_PERSONAL, CSIDL_WINDOWS}) {
        ShellIdList shellList;
        ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, shellList.put())));
        const BYTE* start = reinterpret_cast<const BYTE*>(shellList.get());
        std::vector<BYTE> bytes(start, start + ILGetSize(shellList.get()));
        ExpectRefused(buffer_.Place(bytes), folder_.get(), good_.get());
    }
}

}  // namespace

// The folder's contracts without a device; the item list and enumerator over a fake listing.
#include "shell/CShellFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "shell/CEnumIDList.h"
#include "shell/CExtractIcon.h"
#include "shell/Guids.h"
#include "shell/ShellIdList.h"
#include "tests/shell/ShellTestSupport.h"

namespace {

// Serves listings the way CNotetaker::EnumFolder and GetEntry do.
struct FakeDevice {
    std::vector<DeviceEntry> entries;  // served for every path
    int failWith = 0;                  // a negative code makes EnumFolder fail

    int EnumFolder(const char*) { return failWith < 0 ? failWith : static_cast<int>(entries.size()); }
    int GetEntry(size_t index, DeviceEntry& out)
    {
        out = entries.at(index);
        return 0;
    }
};

DeviceEntry Entry(const char* name, int type, DWORD size = 0)
{
    DeviceEntry entry;
    entry.sName = name;
    entry.nType = type;
    entry.nSize = size;
    entry.stTime = MakeTime(2026, 12, 4, 14, 5);
    return entry;
}

constexpr SFGAOF kItemVerbs = SFGAO_CANCOPY | SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_ISSLOW;
constexpr SFGAOF kFolderBits = kItemVerbs | SFGAO_FOLDER | SFGAO_BROWSABLE | SFGAO_DROPTARGET | SFGAO_HASSUBFOLDER;
constexpr SFGAOF kAll = 0xFFFFFFFF;

class ShellFolderTest : public ::testing::Test {
protected:
    ComPtr<CShellFolder> folder_{new CShellFolder(nullptr, nullptr)};
    ItemIdHolder file_{MakeItem("note.txt", kFile, 2000)};
    ItemIdHolder folderR_{MakeItem("R:\\Letters", kFolderR)};
    ItemIdHolder special_{MakeItem("Clock", kSpecial)};
};

TEST_F(ShellFolderTest, AttributesFollowTheItemKind)
{
    const struct {
        std::initializer_list<LPCITEMIDLIST> items;
        SFGAOF asked, given;
    } rows[] = {
        {{file_.get(), folderR_.get()}, kAll, kItemVerbs},  // no stream or file system: Open dialogs refuse files
        {{folderR_.get()}, SFGAO_HASSUBFOLDER, SFGAO_HASSUBFOLDER},  // Explorer's tree asks this alone
        // The clock opens nowhere, takes no drop and cannot be fetched.
        {{special_.get()}, kAll, SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_ISSLOW},
        {{folderR_.get()}, kAll, kFolderBits},
        {{}, kAll, 0xA8004100},  // no items: the folder's own, as registered for the root
    };
    for (const auto& row : rows) {
        std::vector<LPCITEMIDLIST> list(row.items);
        SFGAOF mask = row.asked;
        EXPECT_EQ(folder_->GetAttributesOf(static_cast<UINT>(list.size()), list.data(), &mask), S_OK);
        EXPECT_EQ(mask, row.given) << std::hex << row.asked;
    }
}

TEST_F(ShellFolderTest, BindingNeedsAFolderAndTheCurrentFolderIsACopyOfTheInitialisedList)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(folder_->BindToObject(file_.get(), nullptr, IID_IShellFolder, &object), E_INVALIDARG);
    EXPECT_EQ(object, nullptr);
    // What other programs' Open dialogs ask of a file.
    EXPECT_EQ(folder_->BindToObject(file_.get(), nullptr, IID_IStream, &object), E_NOINTERFACE);
    ComPtr<IShellFolder> child = BindFolder(folder_.get(), "R:\\Letters"), grandchild = BindFolder(child.get(), "Old");
    EXPECT_EQ(PathOf(static_cast<CShellFolder*>(grandchild.get())->DeviceList()), "R:\\Letters\\Old\\");
    ComPtr<IPersistFolder2> persist;
    ASSERT_EQ(folder_->QueryInterface(IID_IPersistFolder2, persist.putVoid()), S_OK);
    ShellIdList current, drives;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, drives.put()), S_OK);
    ASSERT_EQ(persist->Initialize(drives.get()), S_OK);
    ASSERT_EQ(persist->GetCurFolder(current.put()), S_OK);
    EXPECT_NE(current.get(), drives.get());
    EXPECT_TRUE(ILIsEqual(current.get(), drives.get()));
}

TEST_F(ShellFolderTest, CompareGoesLevelByLevelThenByColumn)
{
    ItemIdHolder aX(JoinItems({MakeItem("R:\\A", kFolderR), MakeItem("x.txt", kFile)}));
    ItemIdHolder bX(JoinItems({MakeItem("R:\\B", kFolderR), MakeItem("X.TXT", kFile)}));
    ItemIdHolder a(MakeItem("R:\\A", kFolderR)), aTxt(MakeItem("a.txt", kFile)), bTxt(MakeItem("b.txt", kFile));
    ItemIdHolder early(MakeItem("z.txt", kFile, 0, MakeTime(2025, 1, 2, 3, 4)));
    ItemIdHolder late(MakeItem("y.txt", kFile, 0, MakeTime(2025, 1, 2, 3, 5)));
    const HRESULT before = 0x0000FFFF, after = 1;
    const LPARAM byName = 0, byType = 2, byDate = 3, descending = 4;
    const struct {
        LPARAM sort;
        LPCITEMIDLIST left, right;
        HRESULT order;
        const char* why;
    } rows[] = {
        {byName, aX.get(), bX.get(), before, "same name in different folders"},
        {descending, a.get(), aX.get(), after, "a folder before what is inside it, reversed"},
        {descending, folderR_.get(), file_.get(), after, "folders first; descending puts files first"},
        {byDate, early.get(), late.get(), before, "by time, names would say otherwise"},
        {byType, aTxt.get(), bTxt.get(), before, "same type, then by name"},
    };
    for (const auto& row : rows) EXPECT_EQ(folder_->CompareIDs(row.sort, row.left, row.right), row.order) << row.why;
    EXPECT_EQ(CShellFolder::CompareItems(descending, nullptr, file_.get()), 1) << "none first; last, descending";
}

// With no model known yet, no name carries a device name, and no device is asked.
TEST_F(ShellFolderTest, DisplayNameFlags)
{
    const struct {
        LPCITEMIDLIST item;
        SHGDNF flags;
        const char* name;
    } rows[] = {
        {folderR_.get(), SHGDN_FOREDITING, "R:\\Letters"},
        {folderR_.get(), SHGDN_FORPARSING | SHGDN_FORADDRESSBAR, "Pellor\\R:\\Letters"},
        {folderR_.get(), SHGDN_FORPARSING,
         "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{9413F1A9-2105-4B5F-886F-9B5CF0033322}\\R:\\Letters"},
        {folderR_.get(), SHGDN_NORMAL, "R:\\Letters\\"},
        // A hint this folder does not know changes nothing.
        {folderR_.get(), SHGDN_FORPARSING | SHGDN_FORADDRESSBAR | 0x40000, "Pellor\\R:\\Letters"},
    };
    for (const auto& row : rows) {
        STRRET name{};
        HRESULT hr = folder_->GetDisplayNameOf(row.item, row.flags, &name);
        ASSERT_EQ(hr, S_OK) << std::hex << row.flags;
        EXPECT_EQ(Wide(name), row.name) << std::hex << row.flags;
    }
}

// Ids Explorer stored when folders held their whole device path (cb, attributes, time, size, name, five
// reserved bytes) are named, pathed and bound to as today's.
TEST_F(ShellFolderTest, AStoredFullPathIdReadBack)
{
    const struct {
        std::initializer_list<std::pair<std::string, DWORD>> ids;
        const char *inFolder, *path;
    } rows[] = {
        {{{"R:\\Letters", 0x10}}, "R:\\Letters", "R:\\Letters\\"},
        {{{"F:\\notes", 0x14}, {"F:\\notes\\deep", 0x14}}, "deep", "F:\\notes\\deep\\"},
        {{{"R:\\notes", 0x10}, {"R:\\notes\\deep", 0x10}, {"x.txt", 0x80}}, "x.txt", "R:\\notes\\deep\\x.txt"},
    };
    for (const auto& row : rows) {
        std::vector<BYTE> bytes;
        for (const auto& [name, attributes] : row.ids) {
            std::vector<BYTE> id(32 + name.size(), 0);
            id[0] = static_cast<BYTE>(id.size());
            memcpy(&id[2], &attributes, sizeof attributes);
            memcpy(&id[26], name.c_str(), name.size());
            bytes.insert(bytes.end(), id.begin(), id.end());
        }
        bytes.insert(bytes.end(), 3, 0);
        auto list = reinterpret_cast<LPCITEMIDLIST>(bytes.data());
        STRRET name{};
        ASSERT_EQ(folder_->GetDisplayNameOf(list, SHGDN_INFOLDER, &name), S_OK) << row.path;
        EXPECT_EQ(Wide(name), row.inFolder);
        EXPECT_EQ(PathOf(list), row.path);
        ComPtr<IShellFolder> bound;
        if (!ItemIdIsFolder(list)) continue;
        ASSERT_EQ(folder_->BindToObject(list, nullptr, IID_IShellFolder, bound.putVoid()), S_OK) << row.path;
        EXPECT_EQ(PathOf(static_cast<CShellFolder*>(bound.get())->DeviceList()), row.path);
    }
}

// Explorer's details pane reads the folder with the storage set's property keys.
TEST_F(ShellFolderTest, DetailsOfTheFourColumns)
{
    ComPtr<IShellFolder2> folder;
    ASSERT_EQ(folder_->QueryInterface(IID_IShellFolder2, folder.putVoid()), S_OK);
    const GUID storage = {0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};
    const DWORD kName = 10, kSize = 12, kType = 4, kModified = 14;
    const struct {
        DWORD pid;
        VARTYPE vt;
    } columns[] = {{kName, VT_BSTR}, {kSize, VT_UI8}, {kType, VT_BSTR}, {kModified, VT_DATE}};
    char expected[MAX_PATH];
    for (int column = 0; column < 4; ++column) {
        SCOPED_TRACE(testing::Message() << "column " << column);
        SHCOLUMNID key{};
        VARIANT value;
        SHELLDETAILS details{};
        ASSERT_EQ(folder->MapColumnToSCID(column, &key), S_OK);
        EXPECT_TRUE(IsEqualGUID(key.fmtid, storage));
        EXPECT_EQ(key.pid, columns[column].pid);
        ASSERT_EQ(folder->GetDetailsEx(file_.get(), &key, &value), S_OK);
        EXPECT_EQ(value.vt, columns[column].vt);
        VariantClear(&value);
        ASSERT_EQ(folder->GetDetailsOf(file_.get(), column, &details), S_OK);
        EXPECT_EQ(Wide(details.str), ItemIdColumnText(column, file_.get(), expected, MAX_PATH, true));
    }
    SHCOLUMNID key{storage, kModified};
    VARIANT value;
    ASSERT_EQ(folder->GetDetailsEx(file_.get(), &key, &value), S_OK);
    SYSTEMTIME utc{}, local{};
    VariantTimeToSystemTime(value.date, &utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    EXPECT_EQ(local.wHour * 100 + local.wMinute, 1405) << "the device's local 14:05 as UTC";
    EXPECT_EQ(folder->MapColumnToSCID(4, &key), E_INVALIDARG) << "four columns";
}

Names NamesOf(const CItemList& list, bool paths = false)
{
    Names names;
    char name[MAX_PATH];
    for (UINT i = 0; i < list.Count(); ++i)
        names.push_back(paths ? PathOf(list.Item(i)) : ItemIdName(list.Item(i), name, sizeof name));
    return names;
}

// What the flags ask for, leaving out entries without a name or of an unknown
// type; a folder never carries a size; a device error leaves it empty.
TEST(EnumIDList, ListsWhatTheFlagsAskForWalksTheListOnceAndFoldersExpandBreadthFirst)
{
    FakeDevice device;
    device.entries = {Entry("R:\\Letters", kFolderR, 999), Entry("note.txt", kFile, 2000), Entry("", kFile, 5),
                      Entry("F:\\Books", kFolderF),        Entry("Clock", kSpecial),       Entry("odd", 9)};
    LPITEMIDLIST items[5] = {};
    ULONG fetched = 99;
    CItemList taken;  // owns what Next handed out
    auto next = [&](IEnumIDList* enumerator, ULONG count, HRESULT result) {
        taken.Clear();
        EXPECT_EQ(enumerator->Next(count, items, &fetched), result);
        for (ULONG i = 0; i < fetched; ++i) taken.Append(items[i]);
        return NamesOf(taken);
    };
    int filled = 0;
    auto listing = [&](SHCONTF flags) {
        auto* made = new CEnumIDList;
        filled = made->Fill(device, nullptr, flags);
        return ComPtr<IEnumIDList>{made};
    };
    EXPECT_EQ(next(listing(SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN).get(), 5, S_FALSE), Names{"note.txt"});

    ComPtr<IEnumIDList> enumerator = listing(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    EXPECT_EQ(next(enumerator.get(), 5, S_FALSE), (Names{"Letters", "note.txt", "Books", "Clock"}));
    EXPECT_EQ(ItemIdFileSize(taken.Item(0)), 0u) << "a folder never carries a size";
    EXPECT_EQ(ItemIdFileSize(taken.Item(1)), 2000u);
    EXPECT_EQ(ItemIdType(taken.Item(3)), kSpecial);

    device.failWith = -100;
    EXPECT_EQ(next(listing(SHCONTF_FOLDERS).get(), 1, S_FALSE), Names{}) << "a device error gives an empty enumerator";
    EXPECT_EQ(filled, -100);

    // Breadth first: R:\A holds a file and the folder B, which holds one more file.
    struct Tree : FakeDevice {
        int EnumFolder(const char* path)
        {
            entries.clear();
            if (std::string(path) == "R:\\A\\") entries = {Entry("f1", kFile), Entry("B", kFolderR)};
            if (std::string(path) == "R:\\A\\B\\") entries = {Entry("f2", kFile)};
            return static_cast<int>(entries.size());
        }
    } tree;
    CItemList expanded;
    expanded.Append(MakeItem("R:\\A", kFolderR));
    expanded.Append(MakeItem("top.txt", kFile));
    ASSERT_EQ(expanded.ExpandFolders(tree, nullptr), 0);
    EXPECT_EQ(NamesOf(expanded, true), (Names{"R:\\A\\", "top.txt", "R:\\A\\f1", "R:\\A\\B\\", "R:\\A\\B\\f2"}));
}

// Explorer's views ask for icons from 16 to 256 pixels, large and small in one call.
TEST_F(ShellFolderTest, IconsComeAtTheSizeAsked)
{
    ComPtr<IExtractIconA> icons{new CExtractIcon(file_.get())};
    ScopedIcon large, small;
    ASSERT_EQ(icons->Extract("*.txt", CExtractIcon::ICON_FILE, large.put(), small.put(), MAKELONG(48, 20)), S_OK);
    for (const auto& [icon, pixels] : {std::pair{large.get(), 48L}, {small.get(), 20L}}) {
        ICONINFO info{};
        BITMAP bitmap{};
        ASSERT_TRUE(GetIconInfo(icon, &info) && GetObjectA(info.hbmMask, sizeof bitmap, &bitmap));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        EXPECT_EQ(bitmap.bmWidth, pixels);
    }
}

}  // namespace

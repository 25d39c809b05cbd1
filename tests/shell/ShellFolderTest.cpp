// The folder in the manner of a shell's own folder tests: attributes,
// binding, comparison, display names and icons, then listing the stand-in
// note-taker through the shared note-taker object.
#include "shell/CShellFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devicelink/CNotetaker.h"
#include "shell/CExtractIcon.h"
#include "shell/Guids.h"
#include "tests/support/SimOnLine.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

std::string Wide(STRRET& name)
{
    EXPECT_EQ(name.uType, static_cast<UINT>(STRRET_WSTR));
    char text[MAX_PATH * 2] = "";
    WideCharToMultiByte(CP_ACP, 0, name.pOleStr, -1, text, sizeof text, nullptr, nullptr);
    ItemIdAllocator()->Free(name.pOleStr);
    return text;
}

class ShellFolderTest : public ::testing::Test {
protected:
    ShellFolderTest() : folder_(new CShellFolder(nullptr, nullptr)) {}
    ~ShellFolderTest() override { folder_->Release(); }

    SFGAOF Attributes(std::initializer_list<LPCITEMIDLIST> items, SFGAOF mask)
    {
        std::vector<LPCITEMIDLIST> list(items);
        EXPECT_EQ(folder_->GetAttributesOf(static_cast<UINT>(list.size()), list.data(), &mask), S_OK);
        return mask;
    }
    HRESULT Compare(LPARAM sortWord, LPCITEMIDLIST a, LPCITEMIDLIST b) { return folder_->CompareIDs(sortWord, a, b); }

    CShellFolder* folder_;
    ItemIdHolder file_{MakeItem("note.txt", 1, 2000)};
    ItemIdHolder folderR_{MakeItem("R:\\Letters", 2)};
    ItemIdHolder folderF_{MakeItem("F:\\Books", 3)};
    ItemIdHolder special_{MakeItem("Clock", 4)};
};

TEST_F(ShellFolderTest, AttributesFollowTheItemKind)
{
    EXPECT_EQ(Attributes({file_.get(), folderR_.get()}, 0xFFFFFFFF), 0x31u);
    EXPECT_EQ(Attributes({folderR_.get()}, SFGAO_FOLDER | SFGAO_HASSUBFOLDER), static_cast<SFGAOF>(SFGAO_FOLDER));
    EXPECT_EQ(Attributes({special_.get()}, SFGAO_FOLDER | SFGAO_HASSUBFOLDER),
              static_cast<SFGAOF>(SFGAO_FOLDER | SFGAO_HASSUBFOLDER));
    EXPECT_EQ(Attributes({folderR_.get()}, 0xFFFFFFFF), 0x28000131u);
    EXPECT_EQ(Attributes({folderF_.get()}, 0xFFFFFFFF), 0x28000131u);
    EXPECT_EQ(Attributes({special_.get()}, 0xFFFFFFFF), 0xA8000131u);
    EXPECT_EQ(Attributes({special_.get()}, SFGAO_FOLDER | 0x31), 0x20000031u) << "no subfolders unless asked";
    EXPECT_EQ(Attributes({folderR_.get()}, SFGAO_CANCOPY), static_cast<SFGAOF>(SFGAO_CANCOPY));
    EXPECT_EQ(Attributes({}, 0x1234), 0x1234u) << "no items leave the mask alone";
}

TEST_F(ShellFolderTest, BindingNeedsAFolder)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(folder_->BindToObject(file_.get(), nullptr, IID_IShellFolder, &object), E_INVALIDARG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(folder_->BindToObject(folderR_.get(), nullptr, IID_IDataObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(folder_->BindToStorage(folderR_.get(), nullptr, IID_IStream, &object), E_NOTIMPL);

    IShellFolder* child = nullptr;
    ASSERT_EQ(folder_->BindToObject(folderR_.get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&child)),
              S_OK);
    EXPECT_EQ(PathOf(static_cast<CShellFolder*>(child)->DeviceList()), "R:\\Letters\\");
    ItemIdHolder old(MakeItem("Old", 2));
    IShellFolder* grandchild = nullptr;
    ASSERT_EQ(child->BindToObject(old.get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&grandchild)), S_OK);
    EXPECT_EQ(PathOf(static_cast<CShellFolder*>(grandchild)->DeviceList()), "R:\\Letters\\Old\\");
    grandchild->Release();
    child->Release();
}

TEST_F(ShellFolderTest, CompareGoesLevelByLevel)
{
    ItemIdHolder aX(JoinItems({MakeItem("R:\\A", 2), MakeItem("x.txt", 1)}));
    ItemIdHolder bX(JoinItems({MakeItem("R:\\B", 2), MakeItem("X.TXT", 1)}));
    ItemIdHolder aY(JoinItems({MakeItem("R:\\A", 2), MakeItem("y.txt", 1)}));
    ItemIdHolder a(MakeItem("R:\\A", 2));
    const HRESULT before = 0x0000FFFF, after = 1;
    const struct {
        LPARAM sort;
        LPCITEMIDLIST left, right;
        HRESULT order;
    } rows[] = {
        {0, aX.get(), bX.get(), before},  // same name in different folders
        {0, bX.get(), aX.get(), after},
        {0, aX.get(), aY.get(), before},  // same folder, then the names
        {0, aX.get(), aX.get(), S_OK},
        {0, a.get(), aX.get(), before},   // a folder before what is inside it
        {4, a.get(), aX.get(), after},
        {0, nullptr, nullptr, S_OK},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Compare(row.sort, row.left, row.right), row.order)
            << PathOf(row.left) << " against " << PathOf(row.right) << ", sort " << row.sort;
}

TEST_F(ShellFolderTest, CompareItemsOrder)
{
    auto compare = [](LPARAM sort, LPCITEMIDLIST a, LPCITEMIDLIST b) { return CShellFolder::CompareItems(sort, a, b); };
    ItemIdHolder big(MakeItem("a.txt", 1, 9000)), small(MakeItem("b.txt", 1, 10));
    ItemIdHolder early(MakeItem("z.txt", 1, 0, MakeTime(2025, 1, 2, 3, 4)));
    ItemIdHolder late(MakeItem("y.txt", 1, 0, MakeTime(2025, 1, 2, 3, 5)));
    EXPECT_EQ(compare(0, folderR_.get(), file_.get()), -1) << "folders first";
    EXPECT_EQ(compare(4, folderR_.get(), file_.get()), 1) << "descending puts files first";
    EXPECT_EQ(compare(0, big.get(), small.get()), -1) << "by name";
    EXPECT_EQ(compare(1, big.get(), small.get()), 1) << "by size";
    EXPECT_EQ(compare(5, big.get(), small.get()), -1) << "by size, descending";
    EXPECT_EQ(compare(3, early.get(), late.get()), -1) << "by time, names would say otherwise";
    EXPECT_EQ(compare(2, big.get(), small.get()), -1) << "same type, then by name";
    EXPECT_EQ(compare(0, nullptr, file_.get()), -1);
    EXPECT_EQ(compare(0, file_.get(), nullptr), 1);
    EXPECT_EQ(compare(4, nullptr, file_.get()), 1);
}

TEST_F(ShellFolderTest, DisplayNameFlags)
{
    const struct {
        LPCITEMIDLIST item;
        SHGDNF flags;
        const char* name;  // null: E_INVALIDARG
    } rows[] = {
        {file_.get(), SHGDN_FOREDITING, "note.txt"},
        {folderR_.get(), SHGDN_FOREDITING | SHGDN_INFOLDER, "R:\\Letters"},
        {file_.get(), SHGDN_INFOLDER | SHGDN_FORPARSING, "note.txt"},
        {folderR_.get(), SHGDN_INFOLDER | SHGDN_FORADDRESSBAR, "R:\\Letters"},
        {file_.get(), SHGDN_INFOLDER | SHGDN_FORADDRESSBAR | SHGDN_FORPARSING, "note.txt"},
        {file_.get(), SHGDN_NORMAL, "note.txt"},  // no model known: no device asked
        {folderR_.get(), SHGDN_FORPARSING | SHGDN_FORADDRESSBAR, "R:\\Letters\\"},
        {file_.get(), SHGDN_INFOLDER | 0x2, nullptr},
    };
    for (const auto& row : rows) {
        STRRET name{};
        HRESULT hr = folder_->GetDisplayNameOf(row.item, row.flags, &name);
        if (!row.name) {
            EXPECT_EQ(hr, E_INVALIDARG) << std::hex << row.flags;
            continue;
        }
        ASSERT_EQ(hr, S_OK) << std::hex << row.flags;
        EXPECT_EQ(Wide(name), row.name) << std::hex << row.flags;
    }
    EXPECT_EQ(folder_->GetDisplayNameOf(file_.get(), SHGDN_NORMAL, nullptr), E_INVALIDARG);
}

// Explorer's details pane, columns and sorting read the folder through
// IShellFolder2 with the documented property keys of the storage set.
TEST_F(ShellFolderTest, DetailsOfTheFourColumns)
{
    ComPtr<IShellFolder2> folder;
    ASSERT_EQ(folder_->QueryInterface(IID_IShellFolder2, folder.putVoid()), S_OK);
    const GUID storage = {0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};
    const struct {
        DWORD pid;
        SHCOLSTATEF type;
        VARTYPE vt;
        const char* fileText;  // GetDetailsOf of the file
    } columns[] = {
        {10, SHCOLSTATE_TYPE_STR, VT_BSTR, "note.txt"},
        {12, SHCOLSTATE_TYPE_INT, VT_UI8, nullptr},
        {4, SHCOLSTATE_TYPE_STR, VT_BSTR, nullptr},
        {14, SHCOLSTATE_TYPE_DATE, VT_DATE, nullptr},
    };
    char expected[MAX_PATH];
    for (UINT column = 0; column < 4; ++column) {
        SHCOLUMNID key{};
        ASSERT_EQ(folder->MapColumnToSCID(column, &key), S_OK);
        EXPECT_TRUE(IsEqualGUID(key.fmtid, storage));
        EXPECT_EQ(key.pid, columns[column].pid) << "column " << column;
        SHCOLSTATEF state = 0;
        ASSERT_EQ(folder->GetDefaultColumnState(column, &state), S_OK);
        EXPECT_EQ(state & SHCOLSTATE_TYPEMASK, columns[column].type) << "column " << column;
        EXPECT_TRUE(state & SHCOLSTATE_ONBYDEFAULT);

        VARIANT value;
        ASSERT_EQ(folder->GetDetailsEx(file_.get(), &key, &value), S_OK);
        EXPECT_EQ(value.vt, columns[column].vt) << "column " << column;
        VariantClear(&value);

        SHELLDETAILS details{};
        ASSERT_EQ(folder->GetDetailsOf(file_.get(), column, &details), S_OK);
        const char* text = columns[column].fileText
                               ? columns[column].fileText
                               : ItemIdColumnText(static_cast<int>(column), file_.get(), expected, sizeof expected);
        EXPECT_EQ(Wide(details.str), text) << "column " << column;
        ASSERT_EQ(folder->GetDetailsOf(nullptr, column, &details), S_OK);
        EXPECT_FALSE(Wide(details.str).empty()) << "a header for column " << column;
    }
    SHCOLUMNID key{storage, 12};
    VARIANT value;
    ASSERT_EQ(folder->GetDetailsEx(file_.get(), &key, &value), S_OK);
    EXPECT_EQ(value.ullVal, 2000u);
    ASSERT_EQ(folder->GetDetailsEx(folderR_.get(), &key, &value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY) << "a folder has no size";
    key.pid = 14;
    ASSERT_EQ(folder->GetDetailsEx(file_.get(), &key, &value), S_OK);
    SYSTEMTIME utc{}, local{};
    VariantTimeToSystemTime(value.date, &utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    EXPECT_EQ(local.wHour, 14) << "the device's local 14:05 as UTC";
    EXPECT_EQ(local.wMinute, 5);
    SHELLDETAILS details{};
    EXPECT_EQ(folder->GetDetailsOf(file_.get(), 4, &details), E_FAIL) << "four columns";
    EXPECT_EQ(folder->MapColumnToSCID(4, &key), E_INVALIDARG);
    ULONG sort = 9, display = 9;
    EXPECT_EQ(folder->GetDefaultColumn(0, &sort, &display), S_OK);
    EXPECT_EQ(sort + display, 0u);
}

TEST_F(ShellFolderTest, CurrentFolderIsACopyOfTheInitialisedList)
{
    ComPtr<IPersistFolder2> persist;
    ASSERT_EQ(folder_->QueryInterface(IID_IPersistFolder2, persist.putVoid()), S_OK);
    LPITEMIDLIST current = reinterpret_cast<LPITEMIDLIST>(1);
    EXPECT_EQ(persist->GetCurFolder(&current), S_FALSE);
    EXPECT_EQ(current, nullptr);
    LPITEMIDLIST drives = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives), S_OK);
    ASSERT_EQ(persist->Initialize(drives), S_OK);
    ASSERT_EQ(persist->GetCurFolder(&current), S_OK);
    EXPECT_NE(current, drives);
    EXPECT_TRUE(ILIsEqual(current, drives));
    ILFree(current);
    ILFree(drives);
}

TEST_F(ShellFolderTest, ABindThatCannotJoinTheListsIsOutOfMemory)
{
    IMalloc* allocator = ItemIdAllocator();
    allocator->AddRef();
    ItemIdSetAllocator(nullptr);  // every list operation now fails
    void* child = reinterpret_cast<void*>(1);
    HRESULT hr = folder_->BindToObject(folderR_.get(), nullptr, IID_IShellFolder, &child);
    ItemIdSetAllocator(allocator);
    allocator->Release();
    EXPECT_EQ(hr, E_OUTOFMEMORY) << "not a folder for the device root";
    EXPECT_EQ(child, nullptr);
}

TEST_F(ShellFolderTest, IconsByKind)
{
    IExtractIconA* icon = nullptr;
    LPCITEMIDLIST items[] = {folderR_.get()};
    ASSERT_EQ(folder_->GetUIObjectOf(nullptr, 1, items, IID_IExtractIconA, nullptr, reinterpret_cast<void**>(&icon)),
              S_OK);
    int index = -1;
    UINT flags = 0;
    char folderPlace[MAX_PATH] = "";
    EXPECT_EQ(icon->GetIconLocation(0, folderPlace, sizeof folderPlace, &index, &flags), S_OK);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(flags, static_cast<UINT>(GIL_NOTFILENAME));
    icon->GetIconLocation(GIL_OPENICON, nullptr, 0, &index, &flags);
    EXPECT_EQ(index, 0);
    icon->Release();

    // The location and index are the shell's cache key: one per extension.
    auto place = [&](const char* name) {
        ItemIdHolder item(MakeItem(name, 1));
        CExtractIcon* extractor = new CExtractIcon(item.get());
        char text[MAX_PATH] = "";
        extractor->GetIconLocation(0, text, sizeof text, &index, &flags);
        extractor->Release();
        return std::string(text);
    };
    EXPECT_EQ(place("a.txt"), place("B.TXT"));
    EXPECT_NE(place("a.txt"), place("a.doc"));
    EXPECT_NE(place("a.txt"), std::string(folderPlace));
    EXPECT_NE(place("readme"), "");
    EXPECT_NE(std::string(folderPlace), "");

    CExtractIcon* fileIcon = new CExtractIcon(file_.get());
    fileIcon->GetIconLocation(GIL_OPENICON, nullptr, 0, &index, &flags);
    EXPECT_EQ(index, 2);
    HICON large = reinterpret_cast<HICON>(1), small = reinterpret_cast<HICON>(1);
    EXPECT_EQ(fileIcon->Extract("note.txt", 7, &large, &small, 0), S_OK);
    EXPECT_EQ(large, nullptr);
    EXPECT_EQ(small, nullptr);
    EXPECT_EQ(fileIcon->Extract(nullptr, 1, &large, &small, 0), S_OK);
    EXPECT_NE(large, nullptr);
    EXPECT_NE(small, nullptr);
    DestroyIcon(large);
    DestroyIcon(small);
    fileIcon->Release();

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(folder_->GetUIObjectOf(nullptr, 1, items, IID_IPersistFile, nullptr, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ShellFolderTest, InterfacesAndClass)
{
    IPersist* persist = nullptr;
    ASSERT_EQ(folder_->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    CLSID clsid;
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Pellor));
    persist->Release();
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(folder_->QueryInterface(IID_IShellExtInit, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(folder_->ParseDisplayName(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), E_POINTER);
}

TEST(ShellFolderNotetaker, SharedByEveryFolder)
{
    auto* first = new CShellFolder(nullptr, nullptr);
    CNotetaker* shared = NotetakerSession().get();
    ASSERT_NE(shared, nullptr);
    auto* second = new CShellFolder(nullptr, nullptr);
    EXPECT_EQ(NotetakerSession().get(), shared);
    first->Release();
    EXPECT_EQ(NotetakerSession().get(), shared);
    second->Release();
    EXPECT_EQ(NotetakerSession().get(), nullptr) << "the last folder took the note-taker object with it";
}

// The stand-in note-taker on COM1 of an in-memory line, found by detection.
class ShellFolderDevice : public ::testing::Test {
protected:
    ShellFolderDevice()
    {
        for (const char* folder : {"R", "R\\Letters", "F", "F\\Books", "special"})
            CreateDirectoryA(sim_.store.file(folder).c_str(), nullptr);
        TempDir::WriteAll(sim_.store.file("R\\Letters\\note.txt"), std::string(2000, 'n'));
        TempDir::WriteAll(sim_.store.file("special\\Clock"), "");
        root_ = new CShellFolder(nullptr, nullptr);
    }
    ~ShellFolderDevice() override
    {
        root_->Release();
    }
    std::vector<std::string> List(IShellFolder* folder, SHCONTF flags)
    {
        IEnumIDList* enumerator = nullptr;
        EXPECT_EQ(folder->EnumObjects(nullptr, flags, &enumerator), S_OK);
        std::vector<std::string> names;
        LPITEMIDLIST item;
        char name[MAX_PATH];
        while (enumerator && enumerator->Next(1, &item, nullptr) == S_OK) {
            names.emplace_back(ItemIdName(item, name, sizeof name));
            ItemIdFree(item);
        }
        if (enumerator) enumerator->Release();
        return names;
    }

    SimOnLine sim_{1};
    ErrorBoxCapture errors_;
    MessageBoxCapture boxes_;  // a refused rename says why
    CShellFolder* root_;
};

TEST_F(ShellFolderDevice, ListsBindsAndNamesDeviceItems)
{
    ItemIdHolder before(MakeItem("R:\\Letters", 2));
    STRRET early;
    ASSERT_EQ(root_->GetDisplayNameOf(before.get(), SHGDN_NORMAL, &early), S_OK);
    EXPECT_EQ(Wide(early), "R:\\Letters\\") << "no model known yet";
    EXPECT_EQ(sim_.device->CommandCount('W') + sim_.device->CommandCount('Y'), 0) << "a name never asks the device";
    EXPECT_EQ(List(root_, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS),
              (std::vector<std::string>{"R:\\Letters", "F:\\Books", "Clock"}));
    ItemIdHolder letters(MakeItem("R:\\Letters", 2));
    IShellFolder* child = nullptr;
    ASSERT_EQ(root_->BindToObject(letters.get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&child)), S_OK);
    EXPECT_EQ(List(child, SHCONTF_FOLDERS), std::vector<std::string>{});
    EXPECT_EQ(List(child, SHCONTF_NONFOLDERS), std::vector<std::string>{"note.txt"});

    IEnumIDList* enumerator = nullptr;
    ASSERT_EQ(child->EnumObjects(nullptr, SHCONTF_NONFOLDERS, &enumerator), S_OK);
    LPITEMIDLIST note = nullptr;
    ASSERT_EQ(enumerator->Next(1, &note, nullptr), S_OK);
    enumerator->Release();
    EXPECT_EQ(ItemIdFileSize(note), 2000u);
    STRRET name;
    ASSERT_EQ(child->GetDisplayNameOf(note, SHGDN_NORMAL, &name), S_OK);
    EXPECT_EQ(Wide(name), std::string(SimDevice::ModelName(5)) + ":R:\\Letters\\note.txt");
    ItemIdFree(note);
    ASSERT_EQ(root_->GetDisplayNameOf(letters.get(), SHGDN_FORPARSING, &name), S_OK);
    EXPECT_EQ(Wide(name), std::string(SimDevice::ModelName(5)) + ":R:\\Letters\\");
    child->Release();
    EXPECT_TRUE(errors_.texts.empty());
}

// What GetDisplayNameOf gives for editing or the address bar parses back.
TEST_F(ShellFolderDevice, ParsedNamesComeBackAsTheirItems)
{
    const struct {
        const wchar_t* name;
        const char* path;  // null: not found
    } rows[] = {
        {L"r:\\letters", "R:\\Letters\\"},
        {L"R:\\Letters\\NOTE.txt", "R:\\Letters\\note.txt"},
        {L"Clock", "Clock\\"},
        {L"R:\\Letters\\gone.txt", nullptr},
        {L"R:\\Let", nullptr},
    };
    for (const auto& row : rows) {
        LPITEMIDLIST list = reinterpret_cast<LPITEMIDLIST>(1);
        ULONG eaten = 0, attributes = SFGAO_FOLDER;
        HRESULT hr = root_->ParseDisplayName(nullptr, nullptr, const_cast<LPOLESTR>(row.name), &eaten, &list,
                                             &attributes);
        ItemIdHolder owned(list);
        if (!row.path) {
            EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
            EXPECT_EQ(list, nullptr);
            owned.release();
            continue;
        }
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(PathOf(list), row.path);
        EXPECT_EQ(eaten, wcslen(row.name));
        EXPECT_EQ(attributes != 0, ItemIdIsFolder(list));
    }
}

TEST_F(ShellFolderDevice, RenameOnTheDevice)
{
    ItemIdHolder letters(MakeItem("R:\\Letters", 2));
    IShellFolder* child = nullptr;
    ASSERT_EQ(root_->BindToObject(letters.get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&child)), S_OK);
    ItemIdHolder note(MakeItem("note.txt", 1, 2000));
    // As in Explorer the folder is listed first, which identifies the device's firmware.
    ASSERT_EQ(List(child, SHCONTF_NONFOLDERS), std::vector<std::string>{"note.txt"});

    LPITEMIDLIST renamed = reinterpret_cast<LPITEMIDLIST>(1);
    std::wstring tooLong(261, L'a');
    EXPECT_EQ(child->SetNameOf(nullptr, note.get(), tooLong.c_str(), SHGDN_NORMAL, &renamed), E_UNEXPECTED);
    EXPECT_EQ(renamed, nullptr);
    EXPECT_EQ(sim_.device->CommandCount('N'), 0) << "the device was not asked";
    EXPECT_EQ(child->SetNameOf(nullptr, note.get(), nullptr, SHGDN_NORMAL, &renamed), E_INVALIDARG);

    ASSERT_EQ(child->SetNameOf(nullptr, note.get(), L"memo.txt", SHGDN_NORMAL, &renamed), S_OK);
    ItemIdHolder owned(renamed);
    char name[MAX_PATH];
    EXPECT_STREQ(ItemIdName(renamed, name, sizeof name), "memo.txt");
    EXPECT_EQ(ItemIdFileSize(renamed), 2000u) << "the new identifier keeps the old data";
    EXPECT_TRUE(TempDir::Exists(sim_.store.file("R\\Letters\\memo.txt")));
    EXPECT_FALSE(TempDir::Exists(sim_.store.file("R\\Letters\\note.txt")));

    ItemIdHolder gone(MakeItem("gone.txt", 1));
    EXPECT_TRUE(FAILED(child->SetNameOf(nullptr, gone.get(), L"x.txt", SHGDN_NORMAL, &renamed)));
    EXPECT_EQ(renamed, nullptr);
    child->Release();
}

}  // namespace

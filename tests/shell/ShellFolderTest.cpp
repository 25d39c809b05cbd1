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

TEST_F(ShellFolderTest, CompareWalksLevelsAndLooksAtTheLast)
{
    ItemIdHolder a(JoinItems({MakeItem("R:\\A", 2), MakeItem("same.txt", 1)}));
    ItemIdHolder b(JoinItems({MakeItem("R:\\B", 2), MakeItem("SAME.TXT", 1)}));
    EXPECT_EQ(Compare(0, a.get(), b.get()), S_OK) << "same length: last identifiers only";
    ItemIdHolder shorter(MakeItem("same.txt", 1));
    EXPECT_EQ(Compare(0, shorter.get(), a.get()), static_cast<HRESULT>(0x0000FFFF));
    EXPECT_EQ(Compare(0, a.get(), shorter.get()), static_cast<HRESULT>(1));
    EXPECT_EQ(Compare(4, shorter.get(), a.get()), static_cast<HRESULT>(1)) << "descending";
    EXPECT_EQ(Compare(0, nullptr, nullptr), S_OK);
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
    STRRET name;
    EXPECT_EQ(folder_->GetDisplayNameOf(file_.get(), SHGDN_FOREDITING, &name), E_INVALIDARG);
    EXPECT_EQ(folder_->GetDisplayNameOf(file_.get(), SHGDN_FORPARSING | SHGDN_FORADDRESSBAR, &name), E_INVALIDARG);
    EXPECT_EQ(folder_->GetDisplayNameOf(file_.get(), SHGDN_INFOLDER | 0x2, &name), E_INVALIDARG);
    EXPECT_EQ(folder_->GetDisplayNameOf(file_.get(), SHGDN_NORMAL, nullptr), E_INVALIDARG);
    ASSERT_EQ(folder_->GetDisplayNameOf(file_.get(), SHGDN_INFOLDER | SHGDN_FORPARSING, &name), S_OK);
    EXPECT_EQ(Wide(name), "note.txt");
    ASSERT_EQ(folder_->GetDisplayNameOf(folderR_.get(), SHGDN_INFOLDER | SHGDN_FORADDRESSBAR, &name), S_OK);
    EXPECT_EQ(Wide(name), "R:\\Letters");
}

TEST_F(ShellFolderTest, IconsByKind)
{
    IExtractIconA* icon = nullptr;
    LPCITEMIDLIST items[] = {folderR_.get()};
    ASSERT_EQ(folder_->GetUIObjectOf(nullptr, 1, items, IID_IExtractIconA, nullptr, reinterpret_cast<void**>(&icon)),
              S_OK);
    int index = -1;
    UINT flags = 0;
    EXPECT_EQ(icon->GetIconLocation(0, nullptr, 0, &index, &flags), S_OK);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(flags, static_cast<UINT>(GIL_NOTFILENAME));
    icon->GetIconLocation(GIL_OPENICON, nullptr, 0, &index, &flags);
    EXPECT_EQ(index, 0);
    icon->Release();

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
    EXPECT_EQ(folder_->ParseDisplayName(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), E_NOTIMPL);
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

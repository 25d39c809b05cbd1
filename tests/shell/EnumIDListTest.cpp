#include "shell/CEnumIDList.h"

#include <gtest/gtest.h>

#include "foundation/ModuleLock.h"
#include "shell/CItemList.h"
#include "tests/shell/ShellTestSupport.h"

namespace {

std::vector<std::string> Names(const CItemList& list)
{
    std::vector<std::string> names;
    char name[MAX_PATH];
    for (UINT i = 0; i < list.Count(); ++i) names.emplace_back(ItemIdName(list.Item(i), name, sizeof name));
    return names;
}

std::vector<std::string> Paths(const CItemList& list)
{
    std::vector<std::string> paths;
    for (UINT i = 0; i < list.Count(); ++i) paths.push_back(PathOf(list.Item(i)));
    return paths;
}

class ItemListFill : public ::testing::Test {
protected:
    ItemListFill()
    {
        device_.entries = {Entry("R:\\Letters", 2, 999), Entry("note.txt", 1, 2000), Entry("", 1, 5),
                           Entry("F:\\Books", 3), Entry("Clock", 4), Entry("odd", 9)};
    }
    FakeDevice device_;
    ErrorBoxCapture errors_;
};

TEST_F(ItemListFill, ContentFlagsChooseFoldersAndFiles)
{
    CItemList list;
    ASSERT_TRUE(list.FillFromDevice(device_, nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, true, true));
    EXPECT_EQ(Names(list), (std::vector<std::string>{"R:\\Letters", "note.txt", "F:\\Books", "Clock"}));
    EXPECT_EQ(device_.listedPaths, std::vector<std::string>{"\\"});
    EXPECT_EQ(ItemIdFileSize(list.Item(0)), 0u) << "a folder never carries a size";
    EXPECT_EQ(ItemIdFileSize(list.Item(1)), 2000u);
    EXPECT_EQ(ItemIdType(list.Item(2)), 3);
    EXPECT_EQ(ItemIdType(list.Item(3)), 4);

    ASSERT_TRUE(list.FillFromDevice(device_, nullptr, SHCONTF_FOLDERS, true, true));
    EXPECT_EQ(Names(list), (std::vector<std::string>{"R:\\Letters", "F:\\Books", "Clock"}));
    ASSERT_TRUE(list.FillFromDevice(device_, nullptr, SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, true, true));
    EXPECT_EQ(Names(list), std::vector<std::string>{"note.txt"});
    ASSERT_TRUE(list.FillFromDevice(device_, nullptr, SHCONTF_INCLUDEHIDDEN, true, true));
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_TRUE(errors_.texts.empty());
}

TEST_F(ItemListFill, DeviceListsBelowAFolder)
{
    device_.entries = {Entry("a.txt", 1, 1), Entry("Old", 2)};
    ItemIdHolder folder(MakeItem("R:\\Letters", 2));
    CItemList list;
    ASSERT_TRUE(list.FillFromDevice(device_, folder.get(), SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, false, true));
    EXPECT_EQ(device_.listedPaths, std::vector<std::string>{"R:\\Letters\\"});
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"R:\\Letters\\a.txt", "R:\\Letters\\Old\\"}));
}

TEST_F(ItemListFill, ADeviceErrorIsShownAndKeepsWhatWasThere)
{
    CItemList list;
    ASSERT_TRUE(list.FillFromDevice(device_, nullptr, SHCONTF_NONFOLDERS, true, true));
    device_.failWith = -115;
    EXPECT_FALSE(list.FillFromDevice(device_, nullptr, SHCONTF_FOLDERS, true, false));
    EXPECT_EQ(errors_.texts, std::vector<std::string>{"device error -115"});
    EXPECT_EQ(Names(list), std::vector<std::string>{"note.txt"});
}

TEST_F(ItemListFill, ExpandFoldersWalksBreadthFirst)
{
    // R:\A holds a file and the folder B, which holds one more file.
    struct Tree : FakeDevice {
        int EnumFolder(const char* path)
        {
            listedPaths.emplace_back(path);
            entries.clear();
            if (std::string(path) == "R:\\A\\") entries = {Entry("f1", 1), Entry("B", 2)};
            if (std::string(path) == "R:\\A\\B\\") entries = {Entry("f2", 1)};
            return static_cast<int>(entries.size());
        }
    } tree;
    CItemList list;
    list.Append(MakeItem("R:\\A", 2));
    list.Append(MakeItem("top.txt", 1));
    ASSERT_TRUE(list.ExpandFolders(tree));
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"R:\\A\\", "top.txt", "R:\\A\\f1", "R:\\A\\B\\",
                                                     "R:\\A\\B\\f2"}));
}

TEST(ItemList, OwnershipCopyAttachDetach)
{
    long locks = ModuleLockCount();
    {
        CItemList list;
        EXPECT_EQ(ModuleLockCount(), locks + 1);
        ItemIdHolder a(MakeItem("a", 1)), b(MakeItem("b", 2));
        LPCITEMIDLIST items[] = {a.get(), b.get()};
        ASSERT_TRUE(list.CopyFrom(items, 2));
        EXPECT_NE(list.Item(0), a.get());
        EXPECT_EQ(Bytes(list.Item(1)), Bytes(b.get()));
        EXPECT_EQ(list.Item(2), nullptr);
        EXPECT_EQ(list.Append(nullptr), 0u);

        LPITEMIDLIST* array = nullptr;
        EXPECT_EQ(list.Detach(&array), 2u);
        EXPECT_EQ(list.Count(), 0u);
        CItemList other;
        other.Attach(array, 2);  // frees both copies and the array
        EXPECT_EQ(Names(other), (std::vector<std::string>{"a", "b"}));
    }
    EXPECT_EQ(ModuleLockCount(), locks);
}

TEST(ItemList, AFailedCopyLeavesTheListEmpty)
{
    ItemIdHolder a(MakeItem("a", 1));
    const BYTE foreign[] = {4, 0, 1, 2, 0, 0, 0};
    LPCITEMIDLIST items[] = {a.get(), reinterpret_cast<LPCITEMIDLIST>(foreign)};
    CItemList list;
    EXPECT_FALSE(list.CopyFrom(items, 2));
    EXPECT_EQ(list.Count(), 0u);
}

class EnumIDListTest : public ::testing::Test {
protected:
    EnumIDListTest()
    {
        device_.entries = {Entry("R:\\Letters", 2), Entry("a.txt", 1), Entry("b.txt", 1)};
        enumerator_ = new CEnumIDList(device_, nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
    }
    ~EnumIDListTest() override { enumerator_->Release(); }
    static std::string Name(LPITEMIDLIST item)
    {
        char name[MAX_PATH];
        std::string text = ItemIdName(item, name, sizeof name);
        ItemIdFree(item);
        return text;
    }
    FakeDevice device_;
    CEnumIDList* enumerator_;
};

TEST_F(EnumIDListTest, NextSkipAndResetWalkTheListOnce)
{
    LPITEMIDLIST items[5] = {};
    EXPECT_EQ(enumerator_->Next(2, items, nullptr), E_INVALIDARG) << "many without a count";
    EXPECT_EQ(items[0], nullptr);
    ULONG fetched = 99;
    EXPECT_EQ(enumerator_->Next(5, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u) << "the refused call did not move on";
    EXPECT_EQ(Name(items[0]), "R:\\Letters");
    EXPECT_EQ(Name(items[1]), "a.txt");
    EXPECT_EQ(Name(items[2]), "b.txt");
    EXPECT_EQ(enumerator_->Next(5, items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(enumerator_->Reset(), S_OK);
    EXPECT_EQ(enumerator_->Skip(2), S_OK);
    EXPECT_EQ(enumerator_->Next(1, items, nullptr), S_OK);
    EXPECT_EQ(Name(items[0]), "b.txt");
    enumerator_->Reset();
    EXPECT_EQ(enumerator_->Skip(3), S_FALSE);
    IEnumIDList* clone = reinterpret_cast<IEnumIDList*>(1);
    EXPECT_EQ(enumerator_->Clone(&clone), E_NOTIMPL);
    EXPECT_EQ(clone, nullptr);
}

TEST_F(EnumIDListTest, OnlyItsOwnInterfaces)
{
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(enumerator_->QueryInterface(IID_IShellFolder, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

TEST(EnumIDListError, ADeviceErrorGivesAnEmptyEnumerator)
{
    ErrorBoxCapture errors;
    FakeDevice device;
    device.failWith = -100;
    auto* enumerator = new CEnumIDList(device, nullptr, SHCONTF_FOLDERS);
    LPITEMIDLIST item = nullptr;
    ULONG fetched = 1;
    EXPECT_EQ(enumerator->Next(1, &item, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(errors.texts.size(), 1u);
    enumerator->Release();
}

}  // namespace

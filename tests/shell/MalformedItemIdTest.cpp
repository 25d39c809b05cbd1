// Identifiers come back from the shell's stores (saved views, shortcuts,
// the clipboard) and may be damaged or someone else's. Thousands of seeded
// malformed lists go to every function that reads identifiers; each list
// sits at the very end of a readable page, so a read past its end faults.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "shell/CShellFolder.h"
#include "shell/ItemId.h"
#include "tests/shell/ShellTestSupport.h"

namespace {

// Two pages, the second inaccessible; bytes are placed to end at the border.
class GuardedBuffer {
public:
    GuardedBuffer()
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    LPCITEMIDLIST Place(const std::vector<BYTE>& bytes)
    {
        BYTE* start = base_ + page_ - bytes.size();
        memcpy(start, bytes.data(), bytes.size());
        return reinterpret_cast<LPCITEMIDLIST>(start);
    }

private:
    DWORD page_ = 0;
    BYTE* base_ = nullptr;
};

bool IsOurAttributes(DWORD a) { return a == 0x80 || a == 0x10 || a == 0x14 || a == 0x1010; }

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) {}

    // A valid list of one or two levels, with its three zero bytes.
    std::vector<BYTE> ValidList(size_t& lastOffset)
    {
        ItemIdHolder list(Item());
        lastOffset = 0;
        if (Pick(2)) {
            lastOffset = ItemIdSize(list.get()) - 3;
            ItemIdHolder second(Item());
            list.reset(ItemIdConcat(list.get(), second.get()));
        }
        return Bytes(list.get());
    }

    // One malformed list: a valid one damaged in its last identifier.
    std::vector<BYTE> Malformed()
    {
        size_t at;
        std::vector<BYTE> bytes = ValidList(at);
        USHORT cb = Cb(bytes, at);
        switch (Pick(7)) {
        case 0:  // too short for its fixed fields
            SetCb(bytes, at, static_cast<USHORT>(1 + Pick(32)));
            break;
        case 1:  // claims more than it holds
            SetCb(bytes, at, static_cast<USHORT>(cb + 1 + Pick(65535 - cb)));
            break;
        case 2:  // claims less than its name needs
            SetCb(bytes, at, static_cast<USHORT>(33 + Pick(cb - 33)));
            break;
        case 3:  // cut within its name; what a store hands back still ends in zeros
            bytes.resize(at + 27 + Pick(cb - 33));
            bytes.insert(bytes.end(), 3, 0);
            break;
        case 4:  // a name without its zero, nothing after it
            bytes.resize(at + cb);
            for (size_t i = at + cb - 6; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(1 + Pick(255));
            break;
        case 5:  // someone else's attributes
            SetAttributes(bytes, at, ForeignAttributes());
            break;
        case 6:  // no terminator: the list runs into other bytes
            bytes.resize(bytes.size() - 3);
            bytes.insert(bytes.end(), {static_cast<BYTE>(1 + Pick(255)), static_cast<BYTE>(Pick(2))});
            AppendDword(bytes, ForeignAttributes());
            break;
        }
        return bytes;
    }

private:
    LPITEMIDLIST Item()
    {
        std::string name(2 + Pick(40), 'a');
        for (char& c : name) c = static_cast<char>('a' + Pick(26));
        return MakeItem(name.c_str(), 1 + static_cast<int>(Pick(4)), static_cast<DWORD>(random_()));
    }
    unsigned Pick(unsigned count) { return std::uniform_int_distribution<unsigned>(0, count - 1)(random_); }
    DWORD ForeignAttributes()
    {
        DWORD a;
        do a = static_cast<DWORD>(random_()) >> Pick(32);
        while (IsOurAttributes(a));
        return a;
    }
    static USHORT Cb(const std::vector<BYTE>& b, size_t at) { return static_cast<USHORT>(b[at] | b[at + 1] << 8); }
    static void SetCb(std::vector<BYTE>& b, size_t at, USHORT cb) { memcpy(&b[at], &cb, 2); }
    static void SetAttributes(std::vector<BYTE>& b, size_t at, DWORD a) { memcpy(&b[at + 2], &a, 4); }
    static void AppendDword(std::vector<BYTE>& b, DWORD value)
    {
        const BYTE* v = reinterpret_cast<const BYTE*>(&value);
        b.insert(b.end(), v, v + 4);
    }

    std::mt19937 random_;
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
    ItemIdNext(bad);  // may step over a sound first identifier, must not fault
    EXPECT_EQ(ItemIdAttributes(bad), 0u);
    EXPECT_FALSE(ItemIdIsFolder(bad));
    EXPECT_FALSE(ItemIdIsSpecial(bad));
    EXPECT_EQ(ItemIdType(bad), 1);
    EXPECT_EQ(ItemIdFileSize(bad), 0u);
    FILETIME time = ItemIdTime(bad);
    EXPECT_EQ(time.dwLowDateTime | time.dwHighDateTime, 0u);
    char text[MAX_PATH];
    EXPECT_STREQ(ItemIdName(bad, text, sizeof text), "");
    EXPECT_STREQ(ItemIdName(bad, text, sizeof text, true), "");
    EXPECT_EQ(ItemIdPath(bad, text, sizeof text, false), 0u);
    EXPECT_EQ(ItemIdPath(bad, text, sizeof text, true), 0u);
    for (int column = 0; column < 4; ++column) EXPECT_STREQ(ItemIdColumnText(column, bad, text, sizeof text), "");

    EXPECT_EQ(folder->CompareIDs(0, bad, good), E_INVALIDARG);
    EXPECT_EQ(folder->CompareIDs(3, good, bad), E_INVALIDARG);
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
    MalformedItemIdTest() { folder_ = new CShellFolder(nullptr, nullptr); }
    ~MalformedItemIdTest() override { folder_->Release(); }
    CShellFolder* folder_;
    GuardedBuffer buffer_;
};

TEST_F(MalformedItemIdTest, SeededDamagedListsAreRefused)
{
    const unsigned seed = 20261206;
    Generator generator(seed);
    ItemIdHolder good(MakeItem("note.txt", 1));
    for (int round = 0; round < 5000; ++round) {
        std::vector<BYTE> bytes = generator.Malformed();
        SCOPED_TRACE(testing::Message() << "seed " << seed << " round " << round);
        ExpectRefused(buffer_.Place(bytes), folder_, good.get());
        if (HasFailure()) break;
    }
}

TEST_F(MalformedItemIdTest, SoundListsAtThePageEndAreRead)
{
    Generator generator(7);
    for (int round = 0; round < 500; ++round) {
        size_t at;
        std::vector<BYTE> bytes = generator.ValidList(at);
        LPCITEMIDLIST list = buffer_.Place(bytes);
        ASSERT_TRUE(ItemIdIsValid(list));
        EXPECT_EQ(ItemIdSize(list), bytes.size());
        EXPECT_EQ(reinterpret_cast<const BYTE*>(ItemIdLast(list)), reinterpret_cast<const BYTE*>(list) + at);
    }
}

TEST_F(MalformedItemIdTest, TheShellsOwnIdentifiersAreRefused)
{
    for (int csidl : {CSIDL_DRIVES, CSIDL_PERSONAL, CSIDL_WINDOWS}) {
        LPITEMIDLIST shellList = nullptr;
        ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &shellList)));
        std::vector<BYTE> bytes(reinterpret_cast<BYTE*>(shellList),
                                reinterpret_cast<BYTE*>(shellList) + ILGetSize(shellList));
        CoTaskMemFree(shellList);
        ItemIdHolder good(MakeItem("x", 2));
        ExpectRefused(buffer_.Place(bytes), folder_, good.get());
    }
}

}  // namespace

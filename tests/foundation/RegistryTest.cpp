#include "foundation/Registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const kKey = "Software\\PellorTest\\Registry";

// Writes a value of any type and size by hand.
void Put(const char* name, DWORD type, const void* data, DWORD size)
{
    RegKey key;
    ASSERT_EQ(key.create(HKEY_CURRENT_USER, kKey, KEY_WRITE), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteRegTree(HKEY_CURRENT_USER, "Software\\PellorTest"); }
    void TearDown() override { DeleteRegTree(HKEY_CURRENT_USER, "Software\\PellorTest"); }
};

TEST_F(RegistryTest, TextCountsOnlyWhenItFitsWithItsZero)
{
    char buffer[8];
    Put("Port", REG_SZ, "COMMANDER", 10);
    EXPECT_FALSE(ReadRegText(kKey, "Port", buffer, sizeof buffer, "a long default"));
    EXPECT_STREQ(buffer, "a long ");  // the default, cut to the buffer
    Put("Port", REG_SZ, "COM1234", 8);
    EXPECT_TRUE(ReadRegText(kKey, "Port", buffer, sizeof buffer, nullptr));
    EXPECT_STREQ(buffer, "COM1234");
    Put("Port", REG_SZ, "COM2", 4);  // stored without its zero
    EXPECT_TRUE(ReadRegTextFrom(HKEY_CURRENT_USER, kKey, "Port", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "COM2");
    Put("Port", REG_SZ, "ABCDEFGH", 8);  // no room left for the zero
    EXPECT_FALSE(ReadRegTextFrom(HKEY_CURRENT_USER, kKey, "Port", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
}

TEST_F(RegistryTest, MultiTextSkipsEmptyEntriesAndStopsAtTheFirstEmptyText)
{
    ASSERT_TRUE(WriteRegMultiText(HKEY_CURRENT_USER, kKey, "Masks", {"*.txt", "", "*.brl"}));
    RegKey key;
    ASSERT_EQ(key.open(HKEY_CURRENT_USER, kKey, KEY_QUERY_VALUE), ERROR_SUCCESS);
    char raw[32];
    DWORD type = 0, size = sizeof raw;
    ASSERT_EQ(RegQueryValueExA(key.get(), "Masks", nullptr, &type, reinterpret_cast<BYTE*>(raw), &size), 0);
    EXPECT_TRUE(std::string(raw, size) == std::string("*.txt\0*.brl\0\0", 13) && type == REG_MULTI_SZ);
    const struct { DWORD type; std::string stored; std::vector<std::string> read; } rows[] = {
        {REG_MULTI_SZ, std::string(raw, size), {"*.txt", "*.brl"}},
        {REG_MULTI_SZ, std::string("a\0\0b\0\0", 6), {"a"}},
        {REG_MULTI_SZ, std::string("ab\0cd", 5), {"ab", "cd"}},  // without its final zeros
        {REG_SZ, std::string("*.txt", 6), {}},
    };
    for (const auto& r : rows) {
        std::vector<std::string> list = {"stale"};
        Put("Masks", r.type, r.stored.data(), static_cast<DWORD>(r.stored.size()));
        EXPECT_EQ(ReadRegMultiText(HKEY_CURRENT_USER, kKey, "Masks", list), r.type == REG_MULTI_SZ);
        EXPECT_EQ(list, r.read);
    }
}

TEST_F(RegistryTest, DeleteTreeRemovesNestedKeysAndReportsAMissingOne)
{
    const std::string root = "Software\\PellorTest\\Tree";
    for (const char* sub : {"\\a\\b\\c", "\\a\\d", "\\e"}) {
        RegKey key;
        ASSERT_EQ(key.create(HKEY_CURRENT_USER, (root + sub).c_str(), KEY_WRITE), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key.get(), "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_SUCCESS);
    }
    EXPECT_EQ(DeleteRegTree(HKEY_CURRENT_USER, root.c_str()), ERROR_SUCCESS);
    RegKey key;
    EXPECT_EQ(key.open(HKEY_CURRENT_USER, root.c_str(), KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.open(HKEY_CURRENT_USER, "Software\\PellorTest", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(DeleteRegTree(HKEY_CURRENT_USER, root.c_str()), ERROR_FILE_NOT_FOUND);
}

}  // namespace

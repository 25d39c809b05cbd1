#include "foundation/Registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/foundation/RegValue.h"

namespace {

const char* const kKey = "Software\\PellorTest\\Registry";
// DeleteRegTree on nested keys, and on a missing one, is shown by registry_wine's unregistrations.

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteRegTree(HKEY_CURRENT_USER, "Software\\PellorTest"); }
    void TearDown() override { DeleteRegTree(HKEY_CURRENT_USER, "Software\\PellorTest"); }
};

TEST_F(RegistryTest, TextCountsOnlyWhenItFitsWithItsZero)
{
    char buffer[8];
    Put("Port", {REG_SZ, std::string("COMMANDER", 10)}, HKEY_CURRENT_USER, kKey);
    EXPECT_FALSE(ReadRegText(kKey, "Port", buffer, sizeof buffer, "a long default"));
    EXPECT_STREQ(buffer, "a long ");  // the default, cut to the buffer
    const struct { std::string stored; bool found; const char* read; } rows[] = {
        {std::string("COM1234", 8), true, "COM1234"},
        {"COM2", true, "COM2"},       // stored without its zero
        {"ABCDEFGH", false, ""},      // no room left for the zero
    };
    for (const auto& r : rows) {
        Put("Port", {REG_SZ, r.stored}, HKEY_CURRENT_USER, kKey);
        EXPECT_EQ(ReadRegText(kKey, "Port", buffer, sizeof buffer, nullptr), r.found) << r.read;
        EXPECT_STREQ(buffer, r.read);
    }
}

TEST_F(RegistryTest, MultiTextSkipsEmptyEntriesAndStopsAtTheFirstEmptyText)
{
    ASSERT_TRUE(WriteRegMultiText(HKEY_CURRENT_USER, kKey, "Masks", {"*.txt", "", "*.brl"}));
    const RegValue written = Get("Masks", HKEY_CURRENT_USER, kKey);
    EXPECT_EQ(written, (RegValue{REG_MULTI_SZ, std::string("*.txt\0*.brl\0\0", 13)}));
    const struct { RegValue stored; std::vector<std::string> read; } rows[] = {
        {written, {"*.txt", "*.brl"}},
        {RegValue{REG_MULTI_SZ, std::string("a\0\0b\0\0", 6)}, {"a"}},
        {RegValue{REG_MULTI_SZ, std::string("ab\0cd", 5)}, {"ab", "cd"}},  // without its final zeros
        {Text("*.txt"), {}},
    };
    for (const auto& r : rows) {
        std::vector<std::string> list = {"stale"};
        Put("Masks", r.stored, HKEY_CURRENT_USER, kKey);
        EXPECT_EQ(ReadRegMultiText(HKEY_CURRENT_USER, kKey, "Masks", list), r.stored.type == REG_MULTI_SZ);
        EXPECT_EQ(list, r.read);
    }
}

}  // namespace

// A device is not trusted input: what its names become on the PC.
#include "devicefiles/PcName.h"

#include <gtest/gtest.h>

namespace {

TEST(PcNameTest, WhatEachHostileNameBecomesAndPlainNamesStay)
{
    const struct { const char* device; const char* pc; } table[] = {
        {"letters\\note.txt", "letters\\note.txt"},       {"letters\\..\\..\\evil.txt", "letters\\__\\__\\evil.txt"},
        {"letters\\C:\\win.ini", "letters\\C_\\win.ini"}, {"letters\\a:b*c?.txt", "letters\\a_b_c_.txt"},
        {"letters\\CON", "letters\\_CON"},                {"letters\\com1.txt", "letters\\_com1.txt"},
        {"letters\\dots...", "letters\\dots.._"},         {"letters\\\\x", "letters\\x"},
        {"letters/../x", "letters\\__\\x"},               {"letters\\tab\there", "letters\\tab_here"},
        {"Mein Brief.brl", "Mein Brief.brl"},             {"x.y.z", "x.y.z"},
        {"CONTENT.txt", "CONTENT.txt"},                   {"com10", "com10"},
        {"a", "a"},
    };
    for (const auto& row : table) EXPECT_EQ(SafePcRelativePath(row.device), row.pc) << row.device;
    EXPECT_EQ(SafePcName(""), "_");
}

}  // namespace

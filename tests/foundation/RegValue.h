#pragma once
// Registry values written and read back by hand, as stored: a type and bytes.
#include <gtest/gtest.h>

#include <string>

#include "foundation/CReg.h"
#include "foundation/Registry.h"

// REG_NONE when there is no value.
struct RegValue {
    DWORD type = REG_NONE;
    std::string bytes;
    bool operator==(const RegValue& other) const { return type == other.type && bytes == other.bytes; }
};
inline RegValue Dword(DWORD value) { return {REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4)}; }
inline RegValue Text(const std::string& text) { return {REG_SZ, std::string(text.c_str(), text.size() + 1)}; }

// Writes the value, or deletes it for REG_NONE; by default a setting of the user's.
inline void Put(const char* name, const RegValue& value, HKEY root = HKEY_CURRENT_USER, const char* key = CReg::kKey)
{
    RegKey k;
    ASSERT_EQ(k.create(root, key, KEY_WRITE), ERROR_SUCCESS);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(value.bytes.data());
    if (value.type == REG_NONE) RegDeleteValueA(k.get(), name);
    else RegSetValueExA(k.get(), name, 0, value.type, bytes, static_cast<DWORD>(value.bytes.size()));
}

inline RegValue Get(const char* name, HKEY root = HKEY_CURRENT_USER, const char* key = CReg::kKey)
{
    RegValue value;
    RegKey k;
    char data[2048];
    DWORD size = sizeof data;
    if (k.open(root, key, KEY_QUERY_VALUE) != ERROR_SUCCESS ||
        RegQueryValueExA(k.get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return RegValue();
    value.bytes.assign(data, size);
    return value;
}

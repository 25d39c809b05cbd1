#include "foundation/Registry.h"

#include <cstring>

namespace {

const HKEY kLookupOrder[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};

// Reads a value of `type` into buffer; `size` is the buffer's size on entry
// and the value's size on success. A value too large for the buffer fails.
bool QueryValue(HKEY root, const char* key, const char* name, DWORD type, void* buffer, DWORD& size)
{
    RegKey k;
    if (k.open(root, key, KEY_QUERY_VALUE) != ERROR_SUCCESS) return false;
    DWORD found = REG_NONE;
    if (RegQueryValueExA(k.get(), name, nullptr, &found, static_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    return found == type;
}

bool QueryExactSize(HKEY root, const char* key, const char* name, DWORD type, void* buffer, DWORD size)
{
    DWORD got = size;
    return QueryValue(root, key, name, type, buffer, got) && got == size;
}

// The stored text need not end in a zero; it counts only when it fits with one.
bool QueryText(HKEY root, const char* key, const char* name, char* buffer, DWORD size)
{
    DWORD got = size;
    if (!QueryValue(root, key, name, REG_SZ, buffer, got)) return false;
    if (got == 0 || buffer[got - 1] == '\0') {
        if (got == 0) buffer[0] = '\0';
        return true;
    }
    if (got >= size) return false;
    buffer[got] = '\0';
    return true;
}

bool SetValue(HKEY root, const char* key, const char* name, DWORD type, const void* data, DWORD size)
{
    RegKey k;
    if (k.create(root, key, KEY_WRITE) != ERROR_SUCCESS) return false;
    return RegSetValueExA(k.get(), name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

}  // namespace

LONG RegKey::open(HKEY root, const char* path, REGSAM access) { return RegOpenKeyExA(root, path, 0, access, put()); }

LONG RegKey::create(HKEY root, const char* path, REGSAM access)
{
    return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, put(), nullptr);
}

DWORD ReadRegDword(const char* key, const char* name, DWORD defaultValue)
{
    for (HKEY root : kLookupOrder) {
        DWORD value = 0;
        if (QueryExactSize(root, key, name, REG_DWORD, &value, sizeof value)) return value;
    }
    return defaultValue;
}

bool ReadRegText(const char* key, const char* name, char* buffer, DWORD size, const char* defaultText)
{
    if (size == 0) return false;
    for (HKEY root : kLookupOrder)
        if (QueryText(root, key, name, buffer, size)) return true;
    buffer[0] = '\0';
    if (defaultText) {
        strncpy(buffer, defaultText, size - 1);
        buffer[size - 1] = '\0';
    }
    return false;
}

bool ReadRegBinary(const char* key, const char* name, void* buffer, DWORD size, const void* defaultBytes)
{
    for (HKEY root : kLookupOrder)
        if (QueryExactSize(root, key, name, REG_BINARY, buffer, size)) return true;
    if (defaultBytes) memcpy(buffer, defaultBytes, size);
    else memset(buffer, 0, size);
    return false;
}

bool ReadRegTextFrom(HKEY root, const char* key, const char* name, char* buffer, DWORD size)
{
    if (size == 0) return false;
    if (QueryText(root, key, name, buffer, size)) return true;
    buffer[0] = '\0';
    return false;
}

bool ReadRegMultiText(HKEY root, const char* key, const char* name, std::vector<std::string>& list)
{
    list.clear();
    RegKey k;
    if (k.open(root, key, KEY_QUERY_VALUE) != ERROR_SUCCESS) return false;
    DWORD type = REG_NONE, size = 0;
    if (RegQueryValueExA(k.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_MULTI_SZ)
        return false;
    // Two spare zeros end the last text and the list even when the value lacks them.
    std::vector<char> data(size + 2, '\0');
    if (RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
        return false;
    for (const char* text = data.data(); *text; text += strlen(text) + 1) list.emplace_back(text);
    return true;
}

bool WriteRegDword(HKEY root, const char* key, const char* name, DWORD value)
{
    return SetValue(root, key, name, REG_DWORD, &value, sizeof value);
}

bool WriteRegText(HKEY root, const char* key, const char* name, const char* text)
{
    return SetValue(root, key, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

bool WriteRegBinary(HKEY root, const char* key, const char* name, const void* data, DWORD size)
{
    return SetValue(root, key, name, REG_BINARY, data, size);
}

bool WriteRegMultiText(HKEY root, const char* key, const char* name, const std::vector<std::string>& list)
{
    std::string data;
    for (const std::string& text : list) {
        if (text.empty()) continue;
        data += text;
        data += '\0';
    }
    data += '\0';
    return SetValue(root, key, name, REG_MULTI_SZ, data.data(), static_cast<DWORD>(data.size()));
}

LONG DeleteRegTree(HKEY root, const char* key)
{
    {
        RegKey k;
        LONG result = k.open(root, key, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE);
        if (result != ERROR_SUCCESS) return result;
        // Always the first subkey: each one found is gone before the next look.
        for (;;) {
            char subkey[256];
            DWORD length = sizeof subkey;
            result = RegEnumKeyExA(k.get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS) break;
            if (result == ERROR_SUCCESS) result = DeleteRegTree(k.get(), subkey);
            if (result != ERROR_SUCCESS) return result;
        }
    }
    return RegDeleteKeyA(root, key);
}

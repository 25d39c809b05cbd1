#pragma once
// Reading and writing single registry values. Readers without a root look in
// the current user's hive first and then in the machine-wide one, so that an
// administrator can give defaults for everyone; a value of the wrong type or
// size counts as missing in a hive. Writers create the key when it is missing.
#include <windows.h>

#include "foundation/ScopedHandle.h"

#include <string>
#include <vector>

// An open registry key, closed when the holder goes.
class RegKey : public ScopedResource<HKEY, RegCloseKey> {
public:
    LONG open(HKEY root, const char* path, REGSAM access);
    LONG create(HKEY root, const char* path, REGSAM access);
    void close() { reset(); }
};

DWORD ReadRegDword(const char* key, const char* name, DWORD defaultValue);
// When missing: the default cut to the buffer, or an empty buffer for none. True when found.
bool ReadRegText(const char* key, const char* name, char* buffer, DWORD size, const char* defaultText);
// The value must be exactly `size` bytes. When missing: the default bytes, or zeros for none.
bool ReadRegBinary(const char* key, const char* name, void* buffer, DWORD size, const void* defaultBytes);
bool ReadRegTextFrom(HKEY root, const char* key, const char* name, char* buffer, DWORD size);
// Clears the list, then appends each text up to the first empty one.
bool ReadRegMultiText(HKEY root, const char* key, const char* name, std::vector<std::string>& list);

bool WriteRegDword(HKEY root, const char* key, const char* name, DWORD value);
bool WriteRegText(HKEY root, const char* key, const char* name, const char* text);
bool WriteRegBinary(HKEY root, const char* key, const char* name, const void* data, DWORD size);
// Empty texts are left out: an empty one would end the list for a reader.
bool WriteRegMultiText(HKEY root, const char* key, const char* name, const std::vector<std::string>& list);

// Deletes the key with all its subkeys, depth-first. Returns ERROR_SUCCESS or
// the first failure (of opening the key, or of deleting a subkey or the key).
LONG DeleteRegTree(HKEY root, const char* key);

#pragma once
// How a PC path becomes the name the note-taker receives: the device keeps
// names of at most 20 characters whose extension, dot included, has at most
// 4; any other component is replaced by its 8.3 alias.
#include <windows.h>

#include <string>
#include <vector>

// Maps `relative` below `base` (a folder, or a drive such as "C:") for an
// entry of type 2 (R:), 3 (F:) or 4 (special entry). `out` holds MAX_PATH
// characters. Returns out, or nullptr (out empty) when the path cannot be
// mapped. With no base the relative name comes back unchanged.
char* MakeDeviceName(char* out, int type, const char* base, const char* relative);

// The device path for a mapped name: "R:", "F:" or "C:" by type, a
// backslash, then the name. Empty when the name cannot be mapped.
char* MakeDevicePath(char* out, int type, const char* base, const char* relative);

// The file system's short (8.3) form of a path, GetShortPathNameA by
// default; a volume with short names turned off gives the long path back,
// and then a short name of our own is made. Tests replace the source.
using ShortPathSource = DWORD(WINAPI*)(const char* path, char* shortPath, DWORD size);
ShortPathSource SetShortPathSource(ShortPathSource source);  // nullptr restores the system's

// True when the device keeps this name component as it is.
bool DeviceKeepsName(const char* component);

// The name a PC file goes under on the device: the last component of its
// mapped path (a path without a drive, its own name where the device keeps
// it). False when there is none the device keeps.
bool DeviceFileName(const std::string& pcPath, std::string& name);

// Whether two device paths of `paths` are one to the device (it ignores
// case); `first` and `second` (first < second) name the first such pair.
bool FindSharedDevicePath(const std::vector<std::string>& paths, size_t& first, size_t& second);

// Whether `names` (a folder's entries) hold `name`, as the device compares: without case.
bool NameTaken(const std::vector<std::string>& names, const std::string& name);

#pragma once
// A device folder as the device itself names it: no trailing backslash, no
// drive for R: (F: keeps its drive); the root stays "\". Never cut: the
// channel refuses a path too long rather than send another one.
#include <cstddef>
#include <set>
#include <string>

std::string FolderPathToSend(const char* path);

// A walk into folders below folders (copying or deleting a folder, a
// backup, ls -r) goes into each once, keyed on the path as the device is
// sent it, and no deeper than this: a device that lists a folder inside
// itself would otherwise be walked until the path is cut at 259 characters,
// and then for ever. A path of 259 characters holds at most 130 levels.
constexpr size_t kMaxWalkDepth = 64;
// False when the walk must not go into `path`: seen before, or too deep.
bool WalkInto(std::set<std::string>& seen, const char* path);

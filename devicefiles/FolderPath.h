#pragma once
// A device folder as the device itself names it: no trailing backslash, no
// drive for R: (F: keeps its drive); the root stays "\".
#include <string>

std::string FolderPathToSend(const char* path);

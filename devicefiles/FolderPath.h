#pragma once
// A device folder as the device itself names it: no drive, no trailing
// backslash; the root stays "\".
#include <string>

std::string FolderPathToSend(const char* path);

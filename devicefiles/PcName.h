#pragma once
// The device is not trusted: a name it reports must never make a file of
// ours land outside the folder the user chose, nor name a device or a
// stream on the PC.
#include <windows.h>

#include <string>

// One device name component as a PC file name: characters Windows forbids
// become '_', a component of only dots or blanks becomes as many '_', a
// trailing dot or blank becomes '_', and a reserved device name (CON, NUL,
// CONIN$, COM1, COM with a superscript digit ..., also with blanks before its
// dot) gets a leading '_'. A name the PC's code page cannot read has its
// bytes above 127 made '_': the PC would otherwise make one name of several.
std::string SafePcName(const std::string& component);

// A backslash-separated device path below its drive, each component made
// safe and empty components dropped.
std::string SafePcRelativePath(const std::string& path);

// The size of a PC file to send to the device. Folders count as missing
// (system error 2) and files of 4 GiB or more are refused (system error 84);
// the thread's last error says which.
bool PcFileSize(const char* path, DWORD& size);

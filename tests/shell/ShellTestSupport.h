#pragma once
// Helpers shared by the shell tests: identifiers built from plain values,
// and a stand-in for the note-taker object's listing calls.
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "devicefiles/DeviceEntry.h"
#include "devicefiles/UserMessage.h"
#include "shell/CItemList.h"
#include "shell/ItemId.h"

SYSTEMTIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute);
// A one-item list for an entry of the given type (1 file, 2 R: folder, ...).
LPITEMIDLIST MakeItem(const char* name, int type, DWORD size = 0, SYSTEMTIME time = MakeTime(2026, 12, 4, 14, 5));
// The items joined into one device list (each is freed).
LPITEMIDLIST JoinItems(std::initializer_list<LPITEMIDLIST> items);
std::vector<BYTE> Bytes(LPCITEMIDLIST list);  // ItemIdSize bytes
std::string PathOf(LPCITEMIDLIST list, bool stripDrive = false, size_t size = MAX_PATH);

// Serves listings the way CNotetaker::EnumFolder and GetEntry do.
class FakeDevice {
public:
    std::vector<std::string> listedPaths;
    std::vector<DeviceEntry> entries;  // served for every path
    int failWith = 0;                  // a negative code makes EnumFolder fail

    int EnumFolder(const char* path);
    int GetEntry(size_t index, DeviceEntry& out);
    char* GetErrorText(char* buffer, int size, int code);
};
DeviceEntry Entry(const char* name, int type, DWORD size = 0);

// Bytes that differ from one position and one seed to the next.
std::string Pattern(size_t size, int seed);
// A CF_HDROP block listing the paths.
HGLOBAL MakeHDrop(const std::vector<std::string>& paths);
// A source that offers the paths as CF_HDROP, as Explorer's copy does.
class CDataObject;
CDataObject* PcFiles(const std::vector<std::string>& paths);

// Collects what would have been shown in the device error box.
struct ErrorBoxCapture {
    ErrorBoxCapture();
    ~ErrorBoxCapture();
    static std::vector<std::string> texts;
    DeviceErrorBox previous_;
};

// Collects the texts and flags of the message boxes the code would show.
struct MessageBoxCapture {
    MessageBoxCapture();
    ~MessageBoxCapture();
    static std::vector<std::string> texts;
    static std::vector<UINT> flags;
    MessageBoxHook previous_;
};

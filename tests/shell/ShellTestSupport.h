#pragma once
// Helpers shared by the shell, view and accessibility tests: identifiers built
// from plain values, PC file lists, and captures of the boxes the code would show.
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "devicefiles/DeviceEntry.h"
#include "devicefiles/UserMessage.h"
#include "shell/CItemList.h"
#include "shell/ComBase.h"
#include "shell/ItemId.h"

using Names = std::vector<std::string>;
constexpr int kFile = DeviceEntry::TYPE_FILE, kFolderR = DeviceEntry::TYPE_FOLDER_R,
              kFolderF = DeviceEntry::TYPE_FOLDER_F, kSpecial = DeviceEntry::TYPE_SPECIAL;

SYSTEMTIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute);
LPITEMIDLIST MakeItem(const char* name, int type, DWORD size = 0, SYSTEMTIME time = MakeTime(2026, 12, 4, 14, 5));
LPITEMIDLIST JoinItems(std::initializer_list<LPITEMIDLIST> items);  // each is freed
std::string PathOf(LPCITEMIDLIST list, bool stripDrive = false, size_t size = MAX_PATH);
std::string Wide(STRRET& name);  // a STRRET_WSTR, freed
// The folder below `parent` for the item of that name and type.
ComPtr<IShellFolder> BindFolder(IShellFolder* parent, const char* name, int type = kFolderR);

// Bytes that differ from one position and one seed to the next.
std::string Pattern(size_t size, int seed);
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8(const wchar_t* text);
// A source that offers the paths (UTF-8) as CF_HDROP in wide characters, as Explorer's copy does.
class CDataObject;
struct IDataSourceSink;
CDataObject* PcFiles(const Names& paths, IDataSourceSink* sink = nullptr);
// Pumps this thread's messages until the pastes its drops posted have run.
void RunPostedPastes();

// Collects the texts and captions of the message boxes the code would show;
// a yes-or-no question is answered `answer` (IDOK, neither, unless set).
struct MessageBoxCapture {
    MessageBoxCapture();
    ~MessageBoxCapture();
    static Names texts;
    static Names captions;  // "Pellor", then ", button 2 default" where it is
    static int answer;
    MessageBoxHook previous_;
};

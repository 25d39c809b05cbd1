#pragma once
// PC files and folders received into a device folder from the clipboard or
// a drop, and the deletion half of a cut of device items.
#include <windows.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

class CItemList;
class CShellFolder;

// What a drop target or the Paste command hands to the paste.
struct DropRequest {
    IDataObject* dataObject;  // null: take the clipboard's
    FORMATETC format;
    STGMEDIUM medium;
    DWORD keyState;
    DWORD* effect;  // in and out; 2 means move
    POINTL point;
    DWORD mediumValid;  // the drop target releases the medium
    LPCITEMIDLIST target;
    DWORD targetSize;
    HWND owner;  // of the paste's progress and boxes; none: a window of the paste's own
};

// {6B2E4F91-3C7A-4D58-A1E6-0F9D2C4B8A73}
inline constexpr IID IID_IDropSink = {0x6B2E4F91, 0x3C7A, 0x4D58, {0xA1, 0xE6, 0x0F, 0x9D, 0x2C, 0x4B, 0x8A, 0x73}};

// Who receives what a drop target was given: the view and the folder.
struct IDropSink : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DropData(DropRequest* request) = 0;
};

// Sends the request's CF_HDROP files into `target` (a device list; null is
// the root), which lies at or below `folder`. A paste from the clipboard
// (no data object) runs at once and returns its result: 0 when every path
// was sent, S_FALSE for an empty list or names left out, else the first
// error. A drop copies the file list, answers DROPEFFECT_COPY and returns
// at once; the paste runs from a message posted to this thread, its
// progress and boxes owned by `listWindow` or by a window of its own. A
// move deletes on the PC only what the device lists with its PC size
// afterwards; a source that reads asynchronously hears of it through
// EndOperation, a cut on the clipboard as an optimized move.
HRESULT PasteDataObject(CShellFolder& folder, HWND listWindow, PCUIDLIST_RELATIVE target, DropRequest* request);

// The dropped paths, each folder followed by everything below it, and the
// folder of the first path (`baseFolder` holds MAX_PATH characters). With
// `baseLengths`, for each path the length of its dropped item's folder.
// Names the device's ANSI names cannot hold exactly are left out, and go
// to `refused` in full.
HRESULT ReadHDrop(HDROP hDrop, std::vector<std::string>* paths, char* baseFolder, bool clear,
                  std::vector<size_t>* baseLengths = nullptr, std::vector<std::wstring>* refused = nullptr);

// The folder's data object over its items, listed on the device when a
// target first wants them, and deleted there once a target reports that it
// moved them.
HRESULT CreateItemsDataObject(CShellFolder& folder, HWND owner, UINT count, const PCUITEMID_CHILD* items, void** ppv);

// Appends everything below each folder of `items` (relative to `folder`),
// breadth-first; false when the device cannot list one (shown to the user
// when there is a window).
bool ExpandDeviceFolders(CShellFolder& folder, CItemList& items, HWND window);

// Deletes expanded items on the device from the last to the first, so that
// every folder is empty when its turn comes, and announces each. The first
// failure stops it and shows the device's words for it (with a window).
HRESULT DeleteExpandedItems(CShellFolder& folder, const CItemList& items, HWND window);

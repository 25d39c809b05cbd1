#pragma once
// One folder level of the device in Explorer: the device root, or a folder
// on the device. Every instance holds a reference on the shared note-taker
// object.
#include <windows.h>
#include <shlobj.h>

#include "shell/ComBase.h"
#include "shell/ShellIdList.h"
#include "shell/ItemId.h"
#include "shell/Paste.h"

// What a view's commands may change: its view mode, folder flags and sort word.
struct ViewSettings {
    UINT viewMode;
    UINT folderFlags;
    UINT sortWord;
};

// Not final: the view benchmark (bench/view_bench.cpp) times the listing
// inside the view through a folder derived from this one.
class CShellFolder : public IPersistFolder2, public IShellFolder2, public IDropSink, public RefCounted {
public:
    // The root with no parent and no identifier; a subfolder with both.
    CShellFolder(const CShellFolder* parent, LPCITEMIDLIST relative);
    // False when the subfolder's device list could not be made.
    bool Valid() const { return valid_; }

    // Orders two identifiers by the last level only: folders first, then
    // by the column in bits 0-1 (name, size, type, modified), then by name;
    // bit 2 reverses. Negative, zero or positive.
    static int CompareItems(LPARAM sortWord, LPCITEMIDLIST a, LPCITEMIDLIST b);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    // IPersistFolder
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP Initialize(LPCITEMIDLIST absolute) override;

    // IPersistFolder2: a copy of the list given to Initialize; S_FALSE and
    // none before that.
    STDMETHODIMP GetCurFolder(LPITEMIDLIST* absolute) override;

    // IShellFolder
    STDMETHODIMP ParseDisplayName(HWND owner, LPBC context, LPOLESTR name, ULONG* eaten, LPITEMIDLIST* list,
                                  ULONG* attributes) override;
    STDMETHODIMP EnumObjects(HWND owner, SHCONTF flags, IEnumIDList** enumerator) override;
    STDMETHODIMP BindToObject(LPCITEMIDLIST item, LPBC context, REFIID riid, void** ppv) override;
    STDMETHODIMP BindToStorage(LPCITEMIDLIST item, LPBC context, REFIID riid, void** ppv) override;
    STDMETHODIMP CompareIDs(LPARAM sortWord, LPCITEMIDLIST a, LPCITEMIDLIST b) override;
    STDMETHODIMP CreateViewObject(HWND owner, REFIID riid, void** ppv) override;
    STDMETHODIMP GetAttributesOf(UINT count, LPCITEMIDLIST* items, SFGAOF* attributes) override;
    STDMETHODIMP GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* items, REFIID riid, UINT* reserved,
                               void** ppv) override;
    STDMETHODIMP GetDisplayNameOf(LPCITEMIDLIST item, SHGDNF flags, STRRET* name) override;
    STDMETHODIMP SetNameOf(HWND owner, LPCITEMIDLIST item, LPCOLESTR name, SHGDNF flags,
                           LPITEMIDLIST* newItem) override;

    // IShellFolder2: the four columns (name, size, type, modified) for
    // Explorer's own details, by column number or by property key.
    STDMETHODIMP GetDefaultSearchGUID(GUID*) override { return E_NOTIMPL; }
    STDMETHODIMP EnumSearches(IEnumExtraSearch** searches) override;
    STDMETHODIMP GetDefaultColumn(DWORD, ULONG* sort, ULONG* display) override;
    STDMETHODIMP GetDefaultColumnState(UINT column, SHCOLSTATEF* state) override;
    STDMETHODIMP GetDetailsEx(LPCITEMIDLIST item, const SHCOLUMNID* key, VARIANT* value) override;
    STDMETHODIMP GetDetailsOf(LPCITEMIDLIST item, UINT column, SHELLDETAILS* details) override;
    STDMETHODIMP MapColumnToSCID(UINT column, SHCOLUMNID* key) override;

    // IDropSink: files dropped on a drop target of this folder go to the
    // request's target.
    STDMETHODIMP DropData(DropRequest* request) override;

    LPCITEMIDLIST DeviceList() const { return deviceList_.get(); }
    PCIDLIST_ABSOLUTE AbsoluteList() const { return absoluteList_.get(); }

    // Tells the shell and every open view of this folder that an item of
    // it was created, deleted or renamed (items relative to this folder).
    void NotifyChange(LONG event, LPCITEMIDLIST item1, LPCITEMIDLIST item2);

    // The view's and the context menu's commands (view/FolderCommands.cpp).
    // `items` are relative to this folder; `window` is the list, tree or
    // other window the command came from. 0 when the command was
    // recognised, failed or not; S_FALSE when it is unknown or does not apply.
    HRESULT RunCommand(UINT command, UINT count, const LPCITEMIDLIST* items, HWND window, ViewSettings* settings);
    enum CopyFlags : UINT { COPY_CLIPBOARD = 1, COPY_MOVE = 2, COPY_DRAG = 8 };
    // A data object over the items onto the clipboard (COPY_MOVE marks it
    // as a cut), or a drag of it with COPY_DRAG.
    HRESULT CopyItems(HWND window, UINT flags, UINT count, const LPCITEMIDLIST* items);
    // Deletes the items on the device in order; stops with a beep at the
    // first failure, told in words owned by `window`. The last device result.
    HRESULT DeleteItems(UINT count, const LPCITEMIDLIST* items, HWND window);

protected:
    ~CShellFolder() override;

private:
    HRESULT CreateContextMenu(UINT count, LPCITEMIDLIST* items, void** ppv);
    // Backup and restore commands, with the folder picker for the "To" and
    // "From" ones (view/FolderCommands.cpp).
    void RunBackupCommand(UINT command, HWND window);
    // The folder itself, or the one folder item given, receives the clipboard.
    void PasteInto(UINT count, const LPCITEMIDLIST* items, HWND window);
    // The device path of an item of this folder; false when out of memory.
    bool DevicePath(LPCITEMIDLIST item, char* path, size_t size) const;
    // True for an item of one level in the device root, shown with its drive.
    bool AtRoot(LPCITEMIDLIST item) const;
    HRESULT CreateDropTarget(HWND owner, UINT count, const LPCITEMIDLIST* items, void** ppv);
    // The item of this folder whose name starts `name`, and where the rest begins.
    HRESULT FindByName(HWND owner, const char* name, LPITEMIDLIST* item, const char** rest);

    // The way from the device root to this folder; null for the root.
    ItemIdHolder deviceList_;
    bool valid_ = true;
    // The shell's list of this folder: its own identifiers, then ours.
    ShellIdList absoluteList_;
};

#pragma once
// Explorer's view of one device folder: a child window of the browser's
// frame holding a list of the folder's items, and what the view writes into
// the browser's status bar and toolbar. The list part lives in
// CShellViewList.cpp.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/ScopedHandle.h"
#include "shell/ComBase.h"
#include "shell/ItemId.h"
#include "shell/Paste.h"

class CDropTarget;
class CItemList;
class CShellFolder;
struct PendingListing;

// Command numbers shared by the toolbar buttons and the menus.
enum ViewCommand : UINT { CMD_CUT = 40, CMD_COPY = 41, CMD_PASTE = 42, CMD_DELETE = 43 };

class CShellView final : public IShellView, public IFolderView, public IDropSink, public RefCounted {
public:
    static constexpr const char* kWindowClass = "PellorShellView";
    static constexpr int kListId = 2000;
    // Posted to the view window: the selection changed, the status bar and
    // toolbar are to follow.
    static constexpr UINT kSelectionChanged = WM_APP + 1;
    // Posted by the device thread: the listing the view asked for is in (lParam: its number).
    static constexpr UINT kListingArrived = WM_APP + 3;

    // Joins the open-view list and becomes the folder's current view.
    explicit CShellView(CShellFolder* folder);

    CShellFolder* Folder() const { return folder_.get(); }
    HWND BrowserWindow() const { return browserWindow_; }
    HWND ListWindow() const { return list_; }
    UINT UiState() const { return uiState_; }
    UINT SortWord() const { return sortWord_; }
    // Opens a folder item (relative to the folder) in this view's browser.
    HRESULT Browse(LPCITEMIDLIST item);
    // True while the list waits for the device's listing.
    bool Reading() const { return listing_ != nullptr; }

    // Brings the list up to date after an item of the folder was created,
    // deleted, renamed or changed; items are relative to the folder.
    void OnFolderChange(LONG event, LPCITEMIDLIST item1, LPCITEMIDLIST item2);
    // The same from any thread: a view of another thread gets a copy posted.
    void FolderChanged(LONG event, LPCITEMIDLIST item1, LPCITEMIDLIST item2);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    // A reference only while the view is not already going (see FindOpenView).
    bool TryAddRef() { return TryAddRefImpl(); }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IShellView
    STDMETHODIMP TranslateAccelerator(MSG* message) override;
    STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP UIActivate(UINT state) override;
    STDMETHODIMP Refresh() override;
    STDMETHODIMP CreateViewWindow(IShellView* previous, LPCFOLDERSETTINGS settings, IShellBrowser* browser, RECT* rect,
                                  HWND* window) override;
    STDMETHODIMP DestroyViewWindow() override;
    STDMETHODIMP GetCurrentInfo(LPFOLDERSETTINGS settings) override;
    STDMETHODIMP AddPropertySheetPages(DWORD, LPFNSVADDPROPSHEETPAGE, LPARAM) override { return E_NOTIMPL; }
    STDMETHODIMP SaveViewState() override { return S_OK; }
    // Selects, deselects, focuses, shows or starts renaming the item (a
    // child identifier of the folder); a null item with SVSI_DESELECTOTHERS
    // clears the selection.
    STDMETHODIMP SelectItem(LPCITEMIDLIST item, SVSIF flags) override;
    // The selection, every item or the background (no items) as a data
    // object or a context menu, as the browser's own commands ask for them.
    STDMETHODIMP GetItemObject(UINT which, REFIID riid, void** ppv) override;

    // IFolderView, as far as Explorer's details pane, status text and command
    // bar use it (CShellViewItems.cpp): the items, the selection, the focused
    // item, the view mode.
    STDMETHODIMP GetCurrentViewMode(UINT* mode) override;
    // The command bar's View: Explorer's modes shown as the list's nearest.
    STDMETHODIMP SetCurrentViewMode(UINT mode) override;
    STDMETHODIMP GetFolder(REFIID riid, void** ppv) override;
    STDMETHODIMP Item(int index, PITEMID_CHILD* item) override;
    STDMETHODIMP ItemCount(UINT which, int* count) override;
    // The selection or every item as an IShellItemArray, a data object or a context menu.
    STDMETHODIMP Items(UINT which, REFIID riid, void** ppv) override;
    STDMETHODIMP GetSelectionMarkedItem(int* index) override;
    STDMETHODIMP GetFocusedItem(int* index) override;
    STDMETHODIMP GetItemPosition(PCUITEMID_CHILD, POINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetSpacing(POINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetDefaultSpacing(POINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAutoArrange() override { return E_NOTIMPL; }
    // The command bar's Select: the item at `index`, as SelectItem by id.
    STDMETHODIMP SelectItem(int index, DWORD flags) override;
    STDMETHODIMP SelectAndPositionItems(UINT, PCUITEMID_CHILD_ARRAY, POINT*, DWORD) override { return E_NOTIMPL; }

    // IDropSink: PC files dropped onto the list go into the folder, or into
    // the sub-folder item nearest to the drop point.
    STDMETHODIMP DropData(DropRequest* request) override;

private:
    // Frees the changes other threads posted that the window has not seen.
    void DropPostedChanges();
    ~CShellView() override;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(NMHDR* header);
    static bool RegisterWindowClass();
    void ReleaseDropTarget();
    // Serial ports that arrive (an adapter plugged in, a device paired) are
    // told to this window; a child window hears of them only when registered.
    void WatchPortArrivals();
    void OnDeviceChange(WPARAM event);

    // Status bar and toolbar (skipped without a browser).
    void ComputeStatusParts(bool force);
    HRESULT SetStatusText(int part, const char* text);
    void ShowFolderPath();
    HRESULT MergeToolbar();
    void UpdateToolbar();
    void Activate(UINT state);
    void OnListFocus();
    // The focused state without the selection, so a screen reader names the item.
    void FocusFirstItem();

    // Menus, commands and the context menu (CShellViewMenus.cpp).
    void MergeMenus(UINT state);
    void RemoveMenus();
    LRESULT OnCommand(UINT command);
    void OnInitMenuPopup(HMENU popup);
    LRESULT OnMenuSelect(UINT id, UINT flags, HMENU menu);
    void OnContextMenu(LPARAM point);
    // The identifiers of the selected items in list order (owned by the list).
    std::vector<LPCITEMIDLIST> SelectedItems() const;
    // A copy of them for a command: a refresh (F5, a new listing) while the
    // command waits for the device frees the list's own. False when out of memory.
    bool CopySelection(CItemList& chosen) const;
    std::vector<LPCITEMIDLIST> AllItems() const;

    // The list (CShellViewList.cpp).
    bool CreateList();
    void ComputeStyles(DWORD& style, DWORD& exStyle, DWORD& listExStyle);
    void ReapplyStyles();
    // Asks the device thread for the folder's listing and returns at once;
    // the list says it is reading until OnListingArrived fills it.
    void FillList();
    void OnListingArrived(LPARAM which);
    // Forgets the listing under way (Esc, closing, a new listing).
    void CancelListing();
    // The list's one item while it has no others: text a screen reader reads.
    void ShowListNote(const char* text);
    // A note naming the entries the listing left out, with the items (sorted first).
    void ShowLeftOut(const std::vector<std::string>& names);
    void SortList();
    bool AppendItem(LPCITEMIDLIST item);
    int FindItem(LPCITEMIDLIST item) const;
    LPCITEMIDLIST ItemAt(int index) const;
    int FocusedItem() const;
    void SetItemData(int index, LPITEMIDLIST item);
    void OnDispInfo(NMLVDISPINFOA* info) const;
    // LVN_ITEMCHANGED: a change of the selection posts one kSelectionChanged,
    // however many items change before it arrives.
    void OnItemChanged(const NMLISTVIEW* change);
    void OnSelectionChanged();
    void OnHeaderClick(int column);
    // width: the tracked column's new width, or -1 to read it from the list.
    void StoreColumnWidths(int tracked, int width) const;
    void OpenItem(int index);
    void OnListKey(WORD key);
    BOOL BeginLabelEdit(const NMLVDISPINFOA* info);
    BOOL EndLabelEdit(const NMLVDISPINFOA* info);
    int ItemNearest(POINT listPoint) const;
    // LVN_BEGINDRAG: 1 when the drag failed.
    LRESULT BeginDrag();

    UINT uiState_ = SVUIA_DEACTIVATE;
    // The browser's menu bar with our items merged in, and the popups in it.
    HMENU sharedMenu_ = nullptr;
    HMENU viewPopup_ = nullptr;
    HMENU editPopup_ = nullptr;
    HMENU productPopup_ = nullptr;
    HMENU helpPopup_ = nullptr;
    HWND window_ = nullptr;
    const DWORD thread_ = GetCurrentThreadId();  // the Explorer window's thread that made the view
    HWND browserWindow_ = nullptr;
    HWND list_ = nullptr;
    bool labelEditing_ = false;
    bool selectionPosted_ = false;
    ComPtr<CShellFolder> folder_;
    ComPtr<IShellBrowser> browser_;
    ComPtr<CDropTarget> dropTarget_;  // registered on the list while the window lives
    UINT viewMode_ = FVM_DETAILS;
    UINT folderFlags_ = 0;
    UINT sortWord_ = 0;
    SHELLFLAGSTATE shellFlags_{};
    std::shared_ptr<PendingListing> listing_;  // the listing under way, if any
    bool listingFailed_ = false;               // the list shows why the note-taker gave no listing
    ScopedResource<HDEVNOTIFY, UnregisterDeviceNotification> portArrivals_;
    LPARAM listings_ = 0;                      // listings asked for: the last one's number
    // Asked for while the listing was under way: selected once it is in, as
    // Explorer selects the folder it came back from right after making the view.
    ItemIdHolder pendingSelect_;
    SVSIF pendingSelectFlags_ = 0;
};

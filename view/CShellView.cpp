#include "view/CShellView.h"

#include <ole2.h>
#include <dbt.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "resources/resource.h"
#include "shell/CModule.h"
#include "shell/CShellFolder.h"
#include "shell/ItemId.h"
#include "shell/OpenViews.h"
#include "view/CDropTarget.h"
#include "view/MenuUtils.h"

namespace {

// Right edges of the first two status-bar parts, shared by all views.
int g_statusEdges[2] = {0, 0};

// A change made on another thread, posted to the view's window with copies
// of the items.
constexpr UINT kFolderChangeMessage = WM_APP + 0x50;
struct PostedChange {
    LONG event;
    ItemIdHolder item1, item2;
};

constexpr DWORD kViewStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP;
// Posted on LVN_ITEMACTIVATE: the focused item is opened once the list's
// notification is over, since the browser may destroy this view meanwhile.
constexpr UINT kOpenFocused = CShellView::kSelectionChanged + 1;

HINSTANCE ModuleInstance() { return g_module ? g_module->Instance() : GetModuleHandleA(nullptr); }

}  // namespace

CShellView::CShellView(CShellFolder* folder)
{
    folder->AddRef();
    folder_.reset(folder);
    AddOpenView(this);
}

CShellView::~CShellView()
{
    RemoveOpenView(this);
    CancelListing();
    DropPostedChanges();
    RemoveMenus();
    if (window_) DestroyWindow(window_);
}

void CShellView::FolderChanged(LONG event, LPCITEMIDLIST item1, LPCITEMIDLIST item2)
{
    if (thread_ == GetCurrentThreadId()) return OnFolderChange(event, item1, item2);
    // Another window's thread: its list is touched only there, and a send
    // could wait on a thread that waits for the device.
    auto* change =
        new (std::nothrow) PostedChange{event, ItemIdHolder(ItemIdCopy(item1)), ItemIdHolder(ItemIdCopy(item2))};
    if (change && window_ && PostMessageA(window_, kFolderChangeMessage, 0, reinterpret_cast<LPARAM>(change))) return;
    delete change;
}

void CShellView::DropPostedChanges()
{
    MSG message;
    while (window_ && PeekMessageA(&message, window_, kFolderChangeMessage, kFolderChangeMessage, PM_REMOVE))
        delete reinterpret_cast<PostedChange*>(message.lParam);
}

STDMETHODIMP CShellView::QueryInterface(REFIID riid, void** ppv)
{
    static const QiEntry table[] = {
        QI_ENTRY(CShellView, IShellView),
        {&IID_IOleWindow, QiOffset<CShellView, IShellView>()},
        QI_ENTRY(CShellView, IDropSink),
        QI_ENTRY(CShellView, IFolderView),
        {nullptr, 0},
    };
    return QiSearch(this, table, riid, ppv);
}

STDMETHODIMP CShellView::GetWindow(HWND* window)
{
    if (!window) return E_INVALIDARG;
    *window = window_;
    return S_OK;
}

STDMETHODIMP CShellView::TranslateAccelerator(MSG* message)
{
    HACCEL accelerators = g_module ? g_module->Accelerators() : nullptr;
    if (!accelerators || !message) return S_FALSE;
    // Explorer offers the view every key of its window; a key meant for the
    // navigation pane or the address bar (Del, F2, Ctrl+V there) must not
    // act on the device's files.
    HWND focus = GetFocus();
    if (!window_ || !focus || (focus != window_ && !IsChild(window_, focus))) return S_FALSE;
    if (labelEditing_) {
        // Keys belong to the edit box, so Del deletes a character, not items.
        if (message->message < WM_KEYFIRST || message->message > 0x108) return S_FALSE;
        TranslateMessage(message);
        DispatchMessageA(message);
        return S_OK;
    }
    return ::TranslateAcceleratorA(window_, accelerators, message) ? S_OK : S_FALSE;
}

STDMETHODIMP CShellView::UIActivate(UINT state)
{
    if (state == uiState_) return S_OK;
    if (state == SVUIA_DEACTIVATE) {
        RemoveMenus();
        uiState_ = SVUIA_DEACTIVATE;
        return S_OK;
    }
    ShowFolderPath();
    Activate(state);
    return S_OK;
}

STDMETHODIMP CShellView::Refresh()
{
    if (list_) SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    FillList();
    return S_OK;
}

STDMETHODIMP CShellView::CreateViewWindow(IShellView*, LPCFOLDERSETTINGS settings, IShellBrowser* browser, RECT* rect,
                                          HWND* window)
{
    if (!browser || !window) return E_INVALIDARG;
    *window = nullptr;
    browser->AddRef();
    browser_.reset(browser);
    if (settings) {
        viewMode_ = settings->ViewMode;
        folderFlags_ = settings->fFlags;
    }
    sortWord_ = 0;
    browser_->GetWindow(&browserWindow_);
    RECT area = rect ? *rect : RECT{0, 0, 0, 0};
    if (!RegisterWindowClass() ||
        !CreateWindowExA(0, kWindowClass, "", kViewStyle, area.left, area.top, area.right - area.left,
                         area.bottom - area.top, browserWindow_, nullptr, ModuleInstance(), this)) {
        browser_.reset();
        return E_FAIL;
    }
    if (list_) dropTarget_ = MakeComObject<CDropTarget>(list_, this, nullptr, 0);
    if (SUCCEEDED(MergeToolbar())) UpdateToolbar();
    *window = window_;
    return S_OK;
}

STDMETHODIMP CShellView::DestroyViewWindow()
{
    UIActivate(SVUIA_DEACTIVATE);
    RemoveMenus();
    CancelListing();
    if (window_) DestroyWindow(window_);
    browser_.reset();
    return S_OK;
}

STDMETHODIMP CShellView::GetCurrentInfo(LPFOLDERSETTINGS settings)
{
    if (!settings) return E_INVALIDARG;
    settings->ViewMode = viewMode_;
    settings->fFlags = folderFlags_;
    return S_OK;
}

STDMETHODIMP CShellView::GetItemObject(UINT which, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IContextMenu) && !IsEqualIID(riid, IID_IDataObject)) return E_NOINTERFACE;
    std::vector<LPCITEMIDLIST> items;
    switch (which & SVGIO_TYPE_MASK) {
    case SVGIO_BACKGROUND: break;
    case SVGIO_SELECTION: items = SelectedItems(); break;
    case SVGIO_ALLVIEW: items = AllItems(); break;
    default: return E_INVALIDARG;
    }
    return folder_->GetUIObjectOf(browserWindow_, static_cast<UINT>(items.size()), items.data(), riid, nullptr, ppv);
}

STDMETHODIMP CShellView::SelectItem(LPCITEMIDLIST item, SVSIF flags)
{
    if (!list_) return E_FAIL;
    if (item && Reading() && ItemIdIsValid(item)) {
        pendingSelect_.reset(ItemIdCopy(item));
        pendingSelectFlags_ = flags;
        return pendingSelect_ ? S_OK : E_OUTOFMEMORY;
    }
    int index = -1;
    if (item) {
        if (!ItemIdIsValid(item) || (index = FindItem(item)) < 0) return E_INVALIDARG;
    }
    LVITEMA state{};
    if (flags & SVSI_DESELECTOTHERS) {
        state.stateMask = LVIS_SELECTED;
        SendMessageA(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    }
    if (index < 0) return (flags & SVSI_DESELECTOTHERS) ? S_OK : E_INVALIDARG;
    state.stateMask = LVIS_SELECTED;
    state.state = (flags & SVSI_SELECT) ? LVIS_SELECTED : 0;
    if (flags & SVSI_FOCUSED) {
        state.stateMask |= LVIS_FOCUSED;
        state.state |= LVIS_FOCUSED;
        // F2 and the keyboard's own moves start from the selection mark.
        SendMessageA(list_, LVM_SETSELECTIONMARK, 0, index);
    }
    SendMessageA(list_, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&state));
    if (flags & SVSI_ENSUREVISIBLE) SendMessageA(list_, LVM_ENSUREVISIBLE, index, FALSE);
    if ((flags & SVSI_EDIT) == SVSI_EDIT) {
        SetFocus(list_);
        SendMessageA(list_, LVM_EDITLABELA, index, 0);
    }
    return S_OK;
}

void CShellView::ReleaseDropTarget()
{
    // It holds the view; OLE holds it until it is revoked.
    if (dropTarget_) dropTarget_->Revoke();
    dropTarget_.reset();
}

void CShellView::WatchPortArrivals()
{
    // The serial ports' device interface class, GUID_DEVINTERFACE_COMPORT.
    static const GUID kSerialPorts = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kSerialPorts;
    portArrivals_.reset(RegisterDeviceNotificationA(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

// The note-taker's adapter plugged in after the list said nobody answered:
// the list is read again without the user asking.
void CShellView::OnDeviceChange(WPARAM event)
{
    if (event == DBT_DEVICEARRIVAL && listingFailed_ && !listing_) FillList();
}

bool CShellView::RegisterWindowClass()
{
    WNDCLASSA existing;
    if (GetClassInfoA(ModuleInstance(), kWindowClass, &existing)) return true;
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassA(&windowClass) != 0;
}

LRESULT CALLBACK CShellView::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* view = static_cast<CShellView*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
        view->window_ = window;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    auto* view = reinterpret_cast<CShellView*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!view) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_DESTROY) {
        view->ReleaseDropTarget();
        view->portArrivals_.reset();
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        view->window_ = nullptr;
        view->list_ = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return view->OnMessage(message, wParam, lParam);
}

LRESULT CShellView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        WatchPortArrivals();
        CreateList();
        return 0;
    case WM_DEVICECHANGE: OnDeviceChange(wParam); return TRUE;
    case WM_SIZE:
        if (!list_) return 0;
        MoveWindow(list_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        ComputeStatusParts(true);
        return 0;
    case WM_SETFOCUS:
        if (list_) SetFocus(list_);
        return 0;
    case WM_ACTIVATE:
    case WM_KILLFOCUS: UIActivate(SVUIA_ACTIVATE_NOFOCUS); return 0;
    case WM_SETTINGCHANGE: return 0;
    case kListingArrived: OnListingArrived(lParam); return 0;
    case WM_NOTIFY: return OnNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_COMMAND: return OnCommand(LOWORD(wParam));
    case WM_INITMENUPOPUP: OnInitMenuPopup(reinterpret_cast<HMENU>(wParam)); return 0;
    case WM_MENUSELECT: return OnMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
    case WM_CONTEXTMENU: OnContextMenu(lParam); return 0;
    case kFolderChangeMessage: {
        std::unique_ptr<PostedChange> change(reinterpret_cast<PostedChange*>(lParam));
        OnFolderChange(change->event, change->item1.get(), change->item2.get());
        return 0;
    }
    case kSelectionChanged: OnSelectionChanged(); return 0;
    case kOpenFocused: {
        ComPtr<IShellView> self;  // the browser may release this view while it browses
        QueryInterface(IID_IShellView, self.putVoid());
        OpenItem(FocusedItem());
        return 0;
    }
    default: return DefWindowProcA(window_, message, wParam, lParam);
    }
}

LRESULT CShellView::OnNotify(NMHDR* header)
{
    switch (header->code) {
    case LVN_GETDISPINFOA: OnDispInfo(reinterpret_cast<NMLVDISPINFOA*>(header)); return 0;
    case LVN_ITEMCHANGED: OnItemChanged(reinterpret_cast<NMLISTVIEW*>(header)); return 0;
    case LVN_DELETEITEM:
        ItemIdFree(reinterpret_cast<LPITEMIDLIST>(reinterpret_cast<NMLISTVIEW*>(header)->lParam));
        return 0;
    // Wine's list reports Return with a bare header, so the item is the focused one.
    case LVN_ITEMACTIVATE: PostMessageA(window_, kOpenFocused, 0, 0); return 0;
    case LVN_KEYDOWN: OnListKey(reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey); return 0;
    case LVN_BEGINDRAG: return BeginDrag();
    case LVN_BEGINLABELEDITA: return BeginLabelEdit(reinterpret_cast<NMLVDISPINFOA*>(header));
    case LVN_ENDLABELEDITA: return EndLabelEdit(reinterpret_cast<NMLVDISPINFOA*>(header));
    // The list passes its header's notifications on in either character set.
    case HDN_ITEMCLICKA:
    case HDN_ITEMCLICKW: {
        auto* click = reinterpret_cast<NMHEADERA*>(header);
        if (click->iButton == 0) OnHeaderClick(click->iItem);
        return 0;
    }
    case HDN_ENDTRACKA:
    case HDN_ENDTRACKW: {
        auto* track = reinterpret_cast<NMHEADERA*>(header);
        StoreColumnWidths(track->iItem, track->pitem && (track->pitem->mask & HDI_WIDTH) ? track->pitem->cxy : -1);
        return 0;
    }
    case NM_SETFOCUS: OnListFocus(); return 0;
    // The menus stay until SVUIA_DEACTIVATE: Explorer's own panes take the
    // focus while the view is still the active one.
    case NM_KILLFOCUS:
        if (uiState_ == SVUIA_ACTIVATE_FOCUS) uiState_ = SVUIA_ACTIVATE_NOFOCUS;
        return 0;
    default: return 0;
    }
}

void CShellView::ComputeStatusParts(bool force)
{
    if (!force && (g_statusEdges[0] || g_statusEdges[1])) return;
    RECT frame{};
    GetWindowRect(browserWindow_, &frame);
    int width = frame.right - frame.left;
    g_statusEdges[0] = width - 300;
    g_statusEdges[1] = width - 200;
}

HRESULT CShellView::SetStatusText(int part, const char* text)
{
    if (!browser_ || !browserWindow_) return E_FAIL;
    ComputeStatusParts(false);
    int parts[3] = {g_statusEdges[0], g_statusEdges[1], -1};
    LRESULT result = 0;
    browser_->SendControlMsg(FCW_STATUS, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts), &result);
    return browser_->SendControlMsg(FCW_STATUS, SB_SETTEXTA, part, reinterpret_cast<LPARAM>(text), &result);
}

void CShellView::ShowFolderPath()
{
    char path[MAX_PATH] = "", text[512] = "";
    ItemIdPath(folder_->DeviceList(), path, sizeof path, false);
    if (g_module) g_module->FormatString(IDS_STATUS_FOLDER, text, sizeof text, path);
    SetStatusText(0, text);
}

HRESULT CShellView::MergeToolbar()
{
    if (!browser_ || !browserWindow_) return E_FAIL;
    TBADDBITMAP bitmap{HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
    LRESULT offset = 0;
    browser_->SendControlMsg(FCW_TOOLBAR, TB_ADDBITMAP, 8, reinterpret_cast<LPARAM>(&bitmap), &offset);
    int base = static_cast<int>(offset);
    TBBUTTON buttons[] = {
        {base + STD_CUT, CMD_CUT, TBSTATE_ENABLED, BTNS_BUTTON, {0}, 0, 0},
        {base + STD_COPY, CMD_COPY, TBSTATE_ENABLED, BTNS_BUTTON, {0}, 0, 0},
        {base + STD_PASTE, CMD_PASTE, TBSTATE_ENABLED, BTNS_BUTTON, {0}, 0, 0},
        {0, 0, TBSTATE_ENABLED, BTNS_SEP, {0}, 0, 0},
        {base + STD_DELETE, CMD_DELETE, TBSTATE_ENABLED, BTNS_BUTTON, {0}, 0, 0},
    };
    return browser_->SetToolbarItems(buttons, ARRAYSIZE(buttons), FCT_MERGE);
}

void CShellView::UpdateToolbar()
{
    if (!browser_ || !browserWindow_) return;
    bool selected = list_ && SendMessageA(list_, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
    // In a sub-folder the commands work on the folder itself.
    bool itemCommands = selected || folder_->DeviceList() != nullptr;
    LRESULT result = 0;
    for (UINT command : {CMD_CUT, CMD_COPY, CMD_DELETE})
        browser_->SendControlMsg(FCW_TOOLBAR, TB_ENABLEBUTTON, command, MAKELONG(itemCommands, 0), &result);
    browser_->SendControlMsg(FCW_TOOLBAR, TB_ENABLEBUTTON, CMD_PASTE, MAKELONG(ClipboardHoldsFiles(), 0), &result);
}

void CShellView::Activate(UINT state)
{
    if (!sharedMenu_) MergeMenus(state);
    // Stored before the focus moves: the list's NM_SETFOCUS comes back here.
    uiState_ = state;
    UpdateToolbar();
    SetStatusText(1, "");
    // Explorer gives the view the focus this way alone (Tab or F6 from the
    // tree, a new folder opened): without it the user hears nothing.
    if (state == SVUIA_ACTIVATE_FOCUS && list_ && GetFocus() != list_) SetFocus(list_);
}

void CShellView::OnListFocus()
{
    if (browser_) browser_->OnViewWindowActive(this);
    if (SendMessageA(list_, LVM_GETSELECTEDCOUNT, 0, 0) == 0) FocusFirstItem();
    UIActivate(SVUIA_ACTIVATE_FOCUS);
}

void CShellView::FocusFirstItem()
{
    LVITEMA state{};
    state.stateMask = state.state = LVIS_FOCUSED;
    SendMessageA(list_, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
}

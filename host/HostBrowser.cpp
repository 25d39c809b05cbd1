#include "host/HostBrowser.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>

#include "foundation/ScopedHandle.h"

namespace {

constexpr char kFrameClass[] = "PellorHostFrame";
// Our own commands, in the browser's range so that no view command meets them.
enum HostCommand : UINT {
    CMD_HOST_CLOSE = FCIDM_BROWSERFIRST,
    CMD_HOST_UP,
    CMD_HOST_REFRESH,
    CMD_HOST_CUT,  // the Windows mode's Organize items, in this order
    CMD_HOST_COPY,
    CMD_HOST_DELETE,
};
// The command ids a context menu may use when the host builds one.
constexpr UINT kFirstMenuId = 1, kLastMenuId = 0x7FFF;
// Posted by BrowseObject: the view that asked must return before it is replaced.
constexpr UINT kNavigate = WM_APP + 1;
constexpr UINT_PTR kCloseTimer = 1;

// The browser's own popups; their items are numbered as HostCommand.
std::vector<BrowserPopup> HostPopups(bool windowsMode)
{
    std::vector<BrowserPopup> popups{
        {FCIDM_MENU_FILE, "&File", {"&Close"}},
        {FCIDM_MENU_EDIT, "&Edit", {}},
        {FCIDM_MENU_VIEW, "&View", {"&Up One Level", "&Refresh"}},
        {FCIDM_MENU_HELP, "&Help", {}},
    };
    // Where Windows 10 has its ribbon's Organize group.
    if (windowsMode) popups.insert(popups.end() - 1, {FCIDM_MENU_TOOLS, "&Organize", {"Cu&t", "&Copy", "&Delete"}});
    return popups;
}

std::string Hex(HRESULT hr)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// The names a data object describes as virtual files, comma-separated.
std::string Described(IDataObject* object)
{
    static const UINT16 descriptor = static_cast<UINT16>(RegisterClipboardFormatA(CFSTR_FILEDESCRIPTORA));
    FORMATETC format{descriptor, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    ScopedMedium medium;
    if (!object || FAILED(object->GetData(&format, medium.put()))) return "(none)";
    std::string names;
    auto* group = static_cast<FILEGROUPDESCRIPTORA*>(GlobalLock(medium->hGlobal));
    for (UINT i = 0; group && i < group->cItems; ++i) names += (i ? ", " : "") + std::string(group->fgd[i].cFileName);
    GlobalUnlock(medium->hGlobal);
    return names;
}

std::string ClipboardNames()
{
    ComPtr<IDataObject> clipboard;
    OleGetClipboard(clipboard.put());
    return Described(clipboard.get());
}

// Another window's thread, as in Explorer, where each window has its own:
// it gets the last reference of a closed view.
struct Handover {
    IShellView* view;
    ULONG left;
};

DWORD WINAPI ReleaseThread(void* parameter)
{
    auto* handover = static_cast<Handover*>(parameter);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND window = CreateWindowExA(0, "STATIC", "another window", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    handover->left = handover->view->Release();
    DestroyWindow(window);
    CoUninitialize();
    return 0;
}

// A window as a screen reader would tell it: its class and text.
std::string WindowName(HWND window)
{
    char kind[64] = "(none)", text[MAX_PATH] = "";
    if (window) GetClassNameA(window, kind, sizeof kind);
    if (window) GetWindowTextA(window, text, sizeof text);
    return std::string(kind) + " \"" + text + "\"";
}

std::string DisplayName(IShellFolder* folder, LPCITEMIDLIST item)
{
    STRRET name{};
    char text[MAX_PATH] = "";
    if (SUCCEEDED(folder->GetDisplayNameOf(item, SHGDN_NORMAL, &name))) StrRetToBufA(&name, item, text, sizeof text);
    return text;
}

}  // namespace

HostBrowser::HostBrowser(bool windowsMode)
    : BrowserBase(HostPopups(windowsMode), CMD_HOST_CLOSE), windowsMode_(windowsMode)
{
    WNDCLASSA frameClass{};
    frameClass.lpfnWndProc = WindowProc;
    frameClass.hInstance = GetModuleHandleA(nullptr);
    frameClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    frameClass.lpszClassName = kFrameClass;
    RegisterClassA(&frameClass);
    ownMenu_ = CreateMenu();
    InsertMenusSB(ownMenu_, nullptr);
    frame_ = CreateWindowExA(0, kFrameClass, "Pellor", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                             CW_USEDEFAULT, 760, 520, nullptr, ownMenu_, frameClass.hInstance, this);
    toolbar_ = CreateWindowExA(0, TOOLBARCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | CCS_TOP, 0, 0, 0, 0,
                               frame_, nullptr, frameClass.hInstance, nullptr);
    SendMessageA(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    TBADDBITMAP bitmap{HINST_COMMCTRL, IDB_VIEW_SMALL_COLOR};
    int base = static_cast<int>(SendMessageA(toolbar_, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmap)));
    TBBUTTON own[] = {
        {base + VIEW_PARENTFOLDER, static_cast<int>(CMD_HOST_UP), TBSTATE_ENABLED, BTNS_BUTTON, {0}, 0, 0},
        {0, 0, TBSTATE_ENABLED, BTNS_SEP, {0}, 0, 0},
    };
    ownButtons_ = ARRAYSIZE(own);
    SendMessageA(toolbar_, TB_ADDBUTTONSA, ownButtons_, reinterpret_cast<LPARAM>(own));
    if (windowsMode_) {
        TBADDBITMAP standard{HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
        int first = static_cast<int>(SendMessageA(toolbar_, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&standard)));
        TBBUTTON organize[] = {
            {first + STD_CUT, static_cast<int>(CMD_HOST_CUT), TBSTATE_ENABLED, BTNS_BUTTON, {0}, 0, 0},
            {first + STD_COPY, static_cast<int>(CMD_HOST_COPY), TBSTATE_ENABLED, BTNS_BUTTON, {0}, 0, 0},
            {first + STD_DELETE, static_cast<int>(CMD_HOST_DELETE), TBSTATE_ENABLED, BTNS_BUTTON, {0}, 0, 0},
            {0, 0, TBSTATE_ENABLED, BTNS_SEP, {0}, 0, 0},
        };
        ownButtons_ += ARRAYSIZE(organize);
        SendMessageA(toolbar_, TB_ADDBUTTONSA, ARRAYSIZE(organize), reinterpret_cast<LPARAM>(organize));
    }
    // One host a thread: the hook finds it through the frame of its thread.
    if (windowsMode_) {
        menuWatch_ = SetWindowsHookExA(WH_CALLWNDPROC, WatchMenus, nullptr, GetCurrentThreadId());
        keyWatch_ = SetWindowsHookExA(WH_MSGFILTER, WatchMenuKeys, nullptr, GetCurrentThreadId());
    }
    status_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, frame_,
                              nullptr, frameClass.hInstance, nullptr);
    ShowWindow(frame_, SW_SHOW);
}

HostBrowser::~HostBrowser()
{
    if (menuWatch_) UnhookWindowsHookEx(menuWatch_);
    if (keyWatch_) UnhookWindowsHookEx(keyWatch_);
    if (frame_) DestroyWindow(frame_);
}

LRESULT CALLBACK HostBrowser::WatchMenus(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    HWND frame = code == HC_ACTION && call->message == WM_MENUSELECT ? GetAncestor(call->hwnd, GA_ROOT) : nullptr;
    char name[64] = "";
    if (frame && GetClassNameA(frame, name, sizeof name) && !strcmp(name, kFrameClass))
        if (auto* host = reinterpret_cast<HostBrowser*>(GetWindowLongPtrA(frame, GWLP_USERDATA));
            host && call->hwnd == host->viewWindow_)
            host->OnViewMenuSelect(LOWORD(call->wParam), HIWORD(call->wParam), reinterpret_cast<HMENU>(call->lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK HostBrowser::WatchMenuKeys(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_MENU && message->message == WM_KEYDOWN && message->wParam == VK_RETURN)
        if (HWND frame = FindWindowA(kFrameClass, nullptr))
            if (auto* host = reinterpret_cast<HostBrowser*>(GetWindowLongPtrA(frame, GWLP_USERDATA)))
                host->returned_ = true;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void HostBrowser::OnViewMenuSelect(UINT id, UINT flags, HMENU menu)
{
    if (!menu && flags == 0xFFFF) {
        if (returned_ && !highlighted_.empty()) Note("context menu: " + highlighted_);
        highlighted_.clear();
        returned_ = false;
        return;
    }
    if (flags & (MF_POPUP | MF_SEPARATOR | MF_SYSMENU)) return;
    char text[MAX_PATH] = "";
    GetMenuStringA(menu, id, text, sizeof text, MF_BYCOMMAND);
    highlighted_ = text;
}

bool HostBrowser::Open(IShellFolder* folder, const std::string& title)
{
    if (!ShowView(folder, title)) return false;
    folder->AddRef();
    places_.push_back({ComPtr<IShellFolder>(), title, ShellRelativeIdList()});
    places_.back().folder.reset(folder);
    return true;
}

int HostBrowser::Run()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        // As in Explorer: the active view sees the keys first.
        if (view_ && ViewHasFocus() && view_->TranslateAccelerator(&message) == S_OK) continue;
        // Explorer's Backspace goes back; the view had it first (an edit box takes it then).
        if (windowsMode_ && message.message == WM_KEYDOWN && message.wParam == VK_BACK && view_ && ViewHasFocus()) {
            GoUp();
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

void HostBrowser::CloseAfter(UINT milliseconds) { SetTimer(frame_, kCloseTimer, milliseconds, nullptr); }

bool HostBrowser::ViewHasFocus() const
{
    HWND focus = GetFocus();
    return focus && (focus == viewWindow_ || IsChild(viewWindow_, focus));
}

bool HostBrowser::ShowView(IShellFolder* folder, const std::string& title)
{
    ComPtr<IShellView> view;
    if (FAILED(folder->CreateViewObject(frame_, IID_IShellView, view.putVoid())) || !view) return false;
    FOLDERSETTINGS settings{FVM_DETAILS, 0};
    if (view_) view_->GetCurrentInfo(&settings);
    RECT area = ViewArea();
    HWND window = nullptr;
    if (FAILED(view->CreateViewWindow(view_.get(), &settings, this, &area, &window)) || !window) return false;
    CloseView();
    view_.reset(view.detach());
    viewWindow_ = window;
    SetWindowTextA(frame_, title.c_str());
    // As Explorer: the view itself puts the focus where the user works.
    view_->UIActivate(SVUIA_ACTIVATE_FOCUS);
    focusNotes_.push_back(title + ": focus in " + WindowName(GetFocus()));
    return true;
}

void HostBrowser::CloseView()
{
    if (!view_) return;
    view_->UIActivate(SVUIA_DEACTIVATE);
    view_->DestroyViewWindow();
    viewWindow_ = nullptr;
    if (windowsMode_) ReleaseOnOtherThread(view_.detach());
    else view_.reset();
}

void HostBrowser::GoUp()
{
    if (places_.size() < 2) return;
    ShellRelativeIdList left(ILClone(places_.back().item.get()));
    const std::string leftTitle = places_.back().title;
    const Place& parent = places_[places_.size() - 2];
    if (!ShowView(parent.folder.get(), parent.title)) return;
    places_.pop_back();
    if (!windowsMode_ || !left) return;
    // As Explorer does on going back: the folder just left is selected.
    HRESULT hr = view_->SelectItem(left.get(), SVSI_SELECT | SVSI_DESELECTOTHERS | SVSI_FOCUSED | SVSI_ENSUREVISIBLE);
    Note("back from " + leftTitle + ": SelectItem -> " + Hex(hr));
}

void HostBrowser::RunOrganize(UINT command)
{
    if (!view_) return;
    if (command == CMD_HOST_COPY) {
        ComPtr<IDataObject> data;
        HRESULT hr = view_->GetItemObject(SVGIO_SELECTION, IID_IDataObject, data.putVoid());
        if (SUCCEEDED(hr)) hr = OleSetClipboard(data.get());
        Note("copy: GetItemObject(selection, IDataObject) -> " + Hex(hr) + "; clipboard: " + ClipboardNames());
        return;
    }
    const bool cut = command == CMD_HOST_CUT;
    ComPtr<IContextMenu> menu;
    HRESULT hr = view_->GetItemObject(SVGIO_SELECTION, IID_IContextMenu, menu.putVoid());
    if (SUCCEEDED(hr)) {
        // Explorer fills a menu before it invokes a verb on it.
        HMENU popup = CreatePopupMenu();
        hr = menu->QueryContextMenu(popup, 0, kFirstMenuId, kLastMenuId, CMF_NORMAL);
        DestroyMenu(popup);
        CMINVOKECOMMANDINFOEX info{};
        info.cbSize = sizeof info;
        info.fMask = CMIC_MASK_UNICODE;
        info.hwnd = frame_;
        info.lpVerb = cut ? "cut" : "delete";
        info.lpVerbW = cut ? L"cut" : L"delete";
        info.nShow = SW_SHOWNORMAL;
        if (SUCCEEDED(hr)) hr = menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
    }
    std::string line = std::string(cut ? "cut" : "delete") + ": GetItemObject(selection, IContextMenu) -> " + Hex(hr);
    if (cut) line += "; clipboard: " + ClipboardNames();
    Note(line);
}

void HostBrowser::ReleaseOnOtherThread(IShellView* view)
{
    Handover handover{view, 0};
    ScopedKernelHandle thread(CreateThread(nullptr, 0, ReleaseThread, &handover, 0, nullptr));
    if (!thread.valid()) {
        view->Release();
        return;
    }
    // Messages the other thread sends to this one's windows are served meanwhile.
    HANDLE waitFor = thread.get();
    while (MsgWaitForMultipleObjects(1, &waitFor, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    Note("view released on another window's thread: " + std::to_string(handover.left) + " references left");
}

RECT HostBrowser::ViewArea() const
{
    RECT client{}, bar{};
    GetClientRect(frame_, &client);
    GetWindowRect(toolbar_, &bar);
    client.top += bar.bottom - bar.top;
    GetWindowRect(status_, &bar);
    client.bottom -= bar.bottom - bar.top;
    return client;
}

void HostBrowser::Layout()
{
    SendMessageA(toolbar_, TB_AUTOSIZE, 0, 0);
    SendMessageA(status_, WM_SIZE, 0, 0);
    RECT area = ViewArea();
    if (viewWindow_) MoveWindow(viewWindow_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

LRESULT CALLBACK HostBrowser::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* host = static_cast<HostBrowser*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
        host->frame_ = window;
    }
    auto* host = reinterpret_cast<HostBrowser*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!host) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        host->frame_ = nullptr;
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    }
    return host->OnMessage(message, wParam, lParam);
}

LRESULT HostBrowser::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE: Layout(); return 0;
    case WM_SETFOCUS:
        if (viewWindow_) SetFocus(viewWindow_);
        return 0;
    case WM_COMMAND: OnCommand(wParam, lParam); return 0;
    case WM_EXITMENULOOP:
        // The view shows menu help in the status bar's simple mode; the parts come back now.
        SendMessageA(status_, SB_SIMPLE, FALSE, 0);
        break;
    case WM_INITMENUPOPUP:
    case WM_MENUSELECT:
        // The merged items are the view's: it sets their states and help texts.
        if (menuTarget_) return SendMessageA(menuTarget_, message, wParam, lParam);
        break;
    case kNavigate: {
        Place next;
        next.folder.reset(pending_.folder.detach());
        next.title = pending_.title;
        next.item = std::move(pending_.item);
        if (next.folder && ShowView(next.folder.get(), next.title)) places_.push_back(std::move(next));
        return 0;
    }
    case WM_TIMER:
        if (wParam == kCloseTimer) PostMessageA(frame_, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE: OnClose(); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: break;
    }
    return DefWindowProcA(frame_, message, wParam, lParam);
}

void HostBrowser::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case CMD_HOST_CLOSE: PostMessageA(frame_, WM_CLOSE, 0, 0); return;
    case CMD_HOST_UP: GoUp(); return;
    case CMD_HOST_REFRESH:
        if (view_) view_->Refresh();
        return;
    case CMD_HOST_CUT:
    case CMD_HOST_COPY:
    case CMD_HOST_DELETE: RunOrganize(LOWORD(wParam)); return;
    default:
        if (HWND target = CommandTarget()) SendMessageA(target, WM_COMMAND, wParam, lParam);
    }
}

void HostBrowser::OnClose()
{
    if (recordOnClose_) {
        fputs(Record().c_str(), stdout);
        fflush(stdout);
    }
    KillTimer(frame_, kCloseTimer);
    CloseView();
    places_.clear();
    pending_.folder.reset();
    SetMenu(frame_, ownMenu_);
    DestroyWindow(frame_);
}

STDMETHODIMP HostBrowser::SetMenuSB(HMENU shared, HOLEMENU, HWND target)
{
    // Windows 10 and 11 Explorer show a view no menu bar: its commands are
    // reached through its keys and context menus alone.
    if (windowsMode_) return S_OK;
    SetMenu(frame_, shared ? shared : ownMenu_);
    menuTarget_ = shared ? target : nullptr;
    DrawMenuBar(frame_);
    return S_OK;
}

STDMETHODIMP HostBrowser::SetStatusTextSB(LPCOLESTR text)
{
    SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text ? text : L""));
    return S_OK;
}

STDMETHODIMP HostBrowser::BrowseObject(LPCITEMIDLIST item, UINT flags)
{
    if (flags & SBSP_PARENT) {
        PostMessageA(frame_, WM_COMMAND, CMD_HOST_UP, 0);
        return S_OK;
    }
    if ((flags & SBSP_ABSOLUTE) || !item || places_.empty()) return E_INVALIDARG;
    IShellFolder* current = places_.back().folder.get();
    HRESULT hr = current->BindToObject(item, nullptr, IID_IShellFolder, pending_.folder.putVoid());
    if (FAILED(hr)) return hr;
    pending_.title = DisplayName(current, item);
    pending_.item.reset(ILClone(item));
    PostMessageA(frame_, kNavigate, 0, 0);
    return S_OK;
}

STDMETHODIMP HostBrowser::GetControlWindow(UINT id, HWND* window)
{
    if (!window) return E_POINTER;
    *window = id == FCW_TOOLBAR ? toolbar_ : id == FCW_STATUS ? status_ : nullptr;
    return *window ? S_OK : E_NOTIMPL;
}

STDMETHODIMP HostBrowser::SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    HWND control = nullptr;
    HRESULT hr = GetControlWindow(id, &control);
    // The help text of the menu item under the cursor, for the record.
    if (id == FCW_STATUS && message == SB_SETTEXTA && (wParam & 0xFF) == 255 && lParam)
        menuHelp_ = reinterpret_cast<const char*>(lParam);
    LRESULT answer = SUCCEEDED(hr) ? SendMessageA(control, message, wParam, lParam) : 0;
    if (result) *result = answer;
    return hr;
}

STDMETHODIMP HostBrowser::QueryActiveShellView(IShellView** view)
{
    if (!view) return E_POINTER;
    *view = view_.get();
    if (!*view) return E_FAIL;
    (*view)->AddRef();
    return S_OK;
}

STDMETHODIMP HostBrowser::SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT)
{
    // The view's buttons replace those of the view before.
    while (static_cast<int>(SendMessageA(toolbar_, TB_BUTTONCOUNT, 0, 0)) > ownButtons_)
        SendMessageA(toolbar_, TB_DELETEBUTTON, ownButtons_, 0);
    if (buttons && count) SendMessageA(toolbar_, TB_ADDBUTTONSA, count, reinterpret_cast<LPARAM>(buttons));
    return S_OK;
}

std::string HostBrowser::TakeMenuHelp()
{
    std::string help;
    help.swap(menuHelp_);
    return help;
}

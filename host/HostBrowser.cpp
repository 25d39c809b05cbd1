#include "host/HostBrowser.h"

#include <shlwapi.h>

#include <cstdio>

namespace {

constexpr char kFrameClass[] = "PellorHostFrame";
// Our own commands, in the browser's range so that no view command meets them.
enum HostCommand : UINT { CMD_HOST_CLOSE = FCIDM_BROWSERFIRST, CMD_HOST_UP, CMD_HOST_REFRESH };
// Posted by BrowseObject: the view that asked must return before it is replaced.
constexpr UINT kNavigate = WM_APP + 1;
constexpr UINT_PTR kCloseTimer = 1;

// The browser's own popups; their items are numbered as HostCommand.
std::vector<BrowserPopup> HostPopups()
{
    return {
        {FCIDM_MENU_FILE, "&File", {"&Close"}},
        {FCIDM_MENU_EDIT, "&Edit", {}},
        {FCIDM_MENU_VIEW, "&View", {"&Up One Level", "&Refresh"}},
        {FCIDM_MENU_HELP, "&Help", {}},
    };
}

std::string DisplayName(IShellFolder* folder, LPCITEMIDLIST item)
{
    STRRET name{};
    char text[MAX_PATH] = "";
    if (SUCCEEDED(folder->GetDisplayNameOf(item, SHGDN_NORMAL, &name))) StrRetToBufA(&name, item, text, sizeof text);
    return text;
}

}  // namespace

HostBrowser::HostBrowser() : BrowserBase(HostPopups(), CMD_HOST_CLOSE)
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
    status_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, frame_,
                              nullptr, frameClass.hInstance, nullptr);
    ShowWindow(frame_, SW_SHOW);
}

HostBrowser::~HostBrowser()
{
    if (frame_) DestroyWindow(frame_);
}

bool HostBrowser::Open(IShellFolder* folder, const std::string& title)
{
    if (!ShowView(folder, title)) return false;
    folder->AddRef();
    places_.push_back({ComPtr<IShellFolder>(), title});
    places_.back().folder.reset(folder);
    return true;
}

int HostBrowser::Run()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        // As in Explorer: the active view sees the keys first.
        if (view_ && ViewHasFocus() && view_->TranslateAccelerator(&message) == S_OK) continue;
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
    view_->UIActivate(SVUIA_ACTIVATE_FOCUS);
    SetFocus(viewWindow_);
    return true;
}

void HostBrowser::CloseView()
{
    if (!view_) return;
    view_->UIActivate(SVUIA_DEACTIVATE);
    view_->DestroyViewWindow();
    view_.reset();
    viewWindow_ = nullptr;
}

void HostBrowser::GoUp()
{
    if (places_.size() < 2) return;
    const Place& parent = places_[places_.size() - 2];
    if (ShowView(parent.folder.get(), parent.title)) places_.pop_back();
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

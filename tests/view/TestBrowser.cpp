#include "tests/view/TestBrowser.h"

#include "shell/ItemId.h"

TestBrowser::TestBrowser()
{
    frame_ = CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
}

TestBrowser::~TestBrowser() { DestroyWindow(frame_); }

STDMETHODIMP TestBrowser::QueryInterface(REFIID riid, void** ppv)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IShellBrowser)) {
        *ppv = this;
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP TestBrowser::GetWindow(HWND* window)
{
    *window = frame_;
    return S_OK;
}

STDMETHODIMP TestBrowser::BrowseObject(LPCITEMIDLIST item, UINT)
{
    char name[MAX_PATH] = "";
    browsedTo.emplace_back(ItemIdName(item, name, sizeof name));
    return S_OK;
}

STDMETHODIMP TestBrowser::GetViewStateStream(DWORD, IStream** stream)
{
    *stream = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TestBrowser::GetControlWindow(UINT, HWND* window)
{
    *window = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TestBrowser::SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (result) *result = 0;
    if (id == FCW_STATUS && message == SB_SETPARTS) {
        const int* edges = reinterpret_cast<const int*>(lParam);
        statusParts.assign(edges, edges + wParam);
    } else if (id == FCW_STATUS && message == SB_SETTEXTA) {
        statusTexts[static_cast<int>(wParam & 0xFF)] = reinterpret_cast<const char*>(lParam);
    } else if (id == FCW_STATUS && message == SB_SIMPLE) {
        simpleStatus = wParam != 0;
    } else if (id == FCW_TOOLBAR && message == TB_ADDBITMAP) {
        const auto* bitmap = reinterpret_cast<const TBADDBITMAP*>(lParam);
        if (bitmap->hInst == HINST_COMMCTRL && bitmap->nID == IDB_STD_SMALL_COLOR) ++addBitmapCalls;
        if (result) *result = kBitmapOffset;
    } else if (id == FCW_TOOLBAR && message == TB_ENABLEBUTTON) {
        enabled[static_cast<int>(wParam)] = LOWORD(lParam) != 0;
    } else {
        return E_NOTIMPL;
    }
    return S_OK;
}

STDMETHODIMP TestBrowser::QueryActiveShellView(IShellView** view)
{
    *view = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TestBrowser::OnViewWindowActive(IShellView*)
{
    ++activeViewCalls;
    return S_OK;
}

STDMETHODIMP TestBrowser::SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT flags)
{
    if (flags == FCT_MERGE) this->buttons.assign(buttons, buttons + count);
    return S_OK;
}

namespace {

struct BrowserPopup {
    UINT id;
    const char* title;
    std::vector<const char*> items;
};
const BrowserPopup kBrowserPopups[] = {
    {FCIDM_MENU_FILE, "&File", {"&Close"}},
    {FCIDM_MENU_EDIT, "&Edit", {"&Undo"}},
    {FCIDM_MENU_VIEW, "&View", {"&Toolbar", "Status &Bar", "", "&Refresh"}},
    {FCIDM_MENU_HELP, "&Help", {"&About"}},
};
constexpr UINT kBrowserItemBase = 0xA000;

std::string ItemText(HMENU menu, int index)
{
    char text[MAX_PATH] = "";
    GetMenuStringA(menu, index, text, sizeof text, MF_BYPOSITION);
    return text;
}

}  // namespace

STDMETHODIMP TestBrowser::InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS)
{
    UINT next = kBrowserItemBase;
    for (const BrowserPopup& browserPopup : kBrowserPopups) {
        HMENU popup = CreatePopupMenu();
        for (const char* item : browserPopup.items)
            AppendMenuA(popup, *item ? MF_STRING : MF_SEPARATOR, *item ? next++ : 0, item);
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.wID = browserPopup.id;
        info.hSubMenu = popup;
        info.dwTypeData = const_cast<char*>(browserPopup.title);
        InsertMenuItemA(shared, GetMenuItemCount(shared), TRUE, &info);
    }
    return S_OK;
}

STDMETHODIMP TestBrowser::SetMenuSB(HMENU shared, HOLEMENU, HWND window)
{
    menu = shared;
    menuWindow = window;
    return S_OK;
}

STDMETHODIMP TestBrowser::RemoveMenusSB(HMENU shared)
{
    ++removeMenusCalls;
    for (const BrowserPopup& browserPopup : kBrowserPopups) DeleteMenu(shared, browserPopup.id, MF_BYCOMMAND);
    return S_OK;
}

HMENU TestBrowser::Popup(const char* title) const
{
    for (int index = 0; menu && index < GetMenuItemCount(menu); ++index)
        if (ItemText(menu, index) == title) return GetSubMenu(menu, index);
    return nullptr;
}

std::vector<std::string> TestBrowser::RecordMenus()
{
    std::vector<std::string> lines;
    for (int index = 0; menu && index < GetMenuItemCount(menu); ++index) {
        lines.push_back(ItemText(menu, index));
        RecordPopup(GetSubMenu(menu, index), "  ", lines);
    }
    return lines;
}

void TestBrowser::RecordPopup(HMENU popup, const std::string& indent, std::vector<std::string>& lines)
{
    SendMessageA(menuWindow, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    for (int index = 0; index < GetMenuItemCount(popup); ++index) {
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
        GetMenuItemInfoA(popup, index, TRUE, &info);
        if (info.fType & MFT_SEPARATOR) {
            lines.push_back(indent + "-");
            continue;
        }
        std::string line = indent + (info.hSubMenu ? "" : std::to_string(info.wID) + " ") + ItemText(popup, index);
        if (info.fState & MFS_GRAYED) line += " [greyed]";
        if (info.fState & MFS_CHECKED) line += " [checked]";
        if (!info.hSubMenu) {
            statusTexts.erase(255);
            SendMessageA(menuWindow, WM_MENUSELECT, MAKEWPARAM(info.wID, 0), reinterpret_cast<LPARAM>(popup));
            if (statusTexts.count(255)) line += " | " + statusTexts[255];
        }
        lines.push_back(line);
        if (info.hSubMenu) RecordPopup(info.hSubMenu, indent + "  ", lines);
    }
}

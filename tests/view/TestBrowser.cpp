#include "tests/view/TestBrowser.h"

#include "shell/ItemId.h"

// A File, Edit, View and Help popup of our own.
TestBrowser::TestBrowser()
    : BrowserBase({{FCIDM_MENU_FILE, "&File", {"&Close"}},
                   {FCIDM_MENU_EDIT, "&Edit", {"&Undo"}},
                   {FCIDM_MENU_VIEW, "&View", {"&Toolbar", "Status &Bar", "", "&Refresh"}},
                   {FCIDM_MENU_HELP, "&Help", {"&About"}}},
                  0xA000)
{
    frame_ = CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
}

TestBrowser::~TestBrowser() { DestroyWindow(frame_); }

STDMETHODIMP TestBrowser::BrowseObject(LPCITEMIDLIST item, UINT)
{
    char name[MAX_PATH] = "";
    browsedTo.emplace_back(ItemIdName(item, name, sizeof name));
    return S_OK;
}

STDMETHODIMP TestBrowser::SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (result) *result = 0;
    if (id == FCW_STATUS && message == SB_SETTEXTA) {
        statusTexts[static_cast<int>(wParam & 0xFF)] = reinterpret_cast<const char*>(lParam);
    } else if (id == FCW_STATUS && message == SB_SIMPLE) {
        simpleStatus = wParam != 0;
    } else if (id == FCW_TOOLBAR && message == TB_ADDBITMAP) {
        if (result) *result = kBitmapOffset;
    } else if (id == FCW_TOOLBAR && message == TB_ENABLEBUTTON) {
        enabled[static_cast<int>(wParam)] = LOWORD(lParam) != 0;
    } else {
        return E_NOTIMPL;
    }
    return S_OK;
}

HMENU TestBrowser::Popup(const char* title) const
{
    for (int index = 0; menu && index < GetMenuItemCount(menu); ++index)
        if (MenuText(menu, index) == title) return GetSubMenu(menu, index);
    return nullptr;
}

std::string TestBrowser::TakeMenuHelp()
{
    std::string text = statusTexts[255];
    statusTexts.erase(255);
    return text;
}

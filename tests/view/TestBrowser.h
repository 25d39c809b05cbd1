#pragma once
// A browser of our own for the view: a top-level frame window, and a record
// of every status text, toolbar button and button state the view hands it.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

#include "host/BrowserBase.h"
#include "shell/ItemId.h"

class TestBrowser final : public BrowserBase {
public:
    static constexpr int kBitmapOffset = 15;  // where our pretend toolbar puts the added bitmap

    // A File, Edit, View and Help popup of our own.
    TestBrowser()
        : BrowserBase({{FCIDM_MENU_FILE, "&File", {"&Close"}},
                       {FCIDM_MENU_EDIT, "&Edit", {"&Undo"}},
                       {FCIDM_MENU_VIEW, "&View", {"&Toolbar", "Status &Bar", "", "&Refresh"}},
                       {FCIDM_MENU_HELP, "&Help", {"&About"}}},
                      0xA000)
    {
        frame_ = CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    }
    ~TestBrowser() override { DestroyWindow(frame_); }

    std::map<int, std::string> statusTexts;  // by part
    std::vector<TBBUTTON> buttons;           // as merged
    std::map<int, bool> enabled;             // by command
    std::vector<std::string> browsedTo;      // names of the items BrowseObject was given
    bool simpleStatus = false;               // the last SB_SIMPLE
    HMENU menu = nullptr;                    // as handed over by SetMenuSB
    HWND menuWindow = nullptr;               // where the menu's commands go

    // The merged menu bar, as BrowserBase::RecordMenuBar writes it.
    std::vector<std::string> RecordMenus() { return RecordMenuBar(menu, menuWindow); }
    // The merged popup with that title ("&Edit", "Pel&lor"), or null.
    HMENU Popup(const char* title) const
    {
        for (int index = 0; menu && index < GetMenuItemCount(menu); ++index)
            if (MenuText(menu, index) == title) return GetSubMenu(menu, index);
        return nullptr;
    }

    // IUnknown: a stack object, the counts do not own it.
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }
    ULONG References() const { return refs_; }

    // IShellBrowser
    STDMETHODIMP SetMenuSB(HMENU shared, HOLEMENU, HWND window) override
    {
        menu = shared;
        menuWindow = window;
        return S_OK;
    }
    STDMETHODIMP BrowseObject(LPCITEMIDLIST item, UINT) override
    {
        char name[MAX_PATH] = "";
        browsedTo.emplace_back(ItemIdName(item, name, sizeof name));
        return S_OK;
    }
    STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
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
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB items, UINT count, UINT flags) override
    {
        if (flags == FCT_MERGE) buttons.assign(items, items + count);
        return S_OK;
    }

private:
    std::string TakeMenuHelp() override
    {
        std::string text = statusTexts[255];
        statusTexts.erase(255);
        return text;
    }

    ULONG refs_ = 0;
};

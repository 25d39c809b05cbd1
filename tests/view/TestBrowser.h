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

class TestBrowser final : public BrowserBase {
public:
    static constexpr int kBitmapOffset = 15;  // where our pretend toolbar puts the added bitmap

    TestBrowser();
    ~TestBrowser() override;

    std::map<int, std::string> statusTexts;  // by part
    std::vector<TBBUTTON> buttons;       // as merged
    std::map<int, bool> enabled;         // by command
    std::vector<std::string> browsedTo;  // names of the items BrowseObject was given
    bool simpleStatus = false;           // the last SB_SIMPLE
    HMENU menu = nullptr;                // as handed over by SetMenuSB
    HWND menuWindow = nullptr;           // where the menu's commands go

    // The merged menu bar, as BrowserBase::RecordMenuBar writes it.
    std::vector<std::string> RecordMenus() { return RecordMenuBar(menu, menuWindow); }
    // The merged popup with that title ("&Edit", "Pel&lor"), or null.
    HMENU Popup(const char* title) const;

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
    STDMETHODIMP BrowseObject(LPCITEMIDLIST item, UINT flags) override;
    STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB items, UINT count, UINT flags) override
    {
        if (flags == FCT_MERGE) buttons.assign(items, items + count);
        return S_OK;
    }

private:
    std::string TakeMenuHelp() override;

    ULONG refs_ = 0;
};

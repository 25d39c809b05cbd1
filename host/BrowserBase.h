#pragma once
// What every browser of ours shares: the interface table, the frame window
// handed out by GetWindow, the browser's own popups that a view merges its
// menus into, a record of a merged menu bar, and "not implemented" for
// whatever a browser does not offer. Reference counting is left to the
// browser.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "shell/ComBase.h"

// One popup of the browser's own: its FCIDM_ id (by which the view finds
// it), its title and its item texts ("" for a separator).
struct BrowserPopup {
    UINT id;
    const char* title;
    std::vector<const char*> items;
};

class BrowserBase : public IShellBrowser {
public:
    HWND Frame() const { return frame_; }

    // Every item of a menu bar, one line each, as the user would meet them:
    // each popup prepared by `target` with WM_INITMENUPOPUP, then its items
    // "<id> <text> [greyed] [checked] | <help text>" with the help text the
    // view shows for WM_MENUSELECT; submenus indented.
    std::vector<std::string> RecordMenuBar(HMENU bar, HWND target);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        static const QiEntry table[] = {
            QI_ENTRY(BrowserBase, IShellBrowser),
            {&IID_IOleWindow, QiOffset<BrowserBase, IShellBrowser>()},
            {nullptr, 0},
        };
        return QiSearch(this, table, riid, ppv);
    }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override
    {
        if (!window) return E_POINTER;
        *window = frame_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IShellBrowser
    // Appends the browser's own popups, items numbered from its first item id.
    STDMETHODIMP InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
    STDMETHODIMP SetMenuSB(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
    // Deletes the browser's own popups, with whatever the view put into them.
    STDMETHODIMP RemoveMenusSB(HMENU shared) override;
    STDMETHODIMP SetStatusTextSB(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP EnableModelessSB(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return S_FALSE; }
    STDMETHODIMP BrowseObject(LPCITEMIDLIST, UINT) override { return E_NOTIMPL; }
    STDMETHODIMP GetViewStateStream(DWORD, IStream** stream) override
    {
        if (stream) *stream = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetControlWindow(UINT, HWND* window) override
    {
        if (window) *window = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT* result) override
    {
        if (result) *result = 0;
        return E_NOTIMPL;
    }
    STDMETHODIMP QueryActiveShellView(IShellView** view) override
    {
        if (view) *view = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP OnViewWindowActive(IShellView*) override { return S_OK; }
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB, UINT, UINT) override { return E_NOTIMPL; }

protected:
    BrowserBase(std::vector<BrowserPopup> popups, UINT firstItem) : popups_(std::move(popups)), firstItem_(firstItem) {}
    virtual ~BrowserBase() = default;
    BrowserBase(const BrowserBase&) = delete;
    BrowserBase& operator=(const BrowserBase&) = delete;

    static std::string MenuText(HMENU menu, int index);
    // The menu help text the view has shown since the last call, or "".
    virtual std::string TakeMenuHelp() { return ""; }

    HWND frame_ = nullptr;

private:
    void RecordPopup(HMENU popup, HWND target, const std::string& indent, std::vector<std::string>& lines);

    std::vector<BrowserPopup> popups_;
    UINT firstItem_;
};

#pragma once
// A browser of our own for the view: a top-level frame window, and a record
// of every status text, toolbar button and button state the view hands it.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

class TestBrowser final : public IShellBrowser {
public:
    static constexpr int kBitmapOffset = 15;  // where our pretend toolbar puts the added bitmap

    TestBrowser();
    ~TestBrowser();
    TestBrowser(const TestBrowser&) = delete;
    TestBrowser& operator=(const TestBrowser&) = delete;

    HWND Frame() const { return frame_; }

    std::map<int, std::string> statusTexts;  // by part
    std::vector<int> statusParts;            // the last SB_SETPARTS
    int addBitmapCalls = 0;
    std::vector<TBBUTTON> buttons;  // as merged
    std::map<int, bool> enabled;    // by command
    std::vector<std::string> browsedTo;  // names of the items BrowseObject was given
    int activeViewCalls = 0;
    bool simpleStatus = false;     // the last SB_SIMPLE
    HMENU menu = nullptr;          // as handed over by SetMenuSB
    HWND menuWindow = nullptr;     // where the menu's commands go
    int removeMenusCalls = 0;

    // Every item of the merged menu bar, one line each, as the user would
    // meet them: each popup prepared with WM_INITMENUPOPUP, then its items
    // "<id> <text> [greyed] [checked] | <help text>" with the help text the
    // view shows for WM_MENUSELECT; submenus indented.
    std::vector<std::string> RecordMenus();
    // The merged popup with that title ("&Edit", "Pel&lor"), or null.
    HMENU Popup(const char* title) const;

    // IUnknown: a stack object, the counts do not own it.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }
    ULONG References() const { return refs_; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IShellBrowser
    // A File, Edit, View and Help popup of our own.
    STDMETHODIMP InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS) override;
    STDMETHODIMP SetMenuSB(HMENU shared, HOLEMENU, HWND window) override;
    STDMETHODIMP RemoveMenusSB(HMENU shared) override;
    STDMETHODIMP SetStatusTextSB(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP EnableModelessSB(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return S_FALSE; }
    STDMETHODIMP BrowseObject(LPCITEMIDLIST item, UINT flags) override;
    STDMETHODIMP GetViewStateStream(DWORD, IStream** stream) override;
    STDMETHODIMP GetControlWindow(UINT, HWND* window) override;
    STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    STDMETHODIMP QueryActiveShellView(IShellView** view) override;
    STDMETHODIMP OnViewWindowActive(IShellView*) override;
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT flags) override;

private:
    void RecordPopup(HMENU popup, const std::string& indent, std::vector<std::string>& lines);

    ULONG refs_ = 0;
    HWND frame_ = nullptr;
};

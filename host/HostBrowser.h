#pragma once
// A browser of its own for the folder's view, outside Explorer: a top-level
// frame with a menu bar, a toolbar and a status bar around one view, which
// it activates, whose menus and toolbar buttons it merges, and whose
// accelerators it routes, as Explorer would. It can write down what the view
// put into menus, toolbar and status bar.
#include <string>
#include <vector>

#include "host/BrowserBase.h"
#include "shell/ShellIdList.h"

class HostBrowser final : public BrowserBase, public RefCounted {
public:
    // windowsMode: behave as Windows 10 Explorer does where Wine's does not:
    // its own Cut, Copy and Delete ("Organize" menu and buttons) act on the
    // view's GetItemObject, going back (Backspace, Up One Level) selects the
    // folder just left with SelectItem, and a closed view's last reference
    // goes on another window's thread, and the view's menus are never shown
    // in a menu bar. What it did, and each command chosen from the view's
    // context menu, goes into the record.
    explicit HostBrowser(bool windowsMode = false);

    // Shows the view of `folder` (referenced) under the frame title `title`.
    bool Open(IShellFolder* folder, const std::string& title);
    // Runs the message loop until the frame is closed.
    int Run();
    void CloseAfter(UINT milliseconds);
    // Writes the record to stdout when the frame is being closed.
    void RecordOnClose() { recordOnClose_ = true; }
    // The menus (with the states the view gives them when they open), the
    // toolbar buttons and the status bar texts, one item a line.
    std::string Record();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return BrowserBase::QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    // IShellBrowser
    STDMETHODIMP SetMenuSB(HMENU shared, HOLEMENU, HWND target) override;
    STDMETHODIMP SetStatusTextSB(LPCOLESTR text) override;
    STDMETHODIMP EnableModelessSB(BOOL) override { return S_OK; }
    STDMETHODIMP BrowseObject(LPCITEMIDLIST item, UINT flags) override;
    STDMETHODIMP GetControlWindow(UINT id, HWND* window) override;
    STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    STDMETHODIMP QueryActiveShellView(IShellView** view) override;
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT flags) override;

private:
    ~HostBrowser() override;

    struct Place {
        ComPtr<IShellFolder> folder;
        std::string title;
        ShellRelativeIdList item;  // relative to the place before; none for the first
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(WPARAM wParam, LPARAM lParam);
    void OnClose();
    bool ShowView(IShellFolder* folder, const std::string& title);
    void CloseView();
    void GoUp();
    // Windows mode.
    void RunOrganize(UINT command);
    void ReleaseOnOtherThread(IShellView* view);
    // Watches the view's menu messages and the keys in menus: the item
    // highlighted when Return closes a context menu is the command chosen.
    static LRESULT CALLBACK WatchMenus(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK WatchMenuKeys(int code, WPARAM wParam, LPARAM lParam);
    void OnViewMenuSelect(UINT id, UINT flags, HMENU menu);
    std::string FolderViewLine() const;
    std::string FocusedItemLine() const;
    void Note(const std::string& line) { events_.push_back(line); }
    void Layout();
    RECT ViewArea() const;
    bool ViewHasFocus() const;
    HWND CommandTarget() const { return menuTarget_ ? menuTarget_ : viewWindow_; }
    std::string TakeMenuHelp() override;

    HWND toolbar_ = nullptr;
    HWND status_ = nullptr;
    HMENU ownMenu_ = nullptr;    // the frame's menu while no view has merged its own
    HWND menuTarget_ = nullptr;  // gets the commands of a merged menu
    int ownButtons_ = 0;
    std::vector<Place> places_;  // from the root to the folder shown
    Place pending_;              // where BrowseObject goes, once the view's call has returned
    ComPtr<IShellView> view_;
    HWND viewWindow_ = nullptr;
    bool recordOnClose_ = false;
    bool windowsMode_;
    std::vector<std::string> events_;      // what the Windows mode did, for the record
    std::vector<std::string> focusNotes_;  // where the focus was after each view was shown
    HHOOK menuWatch_ = nullptr, keyWatch_ = nullptr;
    std::string highlighted_;  // the context menu's item under the keyboard
    bool returned_ = false;    // Return was pressed in that menu
    std::string menuHelp_;     // the last help text the view showed for a menu item
};

#pragma once
// The view through the folder, in a browser of our own, over the stand-in on an in-memory line.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "foundation/CReg.h"
#include "foundation/ScopedHandle.h"
#include "host/BrowserBase.h"
#include "resources/resource.h"
#include "shell/CModule.h"
#include "shell/CShellFolder.h"
#include "shell/ClipFormats.h"
#include "shell/Guids.h"
#include "shell/ItemId.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/SimOnLine.h"
#include "view/CShellView.h"

// A frame with File, Edit, View and Help popups, recording the status texts and button states it gets.
class TestBrowser final : public BrowserBase {
public:
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
    std::map<int, bool> enabled;             // by command
    Names browsedTo;                         // names of the items BrowseObject was given
    HMENU menu = nullptr;                    // as handed over by SetMenuSB, with where its commands go
    HWND menuWindow = nullptr;

    Names RecordMenus() { return RecordMenuBar(menu, menuWindow); }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

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
        } else if (id == FCW_TOOLBAR && message == TB_ENABLEBUTTON) {
            enabled[static_cast<int>(wParam)] = LOWORD(lParam) != 0;
        } else {
            return E_NOTIMPL;
        }
        return S_OK;
    }
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB, UINT, UINT) override { return S_OK; }

private:
    std::string TakeMenuHelp() override { return statusTexts.count(255) ? statusTexts.extract(255).mapped() : ""; }
};

// One view window over a folder, its listing waited for unless told not to; closed and released at the end.
struct OpenView {
    OpenView(IShellFolder* folder, TestBrowser& browser, UINT flags = 0, bool listed = true)
    {
        EXPECT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, view.putVoid()), S_OK);
        FOLDERSETTINGS settings{FVM_DETAILS, flags};
        RECT area{0, 0, 600, 400};
        EXPECT_EQ(view->CreateViewWindow(nullptr, &settings, &browser, &area, &window), S_OK);
        list = GetDlgItem(window, CShellView::kListId);
        if (listed) Listed();
    }
    void Listed() const
    {
        for (Settle(); static_cast<CShellView*>(view.get())->Reading(); Settle())
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    ~OpenView() { view->DestroyViewWindow(); }
    int Count() const { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }
    std::string Text(int item, int column) const
    {
        char text[MAX_PATH] = "";
        ListView_GetItemText(list, item, column, text, sizeof text);
        return text;
    }
    // The column's texts of the items in any of the states, or of every item.
    Names Column(int column, UINT states = 0) const
    {
        Names texts;
        for (int item = 0; item < Count(); ++item)
            if (!states || ListView_GetItemState(list, item, states)) texts.push_back(Text(item, column));
        return texts;
    }
    Names Selected() const { return Column(0, LVIS_SELECTED); }
    static void Settle()
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    void Select(int item, bool on) const { ListView_SetItemState(list, item, on ? LVIS_SELECTED : 0, LVIS_SELECTED); }
    void Rename(int item, const char* name) const
    {
        SetFocus(list);
        HWND edit = reinterpret_cast<HWND>(SendMessageA(list, LVM_EDITLABELA, item, 0));
        ASSERT_NE(edit, nullptr);
        SetWindowTextA(edit, name);
        SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    }
    // The text of the rename editor the list has open, which is then closed.
    std::string Editing() const
    {
        HWND edit = ListView_GetEditControl(list);
        char text[MAX_PATH] = "(no editor)";
        if (edit) GetWindowTextA(edit, text, sizeof text);
        if (edit) SendMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        return text;
    }

    ComPtr<IShellView> view;
    HWND window = nullptr;
    HWND list = nullptr;
};

// The names a data object (by default, the clipboard's) describes, in order.
inline Names Described(IDataObject* object = nullptr)
{
    ComPtr<IDataObject> clipboard;
    if (!object && SUCCEEDED(OleGetClipboard(clipboard.put()))) object = clipboard.get();
    FORMATETC format{g_cfFileGroupDescriptor, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    ScopedMedium medium;
    if (!object || FAILED(object->GetData(&format, medium.put()))) return {"(no descriptor)"};
    auto* group = static_cast<FILEGROUPDESCRIPTORA*>(GlobalLock((*medium).hGlobal));
    Names names;
    for (UINT i = 0; group && i < group->cItems; ++i) names.emplace_back(group->fgd[i].cFileName);
    GlobalUnlock((*medium).hGlobal);
    return names;
}

// Runs `act` on the window `find` gives once it shows, inside the modal loop that `open` runs.
inline std::function<HWND()> g_find;
inline std::function<void(HWND)> g_act;
inline void CALLBACK ActOnWindow(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND window = g_find();
    if (!window || !IsWindowVisible(window)) return;
    KillTimer(nullptr, timer);
    g_act(window);
}
inline void WhileOpen(std::function<HWND()> find, std::function<void(HWND)> act, const std::function<void()>& open)
{
    g_find = std::move(find);
    g_act = std::move(act);
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ActOnWindow);
    open();
    KillTimer(nullptr, timer);
}

// The help library as the module reaches it: each call written down, no window shown.
inline Names g_helpCalls;
inline HWND WINAPI RecordHelp(HWND, LPCSTR file, UINT command, DWORD_PTR data)
{
    g_helpCalls.push_back(std::string(file) + ", command " + std::to_string(command) + ", data " +
                          std::to_string(data));
    return nullptr;
}
inline const HtmlHelpLoader kRecordedHelp{
    [](LPCSTR) { return reinterpret_cast<HMODULE>(1); },
    [](HMODULE, LPCSTR) { return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(RecordHelp)); },
    [](HMODULE) { return TRUE; }};

// R:\Letters holds b.zzq (10 bytes), a.mmq (3,000) and C.aaq (200).
class ShellViewTest : public ::testing::Test {
protected:
    ShellViewTest()
    {
        g_module = new CModule(GetModuleHandleA(nullptr), IDA_VIEW, kRecordedHelp);
        g_helpCalls.clear();
        CreateSettings(CLSID_Pellor);
        Settings()->m_bPersistent = false;  // what a test sets stays out of the registry
        for (const auto& [name, size] : {std::pair{"b.zzq", 10}, {"a.mmq", 3000}, {"C.aaq", 200}})
            sim_.put(std::string("R\\Letters\\") + name, std::string(size, 'x'));
        sim_.put("special\\Clock", "");
        OleSetClipboard(nullptr);
        root_.reset(new CShellFolder(nullptr, nullptr));
        letters_ = BindFolder(root_.get(), "R:\\Letters");
    }
    ~ShellViewTest() override
    {
        OleSetClipboard(nullptr);
        letters_.reset();
        root_.reset();
        DestroySettings();
        delete g_module;
        g_module = nullptr;
    }
    CShellFolder* Letters() const { return static_cast<CShellFolder*>(letters_.get()); }
    bool OnDevice(const char* relative) const { return TempDir::Exists(sim_.path(relative)); }

    SimOnLine sim_{1, {"R", "R\\Letters", "F", "F\\Books", "special"}};
    MessageBoxCapture boxes_;  // a refusal's words, so that no box waits for an answer
    ComPtr<CShellFolder> root_;
    ComPtr<IShellFolder> letters_;
    TestBrowser browser_;
};

#pragma once
// The view created through the folder, hosted by a browser of our own, over
// the stand-in note-taker on an in-memory line: what the view tests share.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include "foundation/CReg.h"
#include "foundation/ScopedHandle.h"
#include "resources/resource.h"
#include "shell/CModule.h"
#include "shell/CShellFolder.h"
#include "shell/ClipFormats.h"
#include "shell/Guids.h"
#include "shell/OpenViews.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/SimOnLine.h"
#include "tests/support/TempDir.h"
#include "tests/view/TestBrowser.h"
#include "view/CShellView.h"

// One view window over a folder, closed and released at the end.
struct OpenView {
    OpenView(IShellFolder* folder, TestBrowser& browser, UINT flags = 0, UINT mode = FVM_DETAILS)
    {
        EXPECT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, view.putVoid()), S_OK);
        FOLDERSETTINGS settings{mode, flags};
        RECT area{0, 0, 600, 400};
        EXPECT_EQ(view->CreateViewWindow(nullptr, &settings, &browser, &area, &window), S_OK);
        list = GetDlgItem(window, CShellView::kListId);
    }
    ~OpenView() { view->DestroyViewWindow(); }
    int Count() const { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }
    std::string Text(int item, int column) const
    {
        char text[MAX_PATH] = "";
        LVITEMA entry{};
        entry.iSubItem = column;
        entry.pszText = text;
        entry.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&entry));
        return text;
    }
    Names Column(int column) const
    {
        Names texts;
        for (int item = 0; item < Count(); ++item) texts.push_back(Text(item, column));
        return texts;
    }
    Names Selected() const
    {
        Names names;
        for (int item = 0; item < Count(); ++item)
            if (ListView_GetItemState(list, item, LVIS_SELECTED)) names.push_back(Text(item, 0));
        return names;
    }
    void Notify(NMHDR& header) const
    {
        header.hwndFrom = list;
        header.idFrom = CShellView::kListId;
        SendMessageA(window, WM_NOTIFY, CShellView::kListId, reinterpret_cast<LPARAM>(&header));
    }
    // Runs what the view posted to itself, as its message loop would.
    static void Settle()
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    void Select(int item, bool on) const { ListView_SetItemState(list, item, on ? LVIS_SELECTED : 0, LVIS_SELECTED); }
    // Types a new name into the list's own editor and presses Enter.
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

// R:\Letters holds b.zzq (10 bytes, 3 Jan), a.mmq (3,000, 1 Jan) and C.aaq (200, 2 Jan).
class ShellViewTest : public ::testing::Test {
protected:
    ShellViewTest()
    {
        g_module = new CModule(GetModuleHandleA(nullptr), IDA_VIEW);
        CreateSettings(CLSID_Pellor);
        const struct {
            const char* name;
            size_t size;
            WORD day;
        } files[] = {{"b.zzq", 10, 3}, {"a.mmq", 3000, 1}, {"C.aaq", 200, 2}};
        for (const auto& file : files) {
            const std::string path = sim_.path(std::string("R\\Letters\\") + file.name);
            TempDir::WriteAll(path, std::string(file.size, 'x'));
            SYSTEMTIME local = MakeTime(2026, 1, file.day, 14, 5);
            FILETIME localTime, utc;
            SystemTimeToFileTime(&local, &localTime);
            LocalFileTimeToFileTime(&localTime, &utc);
            ScopedKernelHandle handle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            SetFileTime(handle.get(), nullptr, nullptr, &utc);
        }
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
    static bool ClipboardHasDeviceItems()
    {
        ComPtr<IDataObject> clipboard;
        FORMATETC group{g_cfFileGroupDescriptor, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return SUCCEEDED(OleGetClipboard(clipboard.put())) && clipboard->QueryGetData(&group) == S_OK;
    }

    SimOnLine sim_{1, {"R", "R\\Letters", "F", "F\\Books", "special"}};
    ErrorBoxCapture errors_;
    MessageBoxCapture boxes_;  // a refusal's words, so that no box waits for an answer
    ComPtr<CShellFolder> root_;
    ComPtr<IShellFolder> letters_;
    TestBrowser browser_;
};

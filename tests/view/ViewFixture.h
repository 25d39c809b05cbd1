#pragma once
// The view created through the folder, hosted by a browser of our own, over
// the stand-in note-taker on an in-memory line: what the view tests share.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "foundation/CReg.h"
#include "resources/resource.h"
#include "shell/CModule.h"
#include "shell/CShellFolder.h"
#include "shell/Guids.h"
#include "shell/OpenViews.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/SimOnLine.h"
#include "tests/support/TempDir.h"
#include "tests/view/TestBrowser.h"
#include "view/CShellView.h"

using Names = std::vector<std::string>;

inline void SetModified(const std::string& file, WORD day, WORD hour, WORD minute)
{
    SYSTEMTIME local = MakeTime(2026, 1, day, hour, minute);
    FILETIME localTime, utc;
    SystemTimeToFileTime(&local, &localTime);
    LocalFileTimeToFileTime(&localTime, &utc);
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(handle, nullptr, nullptr, &utc);
    CloseHandle(handle);
}

// One view window over a folder, closed and released at the end.
struct OpenView {
    OpenView(IShellFolder* folder, TestBrowser& browser, UINT flags = 0)
    {
        EXPECT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, reinterpret_cast<void**>(&view)), S_OK);
        FOLDERSETTINGS settings{FVM_DETAILS, flags};
        RECT area{0, 0, 600, 400};
        EXPECT_EQ(view->CreateViewWindow(nullptr, &settings, &browser, &area, &window), S_OK);
        list = GetDlgItem(window, CShellView::kListId);
    }
    ~OpenView()
    {
        view->DestroyViewWindow();
        view->Release();
    }
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
    void Notify(NMHDR& header) const
    {
        header.hwndFrom = list;
        header.idFrom = CShellView::kListId;
        SendMessageA(window, WM_NOTIFY, CShellView::kListId, reinterpret_cast<LPARAM>(&header));
    }
    void ClickHeader(int column) const
    {
        NMHEADERA click{};
        click.hdr.code = HDN_ITEMCLICKA;
        click.iItem = column;
        Notify(click.hdr);
    }
    // Runs what the view posted to itself, as its message loop would.
    static void Settle()
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    void Select(int item, bool on) const
    {
        LVITEMA state{};
        state.stateMask = LVIS_SELECTED;
        state.state = on ? LVIS_SELECTED : 0;
        SendMessageA(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
    }
    // Types a new name into the list's own editor and presses Enter.
    void Rename(int item, const char* name) const
    {
        SetFocus(list);
        HWND edit = reinterpret_cast<HWND>(SendMessageA(list, LVM_EDITLABELA, item, 0));
        ASSERT_NE(edit, nullptr);
        SetWindowTextA(edit, name);
        SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    }

    IShellView* view = nullptr;
    HWND window = nullptr;
    HWND list = nullptr;
};

class ShellViewTest : public ::testing::Test {
protected:
    ShellViewTest()
    {
        g_module = new CModule(GetModuleHandleA(nullptr), IDA_VIEW);
        CreateSettings(CLSID_Pellor);
        for (const char* folder : {"R", "R\\Letters", "F", "F\\Books", "special"})
            CreateDirectoryA(sim_.store.file(folder).c_str(), nullptr);
        const struct {
            const char* name;
            size_t size;
            WORD day;
        } files[] = {{"b.zzq", 10, 3}, {"a.mmq", 3000, 1}, {"C.aaq", 200, 2}};
        for (const auto& file : files) {
            std::string path = sim_.store.file(std::string("R\\Letters\\") + file.name);
            TempDir::WriteAll(path, std::string(file.size, 'x'));
            SetModified(path, file.day, 14, 5);
        }
        TempDir::WriteAll(sim_.store.file("special\\Clock"), "");
        root_ = new CShellFolder(nullptr, nullptr);
    }
    ~ShellViewTest() override
    {
        root_->Release();
        DestroySettings();
        delete g_module;
        g_module = nullptr;
    }
    IShellFolder* Letters()
    {
        ItemIdHolder letters(MakeItem("R:\\Letters", 2));
        IShellFolder* child = nullptr;
        EXPECT_EQ(root_->BindToObject(letters.get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&child)),
                  S_OK);
        return child;
    }

    SimOnLine sim_{1};
    ErrorBoxCapture errors_;
    MessageBoxCapture boxes_;  // a refusal's words, so that no box waits for an answer
    CShellFolder* root_;
    TestBrowser browser_;
};

// The view's merged menus, accelerators and context menu as the user meets
// them, and the folder's commands behind them, over the stand-in note-taker.
#include <ole2.h>

#include "shell/CDataObject.h"
#include "tests/view/ViewFixture.h"

namespace {

const char* Grey(HMENU menu, UINT id)
{
    return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) ? "greyed" : "enabled";
}

DWORD ClipboardDropEffect()
{
    ComPtr<IDataObject> clipboard;
    DWORD effect = 0;
    OleGetClipboard(clipboard.put());
    return clipboard && SUCCEEDED(GetDataDword(clipboard.get(), g_cfPreferredDropEffect, &effect)) ? effect : 0;
}

class MenusTest : public ShellViewTest {
protected:
    MenusTest()
    {
        boxes_.answer = IDYES;
        Settings()->m_masks = {"*.txt", "*.crv", "*.doc"};
        lstrcpynA(Settings()->m_szBackupPath, backup_.file("saved").c_str(), MAX_PATH);
    }
    // Presses a key with Ctrl and Alt as given, through the view's accelerators.
    static HRESULT Press(const OpenView& view, UINT key, bool ctrl, bool alt = false)
    {
        BYTE keys[256] = {};
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        keys[VK_MENU] = alt ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG message{view.list, static_cast<UINT>(alt ? WM_SYSKEYDOWN : WM_KEYDOWN), key, alt ? (1 << 29) : 0};
        HRESULT hr = view.view->TranslateAccelerator(&message);
        keys[VK_CONTROL] = keys[VK_MENU] = 0;
        SetKeyboardState(keys);
        return hr;
    }

    TempDir backup_;
};

TEST_F(MenusTest, MergedMenusReadAsTheUserMeetsThem)
{
    OpenView view(letters_.get(), browser_);
    ASSERT_EQ(view.view->UIActivate(SVUIA_ACTIVATE_FOCUS), S_OK);
    ASSERT_NE(browser_.menu, nullptr);
    EXPECT_EQ(browser_.menuWindow, view.window);
    const Names expected = {
        "&File",
        "  40960 &Close",
        "&Edit",
        "  40 Cu&t\tCtrl+X [greyed] | Removes selected items and copies them onto Clipboard.",
        "  41 &Copy\tCtrl+C [greyed] | Copies selected items to Clipboard.",
        "  42 &Paste\tCtrl+V [greyed] | Inserts items from Clipboard into selected location.",
        "  -",
        "  43 &Delete\tDel",
        "  44 Rena&me\tF2",
        "  -",
        "  50 Select &All\tCtrl+A | Selects all items in the window.",
        "  52 Select by &Mask\tCtrl+M",
        "  51 &Invert Selection | Reverses which items are selected and which are not.",
        "&View",
        "  40962 &Toolbar",
        "  40963 Status &Bar",
        "  -",
        "  40964 &Refresh",
        "  20 Lar&ge Icons | Displays items by using large icons.",
        "  21 S&mall Icons | Displays items by using small icons.",
        "  22 &List | Displays items in a list.",
        "  23 &Details [checked] | Displays information about each item in the window.",
        "  -",
        "  Arrange &Icons",
        "    25 by &Name | Sorts items alphabetically by name.",
        "    27 by &Type | Sorts items by type.",
        "    26 by Si&ze | Sorts items by size, from smallest to largest.",
        "    28 by &Date | Sorts items by date, from oldest to most recent.",
        "    -",
        "    29 &Auto Arrange | Arranges the icons automatically.",
        "  30 Line &Up Icons | Aranges icons in a grid.",
        "  -",
        "Pel&lor",
        "  10 &Backup\tCtrl+B | Saves all files from notetaker to PC.",
        "  12 Backup &To...\tCtrl+Shift+B | Saves all files from notetaker to a folder on PC.",
        "  -",
        "  13 &Restore\tCtrl+R [greyed] | Restores all saved files from PC to notetaker.",
        "  15 Restore &From...\tCtrl+Shift+R | Restores saved files from a folder on PC to notetaker.",
        "&Help",
        "  40965 &About",
        "  55 &Help Topics",
        "  -",
    };
    EXPECT_EQ(browser_.RecordMenus(), expected);
    EXPECT_TRUE(browser_.simpleStatus);
    EXPECT_EQ(SendMessageA(view.window, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0), 1);
    EXPECT_EQ(browser_.statusTexts[255], "") << "a closed menu leaves no help text";
    EXPECT_FALSE(browser_.simpleStatus);
    SendMessageA(view.window, WM_COMMAND, IDC_AUTO_ARRANGE, 0);
    SendMessageA(view.window, WM_COMMAND, IDC_LIST, 0);
    Names changed = browser_.RecordMenus();
    EXPECT_EQ(changed[20], "  22 &List [checked] | Displays items in a list.");
    EXPECT_EQ(changed[21], "  23 &Details | Displays information about each item in the window.");
    EXPECT_EQ(changed[29], "    29 &Auto Arrange [checked] | Arranges the icons automatically.");
    EXPECT_EQ(GetWindowLongPtrA(view.list, GWL_STYLE) & LVS_TYPEMASK, LVS_LIST);
    SendMessageA(view.window, WM_COMMAND, IDC_BY_SIZE, 0);
    EXPECT_EQ(view.Column(0), (Names{"b.zzq", "C.aaq", "a.mmq"})) << "arranged by size";
    // Cut and Copy follow the selection, Paste a clipboard with PC files only.
    HMENU edit = browser_.Popup("&Edit");
    auto editStates = [&] {
        SendMessageA(view.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(edit), 0);
        return Names{Grey(edit, IDC_CUT), Grey(edit, IDC_COPY), Grey(edit, IDC_PASTE)};
    };
    view.Select(0, true);
    OleSetClipboard(ComPtr<CDataObject>(PcFiles({backup_.file("x.txt")})).get());
    EXPECT_EQ(editStates(), (Names{"enabled", "enabled", "enabled"}));
    SendMessageA(view.window, WM_COMMAND, IDC_COPY, 0);
    view.Select(0, false);
    EXPECT_EQ(editStates(), (Names{"greyed", "greyed", "greyed"})) << "device items are no files to paste";
    SendMessageA(view.window, WM_COMMAND, IDC_HELP_TOPICS, 0);
    EXPECT_EQ(g_helpCalls, Names{std::string(g_module->GetHelpFile()) + ", command 0, data 0"})
        << "Help Topics opens the help file at its start page";

    view.view->UIActivate(SVUIA_DEACTIVATE);
    EXPECT_EQ(browser_.menu, nullptr);
    view.view->UIActivate(SVUIA_INPLACEACTIVATE);
    EXPECT_EQ(browser_.menu, nullptr) << "in-place activation merges nothing";
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    EXPECT_EQ(browser_.RecordMenus().size(), expected.size()) << "merged afresh when the view has the focus again";
}

TEST_F(MenusTest, AcceleratorsAndTheContextMenuKeyRunTheirCommands)
{
    OpenView view(letters_.get(), browser_);
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    EXPECT_EQ(Press(view, 'A', true), S_OK);
    EXPECT_EQ(view.Selected().size(), 3u) << "Ctrl+A";
    EXPECT_EQ(Press(view, 'A', false), S_FALSE) << "A alone is no command";

    Names shownMasks;
    auto typeMask = [&](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_MASK_COMBO);
        for (LRESULT index = 0, count = SendMessageA(combo, CB_GETCOUNT, 0, 0); index < count; ++index) {
            char text[MAX_PATH] = "";
            SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
            shownMasks.emplace_back(text);
        }
        SetWindowTextA(combo, "*.ZZQ;c.*");
        // Enter in the combo box's edit field, as the user ends the dialog.
        HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
        PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 1);
        PostMessageA(edit, WM_KEYUP, VK_RETURN, 0xC0000001);
    };
    WhileOpen([] { return FindWindowA("#32770", "Enter File Mask"); }, typeMask,
              [&] { EXPECT_EQ(Press(view, 'M', true), S_OK); });
    EXPECT_EQ(shownMasks, (Names{"*.txt", "*.crv", "*.doc"})) << "the history is offered";
    EXPECT_EQ(view.Selected(), (Names{"b.zzq", "C.aaq"})) << "either pattern, any case, and nothing else";
    EXPECT_EQ(Settings()->m_masks.front(), "*.ZZQ;c.*");

    for (int item = 0; item < view.Count(); ++item) view.Select(item, item == 0);
    EXPECT_EQ(Press(view, 'X', true), S_OK);
    EXPECT_EQ(ListView_GetItemState(view.list, 0, LVIS_CUT), static_cast<UINT>(LVIS_CUT)) << "Ctrl+X marks the cut";
    EXPECT_EQ(ClipboardDropEffect(), static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_EQ(Press(view, 'C', true), S_OK);
    EXPECT_EQ(ListView_GetItemState(view.list, 0, LVIS_CUT), 0u) << "Ctrl+C clears the cut mark";
    EXPECT_EQ(ClipboardNames(), Names{"a.mmq"});
    EXPECT_NE(ClipboardDropEffect(), static_cast<DWORD>(DROPEFFECT_MOVE)) << "a fresh object, not the cut one";
    EXPECT_EQ(Press(view, VK_DELETE, false), S_OK);
    EXPECT_FALSE(OnDevice("R\\Letters\\a.mmq")) << "Del deletes on the device";
    EXPECT_EQ(view.Column(0), (Names{"b.zzq", "C.aaq"}));

    // What Shift+F10 and the Applications key send: the menu opens at the
    // first selected item, and its mnemonic runs the command over the selection.
    view.Select(0, true);
    RECT item{LVIR_ICON}, menu{};
    ListView_GetItemRect(view.list, 0, &item, LVIR_ICON);
    MapWindowPoints(view.list, nullptr, reinterpret_cast<POINT*>(&item), 2);
    WhileOpen([] { return FindWindowA("#32768", nullptr); },
              [&](HWND popup) {
                  GetWindowRect(popup, &menu);
                  PostMessageA(popup, WM_CHAR, 'c', 0);
              },
              [&] {
                  SendMessageA(view.window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view.list), MAKELPARAM(-1, -1));
              });
    EXPECT_TRUE(PtInRect(&item, POINT{menu.left, menu.top})) << "the menu opened at " << menu.left << "," << menu.top;
    EXPECT_EQ(ClipboardNames(), Names{"b.zzq"}) << "Copy ran over the selected item";
}

TEST_F(MenusTest, BackupAndRestoreFromTheirKeys)
{
    sim_.put("R\\Letters\\b.zzq", "kept words");
    DeleteFileA(sim_.path("special\\Clock").c_str());  // a special entry would be named in a box
    OpenView view(letters_.get(), browser_);
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    EXPECT_EQ(Press(view, 'B', true, true), S_OK) << "Ctrl+Alt+B";
    EXPECT_EQ(TempDir::ReadAll(backup_.file("saved\\R\\Letters\\b.zzq")), "kept words");
    browser_.RecordMenus();  // prepares every popup
    EXPECT_STREQ(Grey(browser_.Popup("Pel&lor"), IDC_RESTORE), "enabled") << "greyed before the backup";
    DeleteFileA(sim_.path("R\\Letters\\b.zzq").c_str());
    view.view->Refresh();
    EXPECT_EQ(Press(view, 'R', true), S_OK) << "Ctrl+R";
    view.Listed();
    EXPECT_EQ(sim_.read("R\\Letters\\b.zzq"), "kept words");
    EXPECT_EQ(view.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq"})) << "the view was refreshed";
    EXPECT_EQ(boxes_.texts, Names{"Files on the notetaker will be replaced by their backed-up copies. Are you sure "
                                  "you want to restore?"});
    boxes_.texts.clear();
    Settings()->m_szBackupPath[0] = '\0';
    EXPECT_EQ(Press(view, 'R', true, true), S_OK) << "Ctrl+Alt+R without a backup path";
    EXPECT_EQ(boxes_.texts, Names{"Invalid path specified."});
}

// Deleting stops at the first failure, told in words; Del asks once, and a
// folder goes with the files in it, from every open view.
TEST_F(MenusTest, DeleteStopsAtTheFirstFailureAndTakesFoldersWithTheirFiles)
{
    OpenView root(root_.get(), browser_), inside(letters_.get(), browser_);
    EXPECT_EQ(Letters()->DeleteItems(0, nullptr, inside.list), E_INVALIDARG);
    EXPECT_EQ(Letters()->CopyItems(nullptr, CShellFolder::COPY_CLIPBOARD, 0, nullptr), E_INVALIDARG);
    CItemList files, folder;
    for (const char* name : {"a.mmq", "gone.txt", "C.aaq"}) files.Append(MakeItem(name, kFile));
    EXPECT_TRUE(FAILED(Letters()->DeleteItems(3, files.Items(), inside.list)));
    EXPECT_EQ(inside.Column(0), (Names{"b.zzq", "C.aaq"})) << "a.mmq went, and nothing after the failure";
    EXPECT_EQ(boxes_.texts, Names{"Invalid path specified."});

    folder.Append(MakeItem("R:\\Letters", kFolderR));
    for (int answer : {IDNO, IDYES}) {
        boxes_.texts.clear();
        boxes_.answer = answer;
        EXPECT_EQ(root_->RunCommand(IDC_DELETE, 1, folder.Items(), root.list, nullptr), S_OK);
        EXPECT_EQ(boxes_.texts, Names{"Are you sure you want to delete 1 item(s) from the notetaker? Folders are "
                                      "deleted with everything in them."}) << "one question, and no failure";
        EXPECT_EQ(OnDevice("R\\Letters"), answer == IDNO);
    }
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books"}));
    EXPECT_EQ(inside.Count(), 0) << "the files went from the folder's own view too";
}

}  // namespace

// The view's merged menus, accelerators and context menu as the user meets
// them, and the folder's commands behind them, over the stand-in note-taker.
#include <ole2.h>

#include "shell/CDataObject.h"
#include "tests/view/ViewFixture.h"

namespace {

// What the mask dialog showed, and the mask typed into it.
std::string g_typedMask;
Names g_shownMasks;
void CALLBACK TypeMask(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowA("#32770", "Enter File Mask");
    if (!dialog) return;
    KillTimer(nullptr, timer);
    HWND combo = GetDlgItem(dialog, IDC_MASK_COMBO);
    g_shownMasks.clear();
    for (LRESULT index = 0, count = SendMessageA(combo, CB_GETCOUNT, 0, 0); index < count; ++index) {
        char text[MAX_PATH] = "";
        SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
        g_shownMasks.emplace_back(text);
    }
    SetWindowTextA(combo, g_typedMask.c_str());
    // Enter in the combo box's edit field, as the user ends the dialog.
    HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(edit, WM_KEYUP, VK_RETURN, 0xC0000001);
}

// Picks "&Copy" in the open context menu by its mnemonic.
bool g_menuSeen = false;
void CALLBACK ChooseCopy(HWND owner, UINT, UINT_PTR timer, DWORD)
{
    HWND menu = FindWindowA("#32768", nullptr);
    if (!menu || !IsWindowVisible(menu)) return;
    KillTimer(owner, timer);
    g_menuSeen = true;
    PostMessageA(menu, WM_CHAR, 'c', 0);
}

const char* Grey(HMENU menu, UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) ? "greyed" : "enabled"; }

class MenusTest : public ShellViewTest {
protected:
    MenusTest()
    {
        boxes_.answer = IDYES;
        // The settings go back to the registry at the end: keep what was there.
        savedMasks_ = Settings()->m_masks;
        lstrcpynA(savedBackupPath_, Settings()->m_szBackupPath, MAX_PATH);
        Settings()->m_masks = {"*.txt", "*.crv", "*.doc"};
        lstrcpynA(Settings()->m_szBackupPath, backup_.file("saved").c_str(), MAX_PATH);
    }
    ~MenusTest() override
    {
        Settings()->m_masks = savedMasks_;
        lstrcpynA(Settings()->m_szBackupPath, savedBackupPath_, MAX_PATH);
    }
    // Presses a key with Ctrl, Shift and Alt as given, through the view's accelerators.
    static HRESULT Press(const OpenView& view, UINT key, bool ctrl, bool shift = false, bool alt = false)
    {
        BYTE keys[256] = {};
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        keys[VK_MENU] = alt ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG message{view.list, static_cast<UINT>(alt ? WM_SYSKEYDOWN : WM_KEYDOWN), key, alt ? (1 << 29) : 0};
        HRESULT hr = view.view->TranslateAccelerator(&message);
        BYTE none[256] = {};
        SetKeyboardState(none);
        return hr;
    }
    std::string RestoreState()
    {
        browser_.RecordMenus();  // prepares every popup
        return Grey(browser_.Popup("Pel&lor"), IDC_RESTORE);
    }
    std::vector<LPCITEMIDLIST> Items(std::initializer_list<const char*> names, int type = kFile)
    {
        std::vector<LPCITEMIDLIST> items;
        for (const char* name : names) items.push_back(held_.emplace_back(new ItemIdHolder(MakeItem(name, type)))->get());
        return items;
    }

    Names savedMasks_;
    char savedBackupPath_[MAX_PATH];
    TempDir backup_;
    std::vector<std::unique_ptr<ItemIdHolder>> held_;
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
    SendMessageA(view.window, WM_COMMAND, IDC_DETAILS, 0);
    EXPECT_EQ(browser_.RecordMenus()[21], expected[21]) << "back to Details";
    EXPECT_EQ(GetWindowLongPtrA(view.list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    view.view->UIActivate(SVUIA_DEACTIVATE);
    EXPECT_EQ(browser_.removeMenusCalls, 1);
    EXPECT_EQ(browser_.menu, nullptr);
    view.view->UIActivate(SVUIA_INPLACEACTIVATE);
    EXPECT_EQ(browser_.menu, nullptr) << "in-place activation merges nothing";
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    changed = browser_.RecordMenus();
    EXPECT_EQ(Names(changed.begin(), changed.begin() + 20), Names(expected.begin(), expected.begin() + 20))
        << "merged afresh when the view has the focus again";
    view.view->UIActivate(SVUIA_DEACTIVATE);
    EXPECT_EQ(browser_.removeMenusCalls, 2);
}

TEST_F(MenusTest, EditItemsFollowSelectionAndClipboard)
{
    OpenView files(letters_.get(), browser_);
    TestBrowser rootBrowser;
    OpenView folders(root_.get(), rootBrowser);
    ASSERT_EQ(folders.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters"}));
    enum Clipboard { Empty, DeviceItems, PcFileList };
    const struct {
        bool inRoot;
        std::vector<int> selected;
        Clipboard clipboard;
        const char *cutCopy, *paste;
    } cases[] = {
        {false, {1}, Empty, "enabled", "greyed"},
        {true, {2}, DeviceItems, "enabled", "greyed"},
        {false, {0, 1, 2}, PcFileList, "enabled", "enabled"},
        {true, {}, PcFileList, "greyed", "enabled"},
    };
    for (const auto& c : cases) {
        OleSetClipboard(nullptr);
        if (c.clipboard == DeviceItems)
            ASSERT_EQ(Letters()->CopyItems(nullptr, CShellFolder::COPY_CLIPBOARD, 1, Items({"a.mmq"}).data()), S_OK);
        if (c.clipboard == PcFileList) OleSetClipboard(ComPtr<CDataObject>(PcFiles({backup_.file("x.txt")})).get());
        const OpenView& view = c.inRoot ? folders : files;
        TestBrowser& browser = c.inRoot ? rootBrowser : browser_;
        view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
        for (int item = 0; item < view.Count(); ++item) view.Select(item, false);
        for (int item : c.selected) view.Select(item, true);
        SCOPED_TRACE(testing::Message() << (c.inRoot ? "root, " : "files, ") << c.selected.size()
                                        << " selected, clipboard " << c.clipboard);
        browser.RecordMenus();
        HMENU edit = browser.Popup("&Edit");
        EXPECT_STREQ(Grey(edit, IDC_CUT), c.cutCopy);
        EXPECT_STREQ(Grey(edit, IDC_COPY), c.cutCopy);
        EXPECT_STREQ(Grey(edit, IDC_PASTE), c.paste);
        EXPECT_STREQ(Grey(edit, IDC_DELETE), "enabled");
        view.view->UIActivate(SVUIA_DEACTIVATE);
    }
}

TEST_F(MenusTest, AcceleratorsRunTheirCommands)
{
    OpenView view(letters_.get(), browser_);
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    EXPECT_EQ(Press(view, 'A', true), S_OK);
    EXPECT_EQ(view.Selected().size(), 3u) << "Ctrl+A";
    EXPECT_EQ(Press(view, 'A', false), S_FALSE) << "A alone is no command";
    for (int item = 0; item < view.Count(); ++item) view.Select(item, item == 0);
    EXPECT_EQ(Press(view, 'X', true), S_OK);
    EXPECT_EQ(ListView_GetItemState(view.list, 0, LVIS_CUT), static_cast<UINT>(LVIS_CUT)) << "Ctrl+X marks the cut";
    EXPECT_EQ(Press(view, 'C', true), S_OK);
    EXPECT_EQ(ListView_GetItemState(view.list, 0, LVIS_CUT), 0u) << "Ctrl+C clears the cut mark";
    EXPECT_TRUE(ClipboardHasDeviceItems());
    EXPECT_EQ(Press(view, VK_F2, false), S_OK);
    EXPECT_EQ(view.Editing(), "a.mmq") << "F2 renames in place";
    EXPECT_EQ(Press(view, VK_DELETE, false), S_OK);
    EXPECT_FALSE(OnDevice("R\\Letters\\a.mmq")) << "Del deletes on the device";
    EXPECT_EQ(view.Column(0), (Names{"b.zzq", "C.aaq"}));

    g_typedMask = "*.ZZQ;c.*";
    SetTimer(nullptr, 0, 50, TypeMask);
    EXPECT_EQ(Press(view, 'M', true), S_OK);
    EXPECT_EQ(g_shownMasks, (Names{"*.txt", "*.crv", "*.doc"})) << "the history is offered";
    EXPECT_EQ(view.Selected(), (Names{"b.zzq", "C.aaq"})) << "either pattern, any case";
    EXPECT_EQ(Settings()->m_masks.front(), "*.ZZQ;c.*");
    g_typedMask = "*.doc";
    SetTimer(nullptr, 0, 50, TypeMask);
    Press(view, 'M', true);
    EXPECT_EQ(Settings()->m_masks, (Names{"*.doc", "*.ZZQ;c.*", "*.txt", "*.crv"})) << "moved to the front";
    EXPECT_EQ(view.Selected(), Names{});
}

TEST_F(MenusTest, BackupAndRestoreFromTheirKeys)
{
    sim_.put("R\\Letters\\b.zzq", "kept words");
    DeleteFileA(sim_.path("special\\Clock").c_str());  // a special entry would be named in a box
    OpenView view(letters_.get(), browser_);
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    const std::string saved = Settings()->m_szBackupPath;
    EXPECT_EQ(RestoreState(), "greyed") << "nothing to restore yet";
    EXPECT_EQ(Press(view, 'B', true, false, true), S_OK) << "Ctrl+Alt+B";
    EXPECT_EQ(TempDir::ReadAll(saved + "\\R\\Letters\\b.zzq"), "kept words");
    EXPECT_EQ(boxes_.texts, Names{});
    EXPECT_EQ(RestoreState(), "enabled");
    DeleteFileA(sim_.path("R\\Letters\\b.zzq").c_str());
    view.view->Refresh();
    EXPECT_EQ(Press(view, 'R', true), S_OK) << "Ctrl+R";
    Sleep(200);
    EXPECT_EQ(sim_.read("R\\Letters\\b.zzq"), "kept words");
    EXPECT_EQ(view.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq"})) << "the view was refreshed";
    ASSERT_EQ(boxes_.texts.size(), 1u) << "asked once before files on the device are replaced";
    boxes_.texts.clear();
    Settings()->m_szBackupPath[0] = '\0';
    EXPECT_EQ(Press(view, 'R', true, false, true), S_OK) << "Ctrl+Alt+R without a backup path";
    EXPECT_EQ(boxes_.texts, Names{"Invalid path specified."});
}

TEST_F(MenusTest, KeyboardOpensTheContextMenuOfTheSelection)
{
    OpenView view(letters_.get(), browser_);
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    view.Select(2, true);
    SetTimer(view.window, 1, 50, ChooseCopy);
    // What Shift+F10 and the Applications key send.
    SendMessageA(view.window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view.list), MAKELPARAM(-1, -1));
    EXPECT_TRUE(g_menuSeen);
    EXPECT_TRUE(ClipboardHasDeviceItems()) << "Copy ran over the selected item";
}

TEST_F(MenusTest, ContextMenuBuildsAndRunsCommands)
{
    auto describe = [](HMENU menu) {
        Names lines;
        for (int index = 0; index < GetMenuItemCount(menu); ++index) {
            char text[MAX_PATH] = "";
            GetMenuStringA(menu, index, text, sizeof text, MF_BYPOSITION);
            UINT state = GetMenuState(menu, index, MF_BYPOSITION);
            std::string line = (state & MF_SEPARATOR) ? "-" : text;
            if (HMENU sub = GetSubMenu(menu, index)) line += " (" + std::to_string(GetMenuItemCount(sub)) + ")";
            if ((state & MF_GRAYED) && !(state & MF_SEPARATOR)) line += " [greyed]";
            lines.push_back(line);
        }
        return lines;
    };
    ComPtr<IContextMenu> background;
    ASSERT_EQ(Letters()->GetUIObjectOf(nullptr, 0, nullptr, IID_IContextMenu, nullptr, background.putVoid()), S_OK);
    HMENU menu = CreatePopupMenu();
    EXPECT_EQ(background->QueryContextMenu(menu, 0, 0, 0xFFFF, CMF_DEFAULTONLY), E_FAIL);
    EXPECT_EQ(background->QueryContextMenu(menu, 0, 0, 0xFFFF, CMF_NORMAL),
              MAKE_HRESULT(SEVERITY_SUCCESS, 0, IDC_SELECT_MASK + 1))
        << "covers every command number";
    EXPECT_EQ(describe(menu), (Names{"Pel&lor (5)", "-", "Cu&t\tCtrl+X [greyed]", "&Copy\tCtrl+C [greyed]",
                                     "&Paste\tCtrl+V [greyed]", "-", "&Delete\tDel", "Rena&me\tF2", "-",
                                     "Select &All\tCtrl+A", "Select by &Mask\tCtrl+M", "&Invert Selection"}));
    DestroyMenu(menu);
    menu = CreatePopupMenu();
    ASSERT_TRUE(SUCCEEDED(background->QueryContextMenu(menu, 0, 0, 0xFFFF, CMF_EXPLORE)));
    EXPECT_EQ(describe(menu), (Names{"Pel&lor (4)", "-", "-", "&Delete\tDel", "Rena&me\tF2", "-"}))
        << "greyed items, Select All, Invert Selection and the last item go";
    DestroyMenu(menu);
    char text[MAX_PATH];
    EXPECT_EQ(background->GetCommandString(IDC_COPY, GCS_VERBA, nullptr, text, sizeof text), S_OK);
    EXPECT_STREQ(text, "copy");
    EXPECT_EQ(background->GetCommandString(IDC_BACKUP_ALT, GCS_HELPTEXTA, nullptr, text, sizeof text), S_FALSE);
    EXPECT_EQ(background->GetCommandString(IDC_DELETE, GCS_HELPTEXTA, nullptr, text, sizeof text), S_FALSE);

    ComPtr<IContextMenu> selection;
    ASSERT_EQ(Letters()->GetUIObjectOf(nullptr, 2, Items({"a.mmq", "C.aaq"}).data(), IID_IContextMenu, nullptr,
                                       selection.putVoid()),
              S_OK);
    CMINVOKECOMMANDINFO info{sizeof info};
    info.lpVerb = "COPY";
    EXPECT_EQ(selection->InvokeCommand(&info), S_OK);
    EXPECT_TRUE(ClipboardHasDeviceItems());
    info.lpVerb = "bogus";
    EXPECT_EQ(selection->InvokeCommand(&info), S_FALSE);
    info.lpVerb = "Delete";
    EXPECT_EQ(selection->InvokeCommand(&info), S_OK);
    EXPECT_FALSE(OnDevice("R\\Letters\\a.mmq") || OnDevice("R\\Letters\\C.aaq"));
    EXPECT_TRUE(OnDevice("R\\Letters\\b.zzq"));
    EXPECT_EQ(selection.detach()->Release(), 0u);
}

TEST_F(MenusTest, CutMarksTheClipboardObjectAsAMoveAndCopyDoesNot)
{
    std::vector<LPCITEMIDLIST> items = Items({"a.mmq", "b.zzq"});
    EXPECT_EQ(Letters()->CopyItems(nullptr, CShellFolder::COPY_CLIPBOARD, 0, items.data()), E_INVALIDARG);
    EXPECT_FALSE(ClipboardHasDeviceItems()) << "nothing was put on the clipboard";
    auto dropEffect = [] {
        ComPtr<IDataObject> clipboard;
        DWORD effect = 0;
        if (SUCCEEDED(OleGetClipboard(clipboard.put())) && FAILED(GetDataDword(clipboard.get(), g_cfPreferredDropEffect, &effect)))
            effect = 0;
        return effect;
    };
    ASSERT_EQ(Letters()->CopyItems(nullptr, CShellFolder::COPY_MOVE, 2, items.data()), S_OK);
    EXPECT_TRUE(ClipboardHasDeviceItems());
    EXPECT_EQ(dropEffect(), static_cast<DWORD>(DROPEFFECT_MOVE));
    ASSERT_EQ(Letters()->CopyItems(nullptr, CShellFolder::COPY_CLIPBOARD, 1, items.data()), S_OK);
    EXPECT_TRUE(ClipboardHasDeviceItems());
    EXPECT_NE(dropEffect(), static_cast<DWORD>(DROPEFFECT_MOVE)) << "a fresh object, not the cut one";
}

TEST_F(MenusTest, DeleteRemovesFromDeviceAndViewUpToTheFirstFailure)
{
    OpenView view(letters_.get(), browser_);
    EXPECT_EQ(Letters()->DeleteItems(0, nullptr, false), E_INVALIDARG);
    std::vector<LPCITEMIDLIST> items = Items({"a.mmq", "gone.txt", "C.aaq"});
    EXPECT_TRUE(FAILED(Letters()->DeleteItems(3, items.data(), false)));
    EXPECT_FALSE(OnDevice("R\\Letters\\a.mmq"));
    EXPECT_TRUE(OnDevice("R\\Letters\\C.aaq")) << "nothing after the failure is deleted";
    EXPECT_EQ(view.Column(0), (Names{"b.zzq", "C.aaq"}));
    ASSERT_EQ(boxes_.texts.size(), 1u) << "the failure is told in words";
    EXPECT_NE(boxes_.texts[0], "");
    EXPECT_TRUE(FAILED(Letters()->DeleteItems(3, items.data(), true))) << "from the last: C.aaq, then the missing one";
    EXPECT_FALSE(OnDevice("R\\Letters\\C.aaq"));
    EXPECT_EQ(view.Column(0), (Names{"b.zzq"}));
}

// Del asks once; a folder goes with the files in it, from every open view.
TEST_F(MenusTest, DeleteAsksOnceAndTakesFoldersWithTheirFiles)
{
    OpenView root(root_.get(), browser_), inside(letters_.get(), browser_);
    std::vector<LPCITEMIDLIST> items = Items({"R:\\Letters"}, kFolderR);
    for (int answer : {IDNO, IDYES}) {
        boxes_.texts.clear();
        boxes_.answer = answer;
        EXPECT_EQ(root_->RunCommand(IDC_DELETE, 1, items.data(), root.list, nullptr), S_OK);
        EXPECT_EQ(boxes_.texts.size(), 1u) << "one question, and no failure";
        EXPECT_EQ(OnDevice("R\\Letters"), answer == IDNO);
    }
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books"}));
    EXPECT_EQ(inside.Count(), 0) << "the files went from the folder's own view too";
    EXPECT_TRUE(OnDevice("F\\Books"));
}

}  // namespace

// The view's merged menus, accelerators and context menu, and the folder's commands behind them.
#include <ole2.h>

#include <algorithm>
#include <functional>
#include <tuple>
#include <utility>

#include "devicefiles/DeviceThread.h"
#include "devicefiles/ErrorText.h"
#include "devicelink/CNotetaker.h"
#include "shell/CDataObject.h"
#include "shell/OpenViews.h"
#include "tests/view/ViewFixture.h"

namespace {

DWORD ClipboardDropEffect()
{
    ComPtr<IDataObject> clipboard;
    DWORD effect = 0;
    OleGetClipboard(clipboard.put());
    return clipboard && SUCCEEDED(GetDataDword(clipboard.get(), g_cfPreferredDropEffect, &effect)) ? effect : 0;
}

std::string Join(const Names& names, const char* after = ",")
{
    std::string text;
    for (const std::string& name : names) text += name + after;
    return text;
}

class MenusTest : public ShellViewTest {
protected:
    MenusTest()
    {
        boxes_.answer = IDYES;
        Settings()->m_masks = {"*.txt", "*.crv", "*.doc"};
        lstrcpynA(Settings()->m_szBackupPath, backup_.file("saved").c_str(), MAX_PATH);
    }
    // Presses a key named as in a menu ("Ctrl+Shift+N", "Del") with the focus in `focus` (else the list).
    static HRESULT Press(const OpenView& view, const std::string& key, HWND focus = nullptr)
    {
        const auto has = [&key](const char* modifier) { return key.find(modifier) != std::string::npos; };
        const std::string name = key.substr(key.rfind('+') + 1);  // the whole key when there is no '+'
        const UINT code = name == "Del"     ? VK_DELETE
                          : name == "Enter" ? VK_RETURN
                          : name.size() > 1 ? VK_F1 + std::stoi(name.substr(1)) - 1
                                            : static_cast<UINT>(name[0]);
        BYTE keys[256] = {};
        keys[VK_CONTROL] = has("Ctrl+") ? 0x80 : 0;
        keys[VK_SHIFT] = has("Shift+") ? 0x80 : 0;
        keys[VK_MENU] = has("Alt+") ? 0x80 : 0;
        SetKeyboardState(keys);
        SetFocus(focus ? focus : view.list);
        const bool alt = has("Alt+");
        MSG message{GetFocus(), static_cast<UINT>(alt ? WM_SYSKEYDOWN : WM_KEYDOWN), code, alt ? (1 << 29) : 0};
        HRESULT hr = view.view->TranslateAccelerator(&message);
        keys[VK_CONTROL] = keys[VK_SHIFT] = keys[VK_MENU] = 0;
        SetKeyboardState(keys);
        return hr;
    }

    TempDir backup_;
};

// The merged menus' words are host_record's.
TEST_F(MenusTest, MergedMenusReadAsTheUserMeetsThem)
{
    OpenView view(letters_.get(), browser_);
    ASSERT_EQ(view.view->UIActivate(SVUIA_ACTIVATE_FOCUS), S_OK);
    ASSERT_NE(browser_.menu, nullptr);
    EXPECT_EQ(browser_.menuWindow, view.window);
    const Names merged = browser_.RecordMenus();
    EXPECT_NE(Join(merged).find("Cu&t\tCtrl+X [greyed]"), std::string::npos) << "nothing selected to cut";
    EXPECT_EQ(SendMessageA(view.window, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0), 1);
    EXPECT_EQ(browser_.statusTexts[255], "") << "a closed menu leaves no help text";
    EXPECT_EQ(GetFocus(), view.list) << "activated with the focus, the view puts it in its list";
    SetFocus(browser_.Frame());
    EXPECT_NE(browser_.menu, nullptr) << "the menus stay while Explorer's own panes have the focus";
    view.view->UIActivate(SVUIA_DEACTIVATE);
    EXPECT_EQ(browser_.menu, nullptr);
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    EXPECT_EQ(browser_.RecordMenus(), merged) << "merged afresh when the view has the focus again";
}

TEST_F(MenusTest, SelectByMaskOffersTheHistoryAndSelectsByEitherPattern)
{
    OpenView view(letters_.get(), browser_);
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    EXPECT_EQ(Press(view, "A"), S_FALSE) << "A alone is no command";

    Names shownMasks;
    auto typeMask = [&](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_MASK_COMBO);
        for (LRESULT index = 0, count = SendMessageA(combo, CB_GETCOUNT, 0, 0); index < count; ++index) {
            char text[MAX_PATH] = "";
            SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
            shownMasks.emplace_back(text);
        }
        SetWindowTextA(combo, "*.ZZQ;c.*");
        HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
        PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 1);
    };
    WhileOpen([] { return FindWindowA("#32770", "Enter File Mask"); }, typeMask,
              [&] { EXPECT_EQ(Press(view, "Ctrl+M"), S_OK); });
    EXPECT_EQ(shownMasks, (Names{"*.txt", "*.crv", "*.doc"})) << "the history is offered";
    EXPECT_EQ(view.Selected(), (Names{"b.zzq", "C.aaq"})) << "either pattern, any case, and nothing else";
    EXPECT_EQ(Settings()->m_masks.front(), "*.ZZQ;c.*");
}

TEST_F(MenusTest, BackupAndRestoreFromTheirKeys)
{
    sim_.put("R\\Letters\\b.zzq", "kept words");
    DeleteFileA(sim_.path("special\\Clock").c_str());  // a special entry would be named in a box
    OpenView view(letters_.get(), browser_);
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    EXPECT_EQ(Press(view, "Ctrl+Alt+B"), S_OK);
    EXPECT_EQ(TempDir::ReadAll(backup_.file("saved\\R\\Letters\\b.zzq")), "kept words");
    DeleteFileA(sim_.path("R\\Letters\\b.zzq").c_str());
    EXPECT_EQ(Press(view, "Ctrl+R"), S_OK);
    view.Listed();
    EXPECT_EQ(view.Column(0), (Names{"a.mmq", "C.aaq"})) << "Ctrl+R refreshes, as in Explorer, and restores nothing";
    EXPECT_EQ(Press(view, "Ctrl+Alt+R"), S_OK);
    view.Listed();
    EXPECT_EQ(sim_.read("R\\Letters\\b.zzq"), "kept words");
    EXPECT_EQ(view.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq"})) << "the view was refreshed";
    EXPECT_NE(boxes_.texts.at(0).find("replaced by their backed-up copies, and 1 file(s) not on"), std::string::npos);
    EXPECT_EQ(boxes_.captions, Names{"Pellor, button 2 default"}) << "titled, not \"Error\"; Cancel the default";
    boxes_.texts.clear();
    Settings()->m_szBackupPath[0] = '\0';
    EXPECT_EQ(Press(view, "Ctrl+Alt+R"), S_OK) << "Ctrl+Alt+R without a backup path";
    EXPECT_EQ(boxes_.texts, Names{"Invalid path specified."});
}

// Deleting stops at the first failure, told in words; Del asks once, and a folder goes with its files.
TEST_F(MenusTest, DeleteStopsAtTheFirstFailureAndTakesFoldersWithTheirFiles)
{
    OpenView root(root_.get(), browser_), inside(letters_.get(), browser_);
    CItemList files, folder;
    for (const char* name : {"a.mmq", "gone.txt", "C.aaq"}) files.Append(MakeItem(name, kFile));
    EXPECT_TRUE(FAILED(Letters()->DeleteItems(3, files.Items(), inside.list)));
    EXPECT_EQ(inside.Column(0), (Names{"b.zzq", "C.aaq"})) << "a.mmq went, and nothing after the failure";
    EXPECT_EQ(boxes_.texts, Names{"Invalid path specified."});
    EXPECT_EQ(boxes_.captions, Names{"Pellor"});

    folder.Append(MakeItem("R:\\Letters", kFolderR));
    for (int answer : {IDNO, IDYES}) {
        boxes_.texts.clear();
        boxes_.answer = answer;
        EXPECT_EQ(root_->RunCommand(IDC_DELETE, 1, folder.Items(), root.list, nullptr), S_OK);
        EXPECT_EQ(boxes_.texts, Names{"Are you sure you want to delete 1 item(s) from the notetaker? Folders are "
                                      "deleted with everything in them."})
            << "one question, and no failure";
        EXPECT_EQ(boxes_.captions.back(), "Pellor, button 2 default") << "No the default";
        EXPECT_EQ(OnDevice("R\\Letters"), answer == IDNO);
    }
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books"}));
    EXPECT_EQ(inside.Count(), 0) << "the files went from the folder's own view too";
}

// Runs `act` on this thread once, inside a command's wait: when the device answers (the hook goes with the line).
std::function<void()> g_act;
void ActWhenTheDeviceAnswers(MemoryLine& line, std::function<void()> act)
{
    static const HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    g_act = std::move(act);
    SetWindowLongPtrA(window, GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                          if (m == WM_APP && g_act) std::exchange(g_act, nullptr)();
                          return DefWindowProcA(w, m, wp, lp);
                      }));
    line.SetHook([](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate&) {
        if (from == MemoryLine::Side::Device) PostMessageA(window, WM_APP, 0, 0);
    });
}

// F5 during the first delete frees the rows: the device is still asked for exactly the three chosen.
TEST_F(MenusTest, ADeleteActsOnTheChosenItemsWhateverTheListDoesMeanwhile)
{
    sim_.put("R\\Letters\\d.txt", "stays");
    OpenView view(letters_.get(), browser_);
    for (int item = 0; item < 3; ++item) view.Select(item, true);
    ActWhenTheDeviceAnswers(sim_.line, [&] { SendMessageA(view.list, WM_KEYDOWN, VK_F5, 0); });
    EXPECT_EQ(Press(view, "Del"), S_OK);
    view.Listed();
    EXPECT_EQ(view.Column(0), Names{"d.txt"});
}

// Explorer releases the view and its folder while a paste waits (Back): both live until the command ends.
TEST_F(MenusTest, AViewReleasedDuringAPasteLivesUntilThePasteEnds)
{
    TempDir::WriteAll(backup_.file("x.txt"), "pasted");
    ComPtr<CDataObject> files{PcFiles({backup_.file("x.txt")})};
    ASSERT_EQ(OleSetClipboard(files.get()), S_OK);
    auto view = std::make_unique<OpenView>(letters_.get(), browser_);
    size_t viewsAfterRelease = 0;
    ActWhenTheDeviceAnswers(sim_.line, [&] { view.reset(), letters_.reset(), viewsAfterRelease = OpenViewCount(); });
    EXPECT_EQ(Press(*view, "Ctrl+V"), S_OK);
    EXPECT_EQ(viewsAfterRelease, 1u) << "the command still held the view";
    EXPECT_EQ(OpenViewCount(), 0u) << "and let go of it at its end";
    DeviceAsk(nullptr, [](CNotetaker& nt) { return nt.EnumFolder("R:\\Letters"); });  // stored before it answers
    EXPECT_EQ(sim_.read("R\\Letters\\x.txt"), "pasted");
}

// A target asks again from inside the first fill's wait: busy, and the first fill describes every file.
TEST_F(MenusTest, AGetDataFromInsideTheFillsWaitIsAnsweredBusy)
{
    CItemList folder;
    folder.Append(MakeItem("R:\\Letters", kFolderR));
    ComPtr<IDataObject> data;
    root_->GetUIObjectOf(nullptr, 1, const_cast<LPCITEMIDLIST*>(folder.Items()), IID_IDataObject, nullptr,
                         data.putVoid());
    FORMATETC format{g_cfFileGroupDescriptor, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    HRESULT inner = S_OK;
    ActWhenTheDeviceAnswers(sim_.line, [&] { inner = data->GetData(&format, ScopedMedium().put()); });
    EXPECT_EQ(Described(data.get()), (Names{"Letters", "Letters\\C.aaq", "Letters\\a.mmq", "Letters\\b.zzq"}));
    EXPECT_EQ(inner, ErrorHResult(CNotetaker::ERR_BUSY));
}

// Every command with a key: its menu text names the key; the key acts, but not with the focus outside the view.
TEST_F(MenusTest, EveryContextMenuCommandDoesWhatItsKeyDoes)
{
    enum Grey { Never, NoFilesOnClipboard, NoBackup, NotOneSelected, OnlyOverItems };
    const struct {
        UINT id;
        const char* text;
        Grey grey;
        const char* shows;  // part of what the command leaves behind
        bool dialog = false;
    } rows[] = {
        {IDC_REFRESH, "R&efresh\tF5", Never, "rows a.mmq,b.zzq,C.aaq,late.txt, |"},
        {IDC_PASTE, "&Paste\tCtrl+V", NoFilesOnClipboard, "rows a.mmq,b.zzq,C.aaq,x.txt, |"},
        {IDC_NEW_FOLDER, "Ne&w Folder\tCtrl+Shift+N", Never,
         "New Folder, | selected New Folder, | cut  | editing New Folder | device a.mmq,b.zzq,C.aaq,New Folder,"},
        {IDC_SELECT_ALL, "Select &All\tCtrl+A", Never, "selected a.mmq,b.zzq,C.aaq,"},
        {IDC_SELECT_MASK, "Select by &Mask\tCtrl+M", Never, "dialog Enter File Mask", true},
        {IDC_BACKUP, "&Backup\tCtrl+B", Never, "boxes Invalid path specified."},
        {IDC_BACKUP_TO, "Backup &To...\tCtrl+Shift+B", Never, "dialog ", true},
        {IDC_RESTORE, "&Restore\tCtrl+Alt+R", NoBackup, "boxes Invalid path specified."},
        {IDC_RESTORE_FROM, "Restore &From...\tCtrl+Shift+R", Never, "dialog ", true},
        {IDM_PROPERTIES, "Pellor P&roperties\tAlt+Enter", Never, "dialog Properties for Pellor", true},
        {IDC_HELP_TOPICS, "&Help Topics\tF1", Never, "help 1"},
        {IDC_CUT, "Cu&t\tCtrl+X", OnlyOverItems, "cut a.mmq, | editing (no editor) | device a.mmq,"},
        {IDC_COPY, "&Copy\tCtrl+C", OnlyOverItems, "clipboard a.mmq,"},
        {IDC_DELETE, "&Delete\tDel", OnlyOverItems, "rows b.zzq,C.aaq,"},
        {IDC_RENAME, "Rena&me\tF2", NotOneSelected, "editing a.mmq"},
    };
    Settings()->m_szBackupPath[0] = '\0';
    OpenView view(letters_.get(), browser_);
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    HWND outside = CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 10, 10, browser_.Frame(), nullptr, nullptr, nullptr);
    const Names helpStart{std::string(g_module->GetHelpFile()) + ", command 0, data 0"};
    std::string dialogs;
    bool files = true;  // PC files on the clipboard
    // What the user would find afterwards: the list, the device, the clipboard, any words or window shown.
    auto world = [&] {
        view.Listed();  // a refresh lists anew, and the list fills when the listing is in
        std::string device;
        for (const std::string name : {"a.mmq", "b.zzq", "C.aaq", "x.txt", "New Folder"})
            device += OnDevice(("R\\Letters\\" + name).c_str()) ? name + "," : "";
        return "rows " + Join(view.Column(0)) + " | selected " + Join(view.Selected()) + " | cut " +
               Join(view.Column(0, LVIS_CUT)) + " | editing " + view.Editing() + " | device " + device +
               " | clipboard " + Join(Described()) + std::to_string(ClipboardDropEffect()) + " | boxes " +
               Join(boxes_.texts) + " | help " + std::to_string(g_helpCalls == helpStart) + " | dialog " + dialogs;
    };
    auto reset = [&](int selected) {
        for (const char* name : {"x.txt", "late.txt"})
            DeleteFileA(sim_.path(std::string("R\\Letters\\") + name).c_str());
        RemoveDirectoryA(sim_.path("R\\Letters\\New Folder").c_str());
        for (const auto& [name, size] : {std::pair{"b.zzq", 10}, {"a.mmq", 3000}, {"C.aaq", 200}})
            sim_.put(std::string("R\\Letters\\") + name, std::string(size, 'x'));
        view.view->Refresh();
        view.Listed();
        sim_.put("R\\Letters\\late.txt", "seen after a refresh");
        ComPtr<CDataObject> clip{files ? PcFiles({backup_.file("x.txt")}) : new CDataObject(nullptr)};
        if (!files) SetDataDword(clip.get(), g_cfFileGroupDescriptor, 0);  // device items are no files to paste
        OleSetClipboard(clip.get());
        for (int item = 0; item < view.Count(); ++item) {
            const std::string name = view.Text(item, 0);
            view.Select(item, name == "a.mmq" ? selected > 0 : name == "C.aaq" && selected > 1);
        }
        boxes_.texts.clear();
        g_helpCalls.clear();
        dialogs.clear();
    };
    TempDir::WriteAll(backup_.file("x.txt"), "a PC file");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const int selected = row.grey == OnlyOverItems || row.grey == NotOneSelected;
        auto run = [&](const std::function<void()>& act) {
            if (!row.dialog) return act();
            WhileOpen([] { return FindWindowA("#32770", nullptr); },
                      [&](HWND dialog) {
                          char title[MAX_PATH] = "";
                          GetWindowTextA(dialog, title, sizeof title);
                          dialogs = title;
                          PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                      },
                      act);
        };
        ComPtr<IContextMenu> menu;
        UINT state = 0;
        auto menuOf = [&](int over) {
            reset(over);
            view.view->GetItemObject(over ? SVGIO_SELECTION : SVGIO_BACKGROUND, IID_IContextMenu, menu.putVoid());
            ScopedMenu popup(CreatePopupMenu());
            menu->QueryContextMenu(popup.get(), 0, 1, 0x7FFF, CMF_NORMAL);
            char text[MAX_PATH] = "";
            GetMenuStringA(popup.get(), 1 + row.id, text, sizeof text, MF_BYCOMMAND);
            state = GetMenuState(popup.get(), 1 + row.id, MF_BYCOMMAND);
            return std::string(text);
        };
        const char* key = strchr(row.text, '\t') + 1;
        reset(selected);
        const std::string before = world();
        run([&] { EXPECT_EQ(Press(view, key, outside), S_FALSE); });
        EXPECT_EQ(world(), before) << "the key acted with the focus outside the view";
        reset(selected);
        run([&] { EXPECT_EQ(Press(view, key), S_OK); });
        const std::string expected = world();
        EXPECT_NE(expected.find(row.shows), std::string::npos) << expected;
        EXPECT_EQ(menuOf(selected), row.text);
        // Without PC files on the clipboard, a backup or a selection: where each can act.
        files = false;
        const std::string shown = menuOf(row.grey == NotOneSelected ? 2 : 0);
        if (row.grey == OnlyOverItems) {
            EXPECT_EQ(shown, "") << "offered over the background";
        } else {
            EXPECT_EQ((state & MF_GRAYED) != 0, row.grey != Never);
        }
        files = true;
    }
    DestroyWindow(outside);
}

// What Windows' Explorer asks of the view and Wine's does not, one row a contract (a.mmq, C.aaq selected).
TEST_F(MenusTest, ExplorerReadsTheItemsAsObjectsAndRunsTheirVerbs)
{
    OpenView view_(letters_.get(), browser_);
    view_.Select(0, true);
    view_.Select(2, true);
    ListView_SetItemState(view_.list, 2, LVIS_FOCUSED, LVIS_FOCUSED);
    ComPtr<IFolderView> folderView;
    ASSERT_EQ(view_.view->QueryInterface(IID_IFolderView, folderView.putVoid()), S_OK);
    ComPtr<IDataObject> data;
    ASSERT_EQ(view_.view->GetItemObject(SVGIO_SELECTION, IID_IDataObject, data.putVoid()), S_OK);
    EXPECT_EQ(Described(data.get()), (Names{"a.mmq", "C.aaq"}));
    int number = -1;
    auto said = [&](HRESULT hr) { return std::to_string(hr) + " " + std::to_string(number); };
    // Explorer selects, focuses and starts renaming items by their ids: the result, selection, focus and editor.
    auto select = [&](const char* item, SVSIF flags) {
        SetFocus(view_.list);
        ItemIdHolder id(item ? MakeItem(item, kFile) : nullptr);
        const HRESULT hr = view_.view->SelectItem(id.get(), flags);
        return std::to_string(hr) + " " + Join(view_.Selected()) + " " +
               view_.Text(ListView_GetNextItem(view_.list, -1, LVNI_FOCUSED), 0) + " " + view_.Editing();
    };
    const std::pair<std::function<std::string()>, std::string> contracts[] = {
        {[&] { return said(folderView->GetFocusedItem(&number)); }, "0 2"},
        {[&] { return select("gone.txt", SVSI_SELECT); }, "-2147024809 a.mmq,C.aaq, C.aaq (no editor)"},
        {[&] { return select(nullptr, SVSI_SELECT); }, "-2147024809 a.mmq,C.aaq, C.aaq (no editor)"},
        {[&] { return select("c.AAQ", SVSI_SELECT | SVSI_DESELECTOTHERS | SVSI_FOCUSED); },
         "0 C.aaq, C.aaq (no editor)"},
        {[&] { return select("a.mmq", SVSI_EDIT | SVSI_DESELECTOTHERS | SVSI_FOCUSED); }, "0 a.mmq, a.mmq a.mmq"},
        {[&] { return select("C.aaq", SVSI_SELECT); }, "0 a.mmq,C.aaq, a.mmq (no editor)"},
    };
    for (const auto& [call, answer] : contracts)
        EXPECT_EQ(call(), answer) << "contract " << &call - &contracts[0].first;

    ComPtr<IContextMenu> menu;
    ASSERT_EQ(view_.view->GetItemObject(SVGIO_SELECTION, IID_IContextMenu, menu.putVoid()), S_OK);
    // The wide verb wins over the narrow "delete", in any case; an unknown one runs nothing.
    CMINVOKECOMMANDINFOEX info{sizeof info, CMIC_MASK_UNICODE, nullptr, "delete"};
    for (const auto& [wide, result, clipboard] :
         {std::tuple{L"bogus", S_FALSE, "(no descriptor),"}, {L"cOpY", S_OK, "a.mmq,C.aaq,"}}) {
        info.lpVerbW = wide;
        EXPECT_EQ(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), result);
        EXPECT_EQ(Join(Described()), clipboard);
    }
    EXPECT_TRUE(OnDevice("R\\Letters\\a.mmq") && OnDevice("R\\Letters\\C.aaq")) << "the narrow verb ran";

    // The command bar and the ribbon name Explorer's window, not the list: Rename edits in place, Open browses.
    OpenView root(root_.get(), browser_);
    for (auto [shell, item, verb] : {std::tuple{letters_.get(), MakeItem("b.zzq", kFile), "rename"},
                                     {root_.get(), MakeItem("R:\\Letters", kFolderR), "open"}}) {
        ItemIdHolder owned(item);
        LPCITEMIDLIST one = item;
        ASSERT_EQ(shell->GetUIObjectOf(browser_.Frame(), 1, &one, IID_IContextMenu, nullptr, menu.putVoid()), S_OK);
        CMINVOKECOMMANDINFO byVerb{sizeof byVerb, 0, browser_.Frame(), verb};
        EXPECT_EQ(menu->InvokeCommand(&byVerb), S_OK) << verb;
    }
    EXPECT_EQ(view_.Editing() + " " + Join(browser_.browsedTo), "b.zzq Letters,");

    // The command bar's Select and View.
    EXPECT_EQ(folderView->SelectItem(2, SVSI_SELECT | SVSI_DESELECTOTHERS), S_OK);
    EXPECT_EQ(view_.Selected(), Names{"C.aaq"});
    EXPECT_EQ(folderView->SetCurrentViewMode(FVM_LIST), S_OK);
    EXPECT_EQ(GetWindowLongPtrA(view_.list, GWL_STYLE) & LVS_TYPEMASK, LVS_LIST);

    OpenView reading(letters_.get(), browser_, 0, false);  // "Reading the note-taker..." is no item
    reading.view->QueryInterface(IID_IFolderView, folderView.putVoid());
    EXPECT_TRUE(folderView->ItemCount(SVGIO_ALLVIEW, &number) == S_OK && number == 0) << number;
}

// Explorer clears no cut mark it did not set: a cut from its tree marks the folder, the next copy unmarks it.
TEST_F(MenusTest, TheTreesCutMarkGoesWithTheNextCopy)
{
    HWND tree = CreateWindowExA(0, WC_TREEVIEWA, "", WS_CHILD, 0, 0, 9, 9, browser_.Frame(), nullptr, nullptr, nullptr);
    TVINSERTSTRUCTA insert{TVI_ROOT, TVI_LAST, {}};
    TreeView_SelectItem(tree, TreeView_InsertItem(tree, &insert));
    CItemList folder;
    folder.Append(MakeItem("R:\\Letters", kFolderR));
    for (const auto& [command, mark] : {std::pair{IDC_CUT, TVIS_CUT}, {IDC_COPY, 0}}) {
        root_->RunCommand(command, 1, folder.Items(), tree, nullptr);
        EXPECT_EQ(TreeView_GetItemState(tree, TreeView_GetRoot(tree), TVIS_CUT), UINT(mark)) << command;
    }
    DestroyWindow(tree);
}

// The menus over the background and over a folder in Explorer's tree: each command at its offset from the first id.
TEST_F(MenusTest, ContextMenuIdsStartAtTheCallersFirstId)
{
    auto describe = [](HMENU menu, int first) {
        Names lines;
        for (int index = 0; index < GetMenuItemCount(menu); ++index) {
            char text[MAX_PATH] = "";
            GetMenuStringA(menu, index, text, sizeof text, MF_BYPOSITION);
            const UINT state = GetMenuState(menu, index, MF_BYPOSITION);
            HMENU sub = GetSubMenu(menu, index);
            const int id = static_cast<int>(sub ? GetMenuItemID(sub, 0) : GetMenuItemID(menu, index)) - first;
            std::string line = (state & MF_SEPARATOR) ? "-" : std::to_string(id) + (sub ? " in " : " ") + text;
            lines.push_back(line + ((state & MF_GRAYED) && !(state & MF_SEPARATOR) ? " [greyed]" : ""));
        }
        return lines;
    };
    ComPtr<IContextMenu> background;
    ASSERT_EQ(letters_->GetUIObjectOf(nullptr, 0, nullptr, IID_IContextMenu, nullptr, background.putVoid()), S_OK);
    const UINT first = 0x100;
    ScopedMenu menu(CreatePopupMenu()), tree(CreatePopupMenu()), item(CreatePopupMenu()), only(CreatePopupMenu()),
        small(CreatePopupMenu());
    AppendMenuA(menu.get(), MF_STRING, 7, "caller's own");
    EXPECT_EQ(background->QueryContextMenu(menu.get(), 0, first, first + 0x7F, CMF_DEFAULTONLY), E_FAIL);
    EXPECT_EQ(background->QueryContextMenu(menu.get(), 0, first, first + 0x7F, CMF_NORMAL),
              MAKE_HRESULT(SEVERITY_SUCCESS, 0, IDC_HELP_TOPICS + 1))
        << "the highest offset used, plus one";
    EXPECT_EQ(describe(menu.get(), first),
              (Names{"20 in &View", "25 in Sort &by", "46 R&efresh\tF5", "-", "42 &Paste\tCtrl+V [greyed]",
                     "45 Ne&w Folder\tCtrl+Shift+N", "-", "50 Select &All\tCtrl+A", "51 &Invert Selection",
                     "52 Select by &Mask\tCtrl+M", "-", "10 in Pel&lor", "16 Pellor P&roperties\tAlt+Enter",
                     "55 &Help Topics\tF1", "-249 caller's own"}));
    ComPtr<IContextMenu> folderItem;
    CItemList letters;
    letters.Append(MakeItem("R:\\Letters", kFolderR));
    ASSERT_EQ(root_->GetUIObjectOf(nullptr, 1, const_cast<LPCITEMIDLIST*>(letters.Items()), IID_IContextMenu, nullptr,
                                   folderItem.putVoid()),
              S_OK);
    // A folder's default verb opens it; Explorer's tree (CMF_EXPLORE) gets the same menu as the list.
    ASSERT_TRUE(SUCCEEDED(folderItem->QueryContextMenu(tree.get(), 0, 0, 0xFFFF, CMF_EXPLORE)));
    ASSERT_TRUE(SUCCEEDED(folderItem->QueryContextMenu(item.get(), 0, 0, 0xFFFF, CMF_NORMAL)));
    ASSERT_TRUE(SUCCEEDED(folderItem->QueryContextMenu(only.get(), 0, 0, 0xFFFF, CMF_DEFAULTONLY)));
    EXPECT_EQ(describe(tree.get(), 0), describe(item.get(), 0));
    EXPECT_EQ(describe(only.get(), 0), Names{"47 &Open"});
    for (HMENU each : {tree.get(), item.get(), only.get()}) EXPECT_EQ(GetMenuDefaultItem(each, FALSE, 0), IDC_OPEN);
    EXPECT_EQ(background->QueryContextMenu(small.get(), 0, first, first + 10, CMF_NORMAL), S_OK) << "no room";
    EXPECT_EQ(GetMenuItemCount(small.get()), 0);

    // Each command string as its result and text ("(help)" for any help text).
    const std::tuple<UINT_PTR, UINT, const char*> strings[] = {
        {IDC_DELETE, GCS_VERBW, "0 delete"},     {IDC_OPEN, GCS_VERBA, "0 open"},
        {IDC_BACKUP, GCS_HELPTEXTW, "0 (help)"}, {IDC_DELETE, GCS_HELPTEXTA, "1 "},
        {first + IDC_COPY, GCS_VERBA, "1 "},  // an id: no offset
    };
    for (const auto& [offset, type, answer] : strings) {
        WCHAR buffer[MAX_PATH] = L"";
        auto* text = reinterpret_cast<LPSTR>(buffer);
        const HRESULT hr = background->GetCommandString(offset, type, nullptr, text, MAX_PATH);
        std::string said = (type & GCS_UNICODE) ? std::string(buffer, buffer + wcslen(buffer)) : text;
        if ((type & ~GCS_UNICODE) == GCS_HELPTEXTA && said.size() > 5) said = "(help)";
        EXPECT_EQ(std::to_string(hr) + " " + said, answer) << offset;
    }
}

}  // namespace

// What Windows' Explorer asks of the view and its context menu and Wine's
// does not: the selection as objects, selecting from outside, command ids
// above the caller's first id, and verbs.
#include "tests/view/ViewFixture.h"

namespace {

class ExplorerContracts : public ShellViewTest {
protected:
    ExplorerContracts() { boxes_.answer = IDYES; }

    OpenView view_{letters_.get(), browser_};
};

// The selection, every item and none as data objects; the selection's menu runs
// a verb (the wide one where the caller says so, in any case) or an offset,
// whatever first id it was given, and unknown verbs do nothing.
TEST_F(ExplorerContracts, ItemObjectsOfSelectionViewAndBackground)
{
    view_.Select(0, true);
    view_.Select(2, true);
    const std::pair<UINT, Names> rows[] = {
        {SVGIO_SELECTION, {"a.mmq", "C.aaq"}},
        {SVGIO_SELECTION | SVGIO_FLAG_VIEWORDER, {"a.mmq", "C.aaq"}},
        {SVGIO_ALLVIEW, {"a.mmq", "b.zzq", "C.aaq"}},
        {SVGIO_BACKGROUND, {}},
    };
    for (const auto& [which, described] : rows) {
        ComPtr<IDataObject> data;
        ASSERT_EQ(view_.view->GetItemObject(which, IID_IDataObject, data.putVoid()), S_OK) << which;
        EXPECT_EQ(Described(data.get()), described) << which;
    }
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(view_.view->GetItemObject(SVGIO_SELECTION, IID_IDropTarget, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    ComPtr<IContextMenu> menu;
    ASSERT_EQ(view_.view->GetItemObject(SVGIO_SELECTION, IID_IContextMenu, menu.putVoid()), S_OK);
    ScopedMenu popup(CreatePopupMenu());
    menu->QueryContextMenu(popup.get(), 0, 0x100, 0x7FFF, CMF_NORMAL);
    const struct {
        LPCSTR verb;
        LPCWSTR wide;  // given: a CMINVOKECOMMANDINFOEX with CMIC_MASK_UNICODE
        HRESULT result;
        Names clipboard;
        int selectedLeft;  // of the two selected files, how many are on the device
    } verbs[] = {
        {"delete", L"bogus", S_FALSE, {"(no descriptor)"}, 2},
        {"bogus", nullptr, S_FALSE, {"(no descriptor)"}, 2},
        {"paste", L"cOpY", S_OK, {"a.mmq", "C.aaq"}, 2},
        {MAKEINTRESOURCEA(IDC_DELETE), nullptr, S_OK, {"a.mmq", "C.aaq"}, 0},
    };
    for (const auto& row : verbs) {
        CMINVOKECOMMANDINFOEX info{sizeof info, row.wide ? CMIC_MASK_UNICODE : 0u, nullptr, row.verb};
        if (!row.wide) info.cbSize = sizeof(CMINVOKECOMMANDINFO);
        info.lpVerbW = row.wide;
        EXPECT_EQ(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), row.result);
        EXPECT_EQ(ClipboardNames(), row.clipboard);
        EXPECT_EQ(OnDevice("R\\Letters\\a.mmq") + OnDevice("R\\Letters\\C.aaq"), row.selectedLeft);
    }
    EXPECT_TRUE(OnDevice("R\\Letters\\b.zzq"));
}

// Explorer selects, focuses and starts renaming items of the view by their ids.
TEST_F(ExplorerContracts, SelectItemByChildId)
{
    const struct {
        const char* item;  // null: no item
        SVSIF flags;
        Names selected;
        const char* focused;
        HRESULT result;
        const char* editing = "(no editor)";
    } rows[] = {
        // Start: b.zzq selected and focused.
        {"C.aaq", SVSI_SELECT, {"b.zzq", "C.aaq"}, "b.zzq", S_OK},
        {"c.AAQ", SVSI_SELECT | SVSI_DESELECTOTHERS | SVSI_FOCUSED | SVSI_ENSUREVISIBLE, {"C.aaq"}, "C.aaq", S_OK},
        {"b.zzq", SVSI_DESELECT, {}, "b.zzq", S_OK},
        {nullptr, SVSI_DESELECTOTHERS, {}, "b.zzq", S_OK},
        {"gone.txt", SVSI_SELECT, {"b.zzq"}, "b.zzq", E_INVALIDARG},
        {nullptr, SVSI_SELECT, {"b.zzq"}, "b.zzq", E_INVALIDARG},
        // Explorer's Rename command.
        {"C.aaq", SVSI_EDIT | SVSI_DESELECTOTHERS | SVSI_FOCUSED, {"C.aaq"}, "C.aaq", S_OK, "C.aaq"},
    };
    for (const auto& row : rows) {
        SetFocus(view_.list);
        ListView_SetItemState(view_.list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemState(view_.list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ItemIdHolder item(row.item ? MakeItem(row.item, kFile) : nullptr);
        EXPECT_EQ(view_.view->SelectItem(item.get(), row.flags), row.result) << row.item << " " << row.flags;
        EXPECT_EQ(view_.Selected(), row.selected) << row.item << " " << row.flags;
        EXPECT_EQ(view_.Text(ListView_GetNextItem(view_.list, -1, LVNI_FOCUSED), 0), row.focused) << row.item;
        EXPECT_EQ(view_.Editing(), row.editing) << row.item << " " << row.flags;
    }
}

// The menu over the view's background, and over a folder in Explorer's tree
// (CMF_EXPLORE: greyed items, Select All, Invert Selection and the last item
// go); each command at its own number above the caller's first id.
TEST_F(ExplorerContracts, ContextMenuIdsStartAtTheCallersFirstId)
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
    ScopedMenu menu(CreatePopupMenu()), tree(CreatePopupMenu()), small(CreatePopupMenu());
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
    ASSERT_TRUE(SUCCEEDED(folderItem->QueryContextMenu(tree.get(), 0, 0, 0xFFFF, CMF_EXPLORE)));
    EXPECT_EQ(describe(tree.get(), 0), (Names{"10 in Pel&lor", "-", "40 Cu&t\tCtrl+X", "41 &Copy\tCtrl+C", "-",
                                              "43 &Delete\tDel", "44 Rena&me\tF2", "-"}));
    EXPECT_EQ(background->QueryContextMenu(small.get(), 0, first, first + 10, CMF_NORMAL), S_OK) << "no room";
    EXPECT_EQ(GetMenuItemCount(small.get()), 0);

    const struct {
        UINT_PTR offset;
        UINT type;
        HRESULT result;
        const char* text;  // null: any help text
    } strings[] = {
        {IDC_COPY, GCS_VERBA, S_OK, "copy"},
        {IDC_DELETE, GCS_VERBW, S_OK, "delete"},
        {IDC_BACKUP, GCS_HELPTEXTW, S_OK, nullptr},
        {IDC_BACKUP_ALT, GCS_HELPTEXTA, S_FALSE, ""},
        {IDC_NEW_FOLDER, GCS_VERBW, S_OK, "newfolder"},
        {IDC_DETAILS, GCS_VERBA, S_OK, "&Details"},
        {IDM_PROPERTIES, GCS_VERBA, S_OK, "properties"},
        {IDC_REFRESH, GCS_HELPTEXTA, S_OK, nullptr},
        {IDC_DELETE, GCS_HELPTEXTA, S_FALSE, ""},
        {first + IDC_COPY, GCS_VERBA, S_FALSE, ""},  // an id: no offset
    };
    for (const auto& row : strings) {
        WCHAR buffer[MAX_PATH] = L"";
        auto* text = reinterpret_cast<LPSTR>(buffer);
        EXPECT_EQ(background->GetCommandString(row.offset, row.type, nullptr, text, MAX_PATH), row.result)
            << row.offset;
        const std::string said = (row.type & GCS_UNICODE) ? std::string(buffer, buffer + wcslen(buffer)) : text;
        EXPECT_TRUE(row.text ? said == row.text : said.size() > 5) << row.offset << ": " << said;
    }
}

// Explorer's details pane and status text read the view's items through IFolderView.
TEST_F(ExplorerContracts, FolderViewTellsItemsSelectionAndFocus)
{
    ComPtr<IFolderView> folderView;
    ASSERT_EQ(view_.view->QueryInterface(IID_IFolderView, folderView.putVoid()), S_OK);
    view_.Select(0, true);
    view_.Select(2, true);
    ListView_SetItemState(view_.list, 2, LVIS_FOCUSED, LVIS_FOCUSED);
    SendMessageA(view_.list, LVM_SETSELECTIONMARK, 0, 0);
    int all = -1, selected = -1, focused = -1, marked = -1;
    folderView->ItemCount(SVGIO_ALLVIEW, &all);
    folderView->ItemCount(SVGIO_SELECTION, &selected);
    folderView->GetFocusedItem(&focused);
    folderView->GetSelectionMarkedItem(&marked);
    EXPECT_EQ((std::vector<int>{all, selected, focused, marked}), (std::vector<int>{3, 2, 2, 0}));
    ComPtr<IShellItemArray> items;
    ComPtr<IShellItem> last;
    ShellIdList list;
    DWORD count = 0;
    char name[MAX_PATH] = "";
    ASSERT_EQ(folderView->Items(SVGIO_SELECTION, IID_IShellItemArray, items.putVoid()), S_OK);
    items->GetCount(&count);
    items->GetItemAt(count - 1, last.put());
    ASSERT_TRUE(last && SUCCEEDED(SHGetIDListFromObject(last.get(), list.put())));
    EXPECT_EQ(count, 2u);
    EXPECT_STREQ(ItemIdName(ILFindLastID(list.get()), name, sizeof name), "C.aaq");
}

}  // namespace

// What Windows' Explorer asks of the view and its context menu and Wine's
// does not: the selection as objects, selecting from outside, command ids
// above the caller's first id, and the canonical verbs.
#include "tests/view/ViewFixture.h"

namespace {

class ExplorerContracts : public ShellViewTest {
protected:
    ExplorerContracts() { boxes_.answer = IDYES; }

    ComPtr<IContextMenu> MenuOf(std::initializer_list<const char*> names)
    {
        CItemList items;
        for (const char* name : names) items.Append(MakeItem(name, kFile));
        ComPtr<IContextMenu> menu;
        auto* list = const_cast<LPCITEMIDLIST*>(items.Items());
        EXPECT_EQ(letters_->GetUIObjectOf(nullptr, items.Count(), list, IID_IContextMenu, nullptr, menu.putVoid()),
                  S_OK);
        return menu;
    }

    OpenView view_{letters_.get(), browser_};
};

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
    ComPtr<IContextMenu> menu;
    ASSERT_EQ(view_.view->GetItemObject(SVGIO_SELECTION, IID_IContextMenu, menu.putVoid()), S_OK);
    CMINVOKECOMMANDINFOEX copy{sizeof copy, CMIC_MASK_UNICODE, nullptr, "paste"};
    copy.lpVerbW = L"cOpY";  // the wide verb counts, in any case
    EXPECT_EQ(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&copy)), S_OK);
    EXPECT_EQ(ClipboardNames(), (Names{"a.mmq", "C.aaq"})) << "the menu acts on the selection";
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(view_.view->GetItemObject(SVGIO_SELECTION, IID_IDropTarget, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

TEST_F(ExplorerContracts, SelectItemByChildId)
{
    const struct {
        const char* item;  // null: no item
        SVSIF flags;
        Names selected;
        const char* focused;
        HRESULT result;
    } rows[] = {
        // Start: b.zzq selected and focused.
        {"C.aaq", SVSI_SELECT, {"b.zzq", "C.aaq"}, "b.zzq", S_OK},
        {"c.AAQ", SVSI_SELECT | SVSI_DESELECTOTHERS | SVSI_FOCUSED | SVSI_ENSUREVISIBLE, {"C.aaq"}, "C.aaq", S_OK},
        {"b.zzq", SVSI_DESELECT, {}, "b.zzq", S_OK},
        {nullptr, SVSI_DESELECTOTHERS, {}, "b.zzq", S_OK},
        {"gone.txt", SVSI_SELECT, {"b.zzq"}, "b.zzq", E_INVALIDARG},
        {nullptr, SVSI_SELECT, {"b.zzq"}, "b.zzq", E_INVALIDARG},
    };
    for (const auto& row : rows) {
        SetFocus(view_.list);
        ListView_SetItemState(view_.list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemState(view_.list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ItemIdHolder item(row.item ? MakeItem(row.item, kFile) : nullptr);
        EXPECT_EQ(view_.view->SelectItem(item.get(), row.flags), row.result) << row.item << " " << row.flags;
        EXPECT_EQ(view_.Selected(), row.selected) << row.item << " " << row.flags;
        EXPECT_EQ(view_.Text(ListView_GetNextItem(view_.list, -1, LVNI_FOCUSED), 0), row.focused) << row.item;
    }
    // Edit starts the rename of that item, as Explorer's Rename command does.
    ItemIdHolder c(MakeItem("C.aaq", kFile));
    ASSERT_EQ(view_.view->SelectItem(c.get(), SVSI_EDIT | SVSI_DESELECTOTHERS | SVSI_FOCUSED), S_OK);
    EXPECT_EQ(view_.Editing(), "C.aaq");
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
    ComPtr<IContextMenu> background = MenuOf({});
    const UINT first = 0x100;
    ScopedMenu menu(CreatePopupMenu()), tree(CreatePopupMenu()), small(CreatePopupMenu());
    AppendMenuA(menu.get(), MF_STRING, 7, "caller's own");
    EXPECT_EQ(background->QueryContextMenu(menu.get(), 0, first, first + 0x7F, CMF_DEFAULTONLY), E_FAIL);
    EXPECT_EQ(background->QueryContextMenu(menu.get(), 0, first, first + 0x7F, CMF_NORMAL),
              MAKE_HRESULT(SEVERITY_SUCCESS, 0, IDC_SELECT_MASK + 1))
        << "the highest offset used, plus one";
    EXPECT_EQ(describe(menu.get(), first),
              (Names{"10 in Pel&lor", "-", "40 Cu&t\tCtrl+X [greyed]", "41 &Copy\tCtrl+C [greyed]",
                     "42 &Paste\tCtrl+V [greyed]", "-", "43 &Delete\tDel", "44 Rena&me\tF2", "-",
                     "50 Select &All\tCtrl+A", "52 Select by &Mask\tCtrl+M", "51 &Invert Selection",
                     "-249 caller's own"}));
    ASSERT_TRUE(SUCCEEDED(background->QueryContextMenu(tree.get(), 0, 0, 0xFFFF, CMF_EXPLORE)));
    EXPECT_EQ(describe(tree.get(), 0), (Names{"10 in Pel&lor", "-", "-", "43 &Delete\tDel", "44 Rena&me\tF2", "-"}));
    EXPECT_EQ(background->QueryContextMenu(small.get(), 0, first, first + 10, CMF_NORMAL), S_OK) << "no room";
    EXPECT_EQ(GetMenuItemCount(small.get()), 0);

    const struct {
        UINT_PTR offset;
        UINT type;
        HRESULT result;
        const char* text;  // null: any help text
    } strings[] = {
        {IDC_COPY, GCS_VERBA, S_OK, "copy"},        {IDC_DELETE, GCS_VERBW, S_OK, "delete"},
        {IDC_BACKUP, GCS_HELPTEXTW, S_OK, nullptr}, {IDC_BACKUP_ALT, GCS_HELPTEXTA, S_FALSE, ""},
        {IDC_DELETE, GCS_HELPTEXTA, S_FALSE, ""},   {first + IDC_COPY, GCS_VERBA, S_FALSE, ""},  // an id: no offset
    };
    for (const auto& row : strings) {
        WCHAR buffer[MAX_PATH] = L"";
        auto* text = reinterpret_cast<LPSTR>(buffer);
        EXPECT_EQ(background->GetCommandString(row.offset, row.type, nullptr, text, MAX_PATH), row.result)
            << row.offset;
        char narrow[MAX_PATH] = "";
        WideCharToMultiByte(CP_ACP, 0, buffer, -1, narrow, sizeof narrow, nullptr, nullptr);
        const std::string said = (row.type & GCS_UNICODE) ? narrow : text;
        EXPECT_TRUE(row.text ? said == row.text : said.size() > 5) << row.offset << ": " << said;
    }
}

// Explorer's commands name a verb, the view's own menu an offset.
TEST_F(ExplorerContracts, InvokedByOffsetOrByVerbInEitherCharacterSet)
{
    ComPtr<IContextMenu> menu = MenuOf({"a.mmq", "C.aaq"});
    ScopedMenu popup(CreatePopupMenu());
    menu->QueryContextMenu(popup.get(), 0, 0x100, 0x7FFF, CMF_NORMAL);
    CMINVOKECOMMANDINFOEX wide{sizeof wide, CMIC_MASK_UNICODE, nullptr, "delete"};
    wide.lpVerbW = L"bogus";
    EXPECT_EQ(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&wide)), S_FALSE);
    CMINVOKECOMMANDINFO ansi{sizeof ansi, 0, nullptr, "bogus"};
    EXPECT_EQ(menu->InvokeCommand(&ansi), S_FALSE);
    EXPECT_TRUE(OnDevice("R\\Letters\\a.mmq") && OnDevice("R\\Letters\\C.aaq")) << "unknown verbs do nothing";
    ansi.lpVerb = MAKEINTRESOURCEA(IDC_DELETE);  // an offset, whatever the first id was
    EXPECT_EQ(menu->InvokeCommand(&ansi), S_OK);
    EXPECT_FALSE(OnDevice("R\\Letters\\a.mmq") || OnDevice("R\\Letters\\C.aaq"));
    EXPECT_TRUE(OnDevice("R\\Letters\\b.zzq"));
    popup.reset();
    EXPECT_EQ(menu.detach()->Release(), 0u);
}

}  // namespace

// What Windows' Explorer asks of the view and its context menu and Wine's
// does not: the selection as objects, selecting from outside, command ids
// above the caller's first id, and the canonical verbs.
#include "tests/view/ViewFixture.h"

namespace {

// The names a data object describes, in order.
Names Described(IDataObject* object)
{
    FORMATETC format{g_cfFileGroupDescriptor, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    ScopedMedium medium;
    if (FAILED(object->GetData(&format, medium.put()))) return {"(no descriptor)"};
    auto* group = static_cast<FILEGROUPDESCRIPTORA*>(GlobalLock((*medium).hGlobal));
    Names names;
    for (UINT i = 0; group && i < group->cItems; ++i) names.emplace_back(group->fgd[i].cFileName);
    GlobalUnlock((*medium).hGlobal);
    return names;
}

class ExplorerContracts : public ShellViewTest {
protected:
    ExplorerContracts() { boxes_.answer = IDYES; }

    std::string Focused() const
    {
        int index = ListView_GetNextItem(view_.list, -1, LVNI_FOCUSED);
        return index < 0 ? "" : view_.Text(index, 0);
    }
    ComPtr<IContextMenu> MenuOf(std::initializer_list<const char*> names)
    {
        std::vector<LPCITEMIDLIST> items;
        for (const char* name : names) items.push_back(MakeItem(name, kFile));
        ComPtr<IContextMenu> menu;
        EXPECT_EQ(letters_->GetUIObjectOf(nullptr, static_cast<UINT>(items.size()), items.data(), IID_IContextMenu,
                                          nullptr, menu.putVoid()),
                  S_OK);
        for (LPCITEMIDLIST item : items) ItemIdFree(const_cast<LPITEMIDLIST>(item));
        return menu;
    }

    OpenView view_{letters_.get(), browser_};
};

TEST_F(ExplorerContracts, ItemObjectsOfSelectionViewAndBackground)
{
    view_.Select(0, true);
    view_.Select(2, true);
    const struct {
        UINT which;
        Names described;   // by the data object
        bool copyEnabled;  // in the context menu: something to copy
    } rows[] = {
        {SVGIO_SELECTION, {"a.mmq", "C.aaq"}, true},
        {SVGIO_SELECTION | SVGIO_FLAG_VIEWORDER, {"a.mmq", "C.aaq"}, true},
        {SVGIO_ALLVIEW, {"a.mmq", "b.zzq", "C.aaq"}, true},
        {SVGIO_BACKGROUND, {}, false},
    };
    for (const auto& row : rows) {
        ComPtr<IDataObject> data;
        ASSERT_EQ(view_.view->GetItemObject(row.which, IID_IDataObject, data.putVoid()), S_OK) << row.which;
        EXPECT_EQ(Described(data.get()), row.described) << row.which;
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(view_.view->GetItemObject(row.which, IID_IContextMenu, menu.putVoid()), S_OK) << row.which;
        HMENU popup = CreatePopupMenu();
        ASSERT_TRUE(SUCCEEDED(menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL)));
        EXPECT_EQ((GetMenuState(popup, 1 + IDC_COPY, MF_BYCOMMAND) & MF_GRAYED) == 0, row.copyEnabled) << row.which;
        DestroyMenu(popup);
    }
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
        EXPECT_EQ(Focused(), row.focused) << row.item << " " << row.flags;
    }

    // Edit starts the rename of that item, as Explorer's Rename command does.
    ItemIdHolder c(MakeItem("C.aaq", kFile));
    ASSERT_EQ(view_.view->SelectItem(c.get(), SVSI_EDIT | SVSI_DESELECTOTHERS | SVSI_FOCUSED), S_OK);
    EXPECT_EQ(view_.Editing(), "C.aaq");
}

// The browser may destroy the view in BrowseObject: never from inside the
// list's own notification.
TEST_F(ExplorerContracts, ActivationBrowsesOnlyAfterTheNotification)
{
    OpenView root(root_.get(), browser_);
    ListView_SetItemState(root.list, 2, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    NMITEMACTIVATE activate{};
    activate.hdr.code = LVN_ITEMACTIVATE;
    activate.iItem = 2;
    root.Notify(activate.hdr);
    EXPECT_EQ(browser_.browsedTo, Names{}) << "browsed from inside LVN_ITEMACTIVATE";
    OpenView::Settle();
    EXPECT_EQ(browser_.browsedTo, Names{"R:\\Letters"});
}

TEST_F(ExplorerContracts, ContextMenuIdsStartAtTheCallersFirstId)
{
    ComPtr<IContextMenu> menu = MenuOf({"a.mmq", "C.aaq"});
    HMENU popup = CreatePopupMenu();
    AppendMenuA(popup, MF_STRING, 7, "caller's own");
    const UINT first = 0x100;
    HRESULT hr = menu->QueryContextMenu(popup, 0, first, first + 0x7F, CMF_NORMAL);
    EXPECT_EQ(hr, MAKE_HRESULT(SEVERITY_SUCCESS, 0, IDC_SELECT_MASK + 1)) << "the highest offset used, plus one";
    char text[MAX_PATH] = "";
    for (UINT command : {IDC_CUT, IDC_COPY, IDC_DELETE, IDC_RENAME, IDC_SELECT_MASK}) {
        EXPECT_GT(GetMenuStringA(popup, first + command, text, sizeof text, MF_BYCOMMAND), 0) << command;
        EXPECT_EQ(GetMenuStringA(popup, command, text, sizeof text, MF_BYCOMMAND), 0) << command;
    }
    EXPECT_GT(GetMenuStringA(popup, first + IDC_BACKUP, text, sizeof text, MF_BYCOMMAND), 0) << "inside the popup too";
    GetMenuStringA(popup, GetMenuItemCount(popup) - 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "caller's own");
    DestroyMenu(popup);

    popup = CreatePopupMenu();
    EXPECT_EQ(menu->QueryContextMenu(popup, 0, first, first + 10, CMF_NORMAL), S_OK) << "no room: nothing added";
    EXPECT_EQ(GetMenuItemCount(popup), 0);
    DestroyMenu(popup);

    const struct {
        UINT_PTR offset;
        UINT type;
        HRESULT result;
        const char* text;
    } strings[] = {
        {IDC_COPY, GCS_VERBA, S_OK, "copy"},
        {IDC_DELETE, GCS_VERBW, S_OK, "delete"},
        {IDC_RENAME, GCS_VERBW, S_OK, "rename"},
        {IDC_CUT, GCS_HELPTEXTW, S_OK, nullptr},
        {IDC_BACKUP, GCS_HELPTEXTA, S_OK, nullptr},
        {IDC_BACKUP_ALT, GCS_HELPTEXTA, S_FALSE, nullptr},
        {IDC_PASTE, GCS_VALIDATEW, S_OK, nullptr},
        {first + IDC_COPY, GCS_VERBA, S_FALSE, nullptr},  // an id, not an offset
    };
    for (const auto& row : strings) {
        WCHAR buffer[MAX_PATH] = L"";
        HRESULT result = menu->GetCommandString(row.offset, row.type, nullptr, reinterpret_cast<LPSTR>(buffer),
                                                MAX_PATH);
        EXPECT_EQ(result, row.result) << row.offset << " type " << row.type;
        char got[MAX_PATH] = "";
        if (row.type & GCS_UNICODE)
            WideCharToMultiByte(CP_ACP, 0, buffer, -1, got, sizeof got, nullptr, nullptr);
        else
            lstrcpynA(got, reinterpret_cast<char*>(buffer), sizeof got);
        if (row.text) EXPECT_STREQ(got, row.text);
        if (result == S_OK && (row.type & ~GCS_UNICODE) == GCS_HELPTEXTA) EXPECT_GT(strlen(got), 5u);
    }
}

TEST_F(ExplorerContracts, InvokedByOffsetOrByVerbInEitherCharacterSet)
{
    ComPtr<IContextMenu> menu = MenuOf({"b.zzq"});
    HMENU popup = CreatePopupMenu();
    menu->QueryContextMenu(popup, 0, 0x100, 0x7FFF, CMF_NORMAL);
    DestroyMenu(popup);

    CMINVOKECOMMANDINFOEX info{};
    info.cbSize = sizeof info;
    info.fMask = CMIC_MASK_UNICODE;
    info.lpVerb = "paste";
    info.lpVerbW = L"Copy";
    ASSERT_EQ(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), S_OK);
    ComPtr<IDataObject> clipboard;
    ASSERT_EQ(OleGetClipboard(clipboard.put()), S_OK);
    EXPECT_EQ(Described(clipboard.get()), Names{"b.zzq"}) << "the wide verb counts";
    clipboard.reset();
    OleSetClipboard(nullptr);

    info.lpVerbW = L"bogus";
    EXPECT_EQ(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), S_FALSE);

    CMINVOKECOMMANDINFO ansi{};
    ansi.cbSize = sizeof ansi;
    ansi.lpVerb = MAKEINTRESOURCEA(IDC_DELETE);  // an offset, whatever the first id was
    EXPECT_EQ(menu->InvokeCommand(&ansi), S_OK);
    EXPECT_FALSE(OnDevice("R\\Letters\\b.zzq"));
    EXPECT_TRUE(OnDevice("R\\Letters\\a.mmq"));
}

}  // namespace

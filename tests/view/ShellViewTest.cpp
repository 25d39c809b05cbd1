// The view's list, status bar, toolbar, sorting and renaming over the
// stand-in note-taker.
#include "tests/view/ViewFixture.h"

#include <shlwapi.h>

namespace {

TEST_F(ShellViewTest, OnlyTheViewAndADropTargetAreMade)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(root_->CreateViewObject(nullptr, IID_IContextMenu, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ComPtr<IDropTarget> target;
    ASSERT_EQ(root_->CreateViewObject(nullptr, IID_IDropTarget, target.putVoid()), S_OK);
    IShellView* view = nullptr;
    ASSERT_EQ(root_->CreateViewObject(nullptr, IID_IShellView, reinterpret_cast<void**>(&view)), S_OK);
    ASSERT_EQ(OpenViewCount(), 1u);
    EXPECT_EQ(view->CreateViewWindow(nullptr, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
    ComPtr<IOleWindow> window;
    EXPECT_EQ(view->QueryInterface(IID_IOleWindow, window.putVoid()), S_OK);
    window.reset();
    EXPECT_EQ(view->Release(), 0u);
    EXPECT_EQ(OpenViewCount(), 0u) << "the view left the open-view list";
}

TEST_F(ShellViewTest, ListShowsTheDevicesNamesSizesTypesAndTimes)
{
    OpenView view(letters_.get(), browser_);
    char className[64] = "", size[32];
    GetClassNameA(view.window, className, sizeof className);
    EXPECT_STREQ(className, "PellorShellView");
    EXPECT_EQ(GetParent(view.window), browser_.Frame());
    ASSERT_EQ(view.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq"}));
    EXPECT_EQ(view.Text(0, 1), StrFormatByteSizeA(3000, size, sizeof size));
    SHFILEINFOA info{};
    SHGetFileInfoA("a.mmq", FILE_ATTRIBUTE_NORMAL, &info, sizeof info, SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES);
    EXPECT_EQ(view.Text(0, 2), info.szTypeName);
    EXPECT_NE(view.Text(0, 2), view.Text(1, 2));
    const std::string modified = view.Text(2, 3);
    EXPECT_EQ(modified.substr(modified.size() - std::min<size_t>(6, modified.size())), " 14:05") << modified;
    HWND header = reinterpret_cast<HWND>(SendMessageA(view.list, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(SendMessageA(view.list, LVM_GETCOLUMNWIDTH, 1, 0), static_cast<LRESULT>(Settings()->m_dwColumnWidths[1]));
    EXPECT_EQ(OpenView(letters_.get(), browser_, FWF_NOSUBFOLDERS).Column(0), (Names{"a.mmq", "b.zzq", "C.aaq"}));
    OpenView root(root_.get(), browser_);
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters"}));
    EXPECT_EQ(root.Text(0, 1), "") << "folders show no size";
    EXPECT_NE(root.Text(0, 2), "");
    EXPECT_EQ(OpenView(root_.get(), browser_, FWF_NOSUBFOLDERS).Count(), 0);
}

// Explorer's other view modes are shown as one of the list's four, and the
// view reports the mode it shows.
TEST_F(ShellViewTest, OtherViewModesBecomeOneTheListHas)
{
    const struct {
        UINT asked, shown;
        DWORD listType;
    } rows[] = {
        {FVM_LIST, FVM_LIST, LVS_LIST},       {FVM_THUMBNAIL, FVM_ICON, LVS_ICON}, {FVM_TILE, FVM_DETAILS, LVS_REPORT},
        {FVM_CONTENT, FVM_DETAILS, LVS_REPORT}, {FVM_THUMBSTRIP, FVM_ICON, LVS_ICON}, {99, FVM_DETAILS, LVS_REPORT},
    };
    for (const auto& row : rows) {
        OpenView view(root_.get(), browser_, 0, row.asked);
        EXPECT_EQ(GetWindowLongPtrA(view.list, GWL_STYLE) & LVS_TYPEMASK, static_cast<LONG_PTR>(row.listType)) << row.asked;
        FOLDERSETTINGS settings{};
        EXPECT_EQ(view.view->GetCurrentInfo(&settings), S_OK);
        EXPECT_EQ(settings.ViewMode, row.shown) << row.asked;
    }
}

TEST_F(ShellViewTest, StatusBarAndToolbarFollowFolderAndSelection)
{
    {
        OpenView root(root_.get(), browser_);
        ASSERT_EQ(browser_.buttons.size(), 5u);
        EXPECT_EQ(browser_.addBitmapCalls, 1);
        const int commands[] = {CMD_CUT, CMD_COPY, CMD_PASTE, 0, CMD_DELETE};
        const int bitmaps[] = {STD_CUT, STD_COPY, STD_PASTE, 0, STD_DELETE};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(browser_.buttons[i].idCommand, commands[i]);
            if (commands[i]) EXPECT_EQ(browser_.buttons[i].iBitmap, TestBrowser::kBitmapOffset + bitmaps[i]);
        }
        EXPECT_EQ(browser_.buttons[3].fsStyle, BTNS_SEP);
        EXPECT_FALSE(browser_.enabled[CMD_CUT] || browser_.enabled[CMD_COPY] || browser_.enabled[CMD_DELETE])
            << "nothing to cut in the root with nothing selected";
        EXPECT_FALSE(browser_.enabled[CMD_PASTE]) << "the clipboard holds no files";

        EXPECT_EQ(root.view->UIActivate(SVUIA_ACTIVATE_NOFOCUS), S_OK);
        EXPECT_EQ(browser_.statusTexts[0], "Notetaker: ");
        EXPECT_EQ(browser_.statusTexts[1], "");
        EXPECT_EQ(browser_.statusParts, (std::vector<int>{500, 600, -1}));
        EXPECT_EQ(browser_.statusTexts.count(2), 0u);
        // The list tells of each item's change; the toolbar follows once.
        SetFocus(root.list);
        root.Settle();
        browser_.buttonStates.clear();
        EXPECT_EQ(root_->RunCommand(IDC_SELECT_ALL, 0, nullptr, root.list, nullptr), S_OK);
        ListView_SetItemState(root.list, 1, LVIS_FOCUSED, LVIS_FOCUSED);
        root.Settle();
        EXPECT_EQ(browser_.buttonStates[CMD_PASTE], 1) << "one look at the clipboard";
        EXPECT_EQ(browser_.statusTexts[0], "3 object(s) selected");
        EXPECT_TRUE(browser_.enabled[CMD_CUT] && browser_.enabled[CMD_COPY] && browser_.enabled[CMD_DELETE]);
        browser_.buttonStates.clear();
        ListView_SetItemState(root.list, 0, LVIS_FOCUSED, LVIS_FOCUSED);
        root.Settle();
        EXPECT_EQ(browser_.buttonStates[CMD_PASTE], 0) << "focus alone changes no selection";
        for (int item = 0; item < 2; ++item) root.Select(item, false);
        root.Settle();
        EXPECT_EQ(browser_.statusTexts[0], "1 object(s) selected");
        root.Select(2, false);
        root.Settle();
        EXPECT_EQ(browser_.statusTexts[0], "1 object(s) selected") << "an empty selection leaves the text";
        EXPECT_FALSE(browser_.enabled[CMD_DELETE]);
    }
    {
        OpenView view(letters_.get(), browser_);
        EXPECT_TRUE(browser_.enabled[CMD_CUT] && browser_.enabled[CMD_COPY] && browser_.enabled[CMD_DELETE])
            << "in a sub-folder the commands act on the folder";
        view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
        EXPECT_EQ(browser_.statusTexts[0], "Notetaker: R:\\Letters\\");
        view.view->UIActivate(SVUIA_DEACTIVATE);
        browser_.statusTexts.clear();
        view.view->UIActivate(SVUIA_DEACTIVATE);
        EXPECT_TRUE(browser_.statusTexts.empty());
        FOLDERSETTINGS settings{};
        EXPECT_EQ(view.view->GetCurrentInfo(&settings), S_OK);
        EXPECT_EQ(settings.ViewMode, static_cast<UINT>(FVM_DETAILS));
        EXPECT_EQ(view.view->GetCurrentInfo(nullptr), E_INVALIDARG);
    }
    EXPECT_EQ(browser_.References(), 0u) << "the view let the browser go";
}

TEST_F(ShellViewTest, HeaderClicksSortByEachColumn)
{
    OpenView view(letters_.get(), browser_);
    const struct {
        int column, button;
        Names order;
        const char* why;
    } clicks[] = {
        {1, 0, {"b.zzq", "C.aaq", "a.mmq"}, "by size"},          {1, 0, {"a.mmq", "C.aaq", "b.zzq"}, "by size descending"},
        {2, 0, {"C.aaq", "a.mmq", "b.zzq"}, "by type"},          {3, 0, {"a.mmq", "C.aaq", "b.zzq"}, "by date"},
        {0, 0, {"a.mmq", "b.zzq", "C.aaq"}, "by name, any case"}, {1, 1, {"a.mmq", "b.zzq", "C.aaq"}, "only the left button"},
    };
    for (const auto& click : clicks) {
        NMHEADERA header{};
        header.hdr.code = HDN_ITEMCLICKA;
        header.iItem = click.column;
        header.iButton = click.button;
        view.Notify(header.hdr);
        EXPECT_EQ(view.Column(0), click.order) << click.why;
    }
    HDITEMA width{};
    width.mask = HDI_WIDTH;
    width.cxy = 123;
    NMHEADERA track{};
    track.hdr.code = HDN_ENDTRACKA;
    track.iItem = 2;
    track.pitem = &width;
    view.Notify(track.hdr);
    EXPECT_EQ(Settings()->m_dwColumnWidths[2], 123u);
    OpenView second(letters_.get(), browser_);
    EXPECT_EQ(SendMessageA(second.list, LVM_GETCOLUMNWIDTH, 2, 0), 123) << "a new list takes the stored width";
}

TEST_F(ShellViewTest, RenameInPlaceRenamesOnTheDeviceAndInEveryView)
{
    ComPtr<IShellFolder> sameFolder = BindFolder(root_.get(), "R:\\Letters");
    OpenView first(letters_.get(), browser_);
    TestBrowser otherBrowser;
    OpenView second(sameFolder.get(), otherBrowser), root(root_.get(), otherBrowser);
    first.Rename(1, "memo.zzq");
    EXPECT_TRUE(OnDevice("R\\Letters\\memo.zzq"));
    EXPECT_FALSE(OnDevice("R\\Letters\\b.zzq"));
    EXPECT_EQ(first.Text(1, 0), "memo.zzq");
    EXPECT_EQ(second.Text(1, 0), "memo.zzq") << "the other view of the folder follows without a refresh";
    EXPECT_EQ(second.Text(1, 1), first.Text(1, 1));
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters"})) << "another folder's view is untouched";
    first.Rename(0, std::string(21, 'n').c_str());
    EXPECT_TRUE(OnDevice("R\\Letters\\a.mmq")) << "a name longer than the device takes is refused";
    EXPECT_EQ(first.Text(0, 0), "a.mmq");

    ItemIdHolder created(MakeItem("aaa.txt", kFile, 5)), deleted(MakeItem("C.AAQ", kFile));
    Letters()->NotifyChange(SHCNE_CREATE, created.get(), nullptr);
    EXPECT_EQ(second.Column(0), (Names{"a.mmq", "memo.zzq", "C.aaq", "aaa.txt"})) << "appended, not sorted";
    static_cast<CShellFolder*>(sameFolder.get())->NotifyChange(SHCNE_DELETE, deleted.get(), nullptr);
    EXPECT_EQ(first.Column(0), (Names{"a.mmq", "memo.zzq", "aaa.txt"})) << "found ignoring case";
    EXPECT_EQ(second.Column(0), first.Column(0));
    EXPECT_EQ(second.view->Refresh(), S_OK);
    EXPECT_EQ(second.Column(0), (Names{"a.mmq", "C.aaq", "memo.zzq"})) << "the device's own list again";
}

// Through the list's own keys, as in Wine's Explorer, which hands no keys to
// the view (so F2 comes from the accelerators through the list) and whose
// list reports Return with a bare header.
TEST_F(ShellViewTest, ReturnOpensTheFocusedFolderAndF2RenamesTheSelectedItem)
{
    auto press = [](const OpenView& view, int item, WPARAM key) {
        SetFocus(view.list);
        ListView_SetItemState(view.list, -1, 0, LVIS_FOCUSED | LVIS_SELECTED);
        ListView_SetItemState(view.list, item, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
        SendMessageA(view.list, LVM_SETSELECTIONMARK, 0, item);
        SendMessageA(view.list, WM_KEYDOWN, key, 0);
        OpenView::Settle();  // opening waits until the list's notification is over
    };
    OpenView root(root_.get(), browser_);
    press(root, 2, VK_RETURN);
    EXPECT_EQ(browser_.browsedTo, Names{"R:\\Letters"});
    press(root, 1, VK_F2);
    EXPECT_EQ(root.Editing(), "F:\\Books") << "F2 starts the rename";
    OpenView view(letters_.get(), browser_);
    press(view, 0, VK_RETURN);
    EXPECT_EQ(browser_.browsedTo, Names{"R:\\Letters"}) << "opening a file does nothing";

    // F2 renames the one selected item, wherever the selection mark was left.
    view.Select(0, true);
    SendMessageA(view.list, LVM_SETSELECTIONMARK, 0, 0);
    view.Select(0, false);  // as Invert Selection leaves it
    view.Select(2, true);
    ItemIdHolder item(MakeItem("C.aaq", kFile));
    LPCITEMIDLIST items[] = {item.get()};
    EXPECT_EQ(Letters()->RunCommand(IDC_RENAME, 1, items, view.list, nullptr), S_OK);
    EXPECT_EQ(view.Editing(), "C.aaq");
}

}  // namespace

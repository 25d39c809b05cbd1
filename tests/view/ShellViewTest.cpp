// The view's list, status bar, toolbar, sorting, opening and renaming over
// the stand-in note-taker; what each row reads is the accessibility test's.
#include "tests/view/ViewFixture.h"

#include <thread>

#include "devicefiles/DeviceThread.h"
#include "shell/OpenViews.h"

namespace {

TEST_F(ShellViewTest, ListShowsTheFolderAsSettingsAndFlagsAsk)
{
    OpenView view(letters_.get(), browser_);
    char className[64] = "";
    GetClassNameA(view.window, className, sizeof className);
    EXPECT_STREQ(className, "PellorShellView");
    EXPECT_EQ(GetParent(view.window), browser_.Frame());
    EXPECT_EQ(view.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq"}));
    EXPECT_EQ(SendMessageA(view.list, LVM_GETCOLUMNWIDTH, 1, 0), static_cast<LRESULT>(Settings()->m_dwColumnWidths[1]));
    HDITEMA width{HDI_WIDTH, 123};
    view.Notify(HDN_ENDTRACKA, 2, 0, &width);
    EXPECT_EQ(Settings()->m_dwColumnWidths[2], 123u) << "a dragged column's width is kept for the next list";
    for (const auto& [column, button] : {std::pair{1, 0}, {1, 0}, {0, 1}}) view.Notify(HDN_ITEMCLICKA, column, button);
    EXPECT_EQ(view.Column(0), (Names{"a.mmq", "C.aaq", "b.zzq"})) << "by size, the other way round; left button only";
    EXPECT_NE(ListView_GetImageList(view.list, LVSIL_NORMAL), nullptr) << "no large icons";
    EXPECT_NE(ListView_GetImageList(view.list, LVSIL_SMALL), nullptr) << "no small icons";
    EXPECT_EQ(OpenView(letters_.get(), browser_, FWF_NOSUBFOLDERS).Count(), 3);
    OpenView root(root_.get(), browser_);
    EXPECT_EQ(OpenViewCount(), 2u) << "a released view leaves the open-view list";
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters"}));
    EXPECT_EQ(root.Text(0, 1), "") << "folders show no size";
    EXPECT_EQ(OpenView(root_.get(), browser_, FWF_NOSUBFOLDERS).Count(), 0);
}

TEST_F(ShellViewTest, StatusBarAndToolbarFollowFolderAndSelection)
{
    OpenView root(root_.get(), browser_);
    std::vector<int> buttons;  // a separator as 0; their bitmaps are host_record's
    for (const TBBUTTON& button : browser_.buttons) buttons.push_back(button.fsStyle & BTNS_SEP ? 0 : button.idCommand);
    EXPECT_EQ(buttons, (std::vector<int>{CMD_CUT, CMD_COPY, CMD_PASTE, 0, CMD_DELETE}));
    EXPECT_FALSE(browser_.enabled[CMD_CUT] || browser_.enabled[CMD_COPY] || browser_.enabled[CMD_DELETE])
        << "nothing to cut in the root with nothing selected";
    EXPECT_FALSE(browser_.enabled[CMD_PASTE]) << "the clipboard holds no files";

    EXPECT_EQ(root.view->UIActivate(SVUIA_ACTIVATE_NOFOCUS), S_OK);
    EXPECT_EQ(browser_.statusTexts[0], "Notetaker: ");
    EXPECT_EQ(browser_.statusTexts[1], "");
    EXPECT_EQ(root_->RunCommand(IDC_SELECT_ALL, 0, nullptr, root.list, nullptr), S_OK);
    root.Settle();
    EXPECT_EQ(browser_.statusTexts[0], "3 object(s) selected");
    EXPECT_TRUE(browser_.enabled[CMD_CUT] && browser_.enabled[CMD_COPY] && browser_.enabled[CMD_DELETE]);
    for (int item = 0; item < 2; ++item) root.Select(item, false);
    root.Settle();
    EXPECT_EQ(browser_.statusTexts[0], "1 object(s) selected");
    root.Select(2, false);
    root.Settle();
    EXPECT_EQ(browser_.statusTexts[0], "1 object(s) selected") << "an empty selection leaves the text";
    EXPECT_FALSE(browser_.enabled[CMD_DELETE]);

    OpenView view(letters_.get(), browser_);
    EXPECT_TRUE(browser_.enabled[CMD_CUT] && browser_.enabled[CMD_COPY] && browser_.enabled[CMD_DELETE])
        << "in a sub-folder the commands act on the folder";
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    EXPECT_EQ(browser_.statusTexts[0], "Notetaker: R:\\Letters\\");
    EXPECT_EQ(view.view->GetCurrentInfo(nullptr), E_INVALIDARG);
    view.view->DestroyViewWindow();
    root.view->DestroyViewWindow();
    EXPECT_EQ(browser_.References(), 0u) << "the views let the browser go with their windows";
}

TEST_F(ShellViewTest, RenamesAndChangesReachEveryViewOfTheFolder)
{
    ComPtr<IShellFolder> sameFolder = BindFolder(root_.get(), "R:\\Letters");
    OpenView first(letters_.get(), browser_);
    TestBrowser otherBrowser;
    OpenView second(sameFolder.get(), otherBrowser), root(root_.get(), otherBrowser);
    first.Rename(1, "memo.zzq");
    EXPECT_TRUE(OnDevice("R\\Letters\\memo.zzq") && !OnDevice("R\\Letters\\b.zzq"));
    EXPECT_EQ(first.Text(1, 0), "memo.zzq");
    EXPECT_EQ(second.Text(1, 0), "memo.zzq") << "the other view of the folder follows without a refresh";
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters"})) << "another folder's view is untouched";

    ItemIdHolder created(MakeItem("aaa.txt", kFile, 5)), deleted(MakeItem("C.AAQ", kFile));
    Letters()->NotifyChange(SHCNE_CREATE, created.get(), nullptr);
    EXPECT_EQ(second.Column(0), (Names{"a.mmq", "memo.zzq", "C.aaq", "aaa.txt"})) << "appended, not sorted";
    static_cast<CShellFolder*>(sameFolder.get())->NotifyChange(SHCNE_DELETE, deleted.get(), nullptr);
    EXPECT_EQ(first.Column(0), (Names{"a.mmq", "memo.zzq", "aaa.txt"})) << "found ignoring case";
    EXPECT_EQ(second.Column(0), first.Column(0));
    EXPECT_EQ(second.view->Refresh(), S_OK);
    second.Listed();
    EXPECT_EQ(second.Column(0), (Names{"a.mmq", "C.aaq", "memo.zzq"})) << "the device's own list again";
    // A change made on another thread reaches the list through the view's own thread.
    std::thread([&] { Letters()->NotifyChange(SHCNE_CREATE, created.get(), nullptr); }).join();
    OpenView::Settle();
    EXPECT_EQ(second.Column(0), (Names{"a.mmq", "C.aaq", "memo.zzq", "aaa.txt"}));
}

// Through the list's own keys, as in Wine's Explorer, which hands the view no
// keys. The browser may destroy the view in BrowseObject: never from inside
// the list's own notification.
TEST_F(ShellViewTest, ReturnOpensTheFocusedFolderAndF2RenamesTheSelectedItem)
{
    auto press = [](const OpenView& view, int item, WPARAM key) {
        SetFocus(view.list);
        ListView_SetItemState(view.list, -1, 0, LVIS_FOCUSED | LVIS_SELECTED);
        ListView_SetItemState(view.list, item, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
        SendMessageA(view.list, WM_KEYDOWN, key, 0);
    };
    OpenView root(root_.get(), browser_), view(letters_.get(), browser_);
    press(root, 2, VK_RETURN);
    EXPECT_EQ(browser_.browsedTo, Names{}) << "browsed from inside LVN_ITEMACTIVATE";
    OpenView::Settle();
    EXPECT_EQ(browser_.browsedTo, Names{"R:\\Letters"});
    press(view, 0, VK_RETURN);
    OpenView::Settle();
    EXPECT_EQ(browser_.browsedTo, Names{"R:\\Letters"}) << "opening a file does nothing";

    // F2 renames the one selected item, wherever the selection mark was left.
    SendMessageA(view.list, LVM_SETSELECTIONMARK, 0, 0);
    view.Select(0, false);  // as Invert Selection leaves it
    view.Select(2, true);
    SendMessageA(view.list, WM_KEYDOWN, VK_F2, 0);
    EXPECT_EQ(view.Editing(), "C.aaq");
}

}  // namespace

// The view opens before the device has answered and says so in words; closed
// while the device is still listing, it leaves the device and the module
// usable. The device's answers wait for the test: an order, not a time.
TEST_F(ShellViewTest, AViewOpensBeforeItsListingEndsAndMayCloseDuringIt)
{
    ScopedKernelHandle answer(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    sim_.line.SetHook([&](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate&) {
        if (from == MemoryLine::Side::Device) WaitForSingleObject(answer.get(), INFINITE);
    });
    ComPtr<IShellView> view;
    ASSERT_EQ(letters_->CreateViewObject(nullptr, IID_IShellView, view.putVoid()), S_OK);
    FOLDERSETTINGS settings{FVM_DETAILS, 0};
    RECT area{0, 0, 600, 400};
    HWND window = nullptr;
    ASSERT_EQ(view->CreateViewWindow(nullptr, &settings, &browser_, &area, &window), S_OK);
    EXPECT_TRUE(static_cast<CShellView*>(view.get())->Reading());
    char text[MAX_PATH] = "";
    ListView_GetItemText(GetDlgItem(window, CShellView::kListId), 0, 0, text, sizeof text);
    EXPECT_STREQ(text, "Reading the note-taker...");
    EXPECT_EQ(view->DestroyViewWindow(), S_OK);
    view.reset();
    SetEvent(answer.get());
    sim_.line.SetHook(nullptr);
    {
        OpenView again(letters_.get(), browser_);
        EXPECT_EQ(again.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq"})) << "the next listing is right";
    }
    letters_.reset();
    root_.reset();
    for (int wait = 0; wait < 1000 && !DeviceThreadEnded(); ++wait) Sleep(10);
    EXPECT_TRUE(DeviceThreadEnded()) << "the module may be unloaded once the last folder is gone";
}

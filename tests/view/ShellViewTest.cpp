// The view's list, status bar, toolbar, opening, renaming and drags; what each row reads is test_a11y's.
#include <windows.h>
#include <dbt.h>
#include <shlwapi.h>

#include <thread>

#include "devicefiles/DeviceThread.h"
#include "shell/CDataObject.h"
#include "shell/OpenViews.h"
#include "tests/view/ViewFixture.h"
#include "view/CDropSource.h"
#include "view/CDropTarget.h"

namespace {

TEST_F(ShellViewTest, ListShowsTheFolderAsSettingsAndFlagsAsk)
{
    OpenView view(letters_.get(), browser_);
    EXPECT_EQ(view.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq"}));
    EXPECT_EQ(SendMessageA(view.list, LVM_GETCOLUMNWIDTH, 1, 0), static_cast<LRESULT>(Settings()->m_dwColumnWidths[1]));
    HDITEMA width{HDI_WIDTH, 123};
    NMHEADERA header{{view.list, CShellView::kListId, HDN_ENDTRACKA}, 2, 0, &width};  // as the list passes it on
    SendMessageA(view.window, WM_NOTIFY, CShellView::kListId, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(Settings()->m_dwColumnWidths[2], 123u) << "a dragged column's width is kept for the next list";
    OpenView root(root_.get(), browser_);
    EXPECT_EQ(OpenViewCount(), 2u) << "a released view leaves the open-view list";
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters"}));
    EXPECT_EQ(OpenView(root_.get(), browser_, FWF_NOSUBFOLDERS).Count(), 0);
}

TEST_F(ShellViewTest, StatusBarAndToolbarFollowFolderAndSelection)
{
    OpenView root(root_.get(), browser_);
    // The first status part and the Cut, Copy, Paste and Delete buttons' states.
    auto shown = [&] {
        root.Settle();
        std::string states;
        for (int command : {CMD_CUT, CMD_COPY, CMD_PASTE, CMD_DELETE}) states += browser_.enabled[command] ? "1" : "0";
        return browser_.statusTexts[0] + " | " + states;
    };
    EXPECT_EQ(root.view->UIActivate(SVUIA_ACTIVATE_NOFOCUS), S_OK);
    EXPECT_EQ(shown() + browser_.statusTexts[1], "Notetaker:  | 0000")
        << "nothing to cut in the root with nothing selected, and no files on the clipboard";
    EXPECT_EQ(root_->RunCommand(IDC_SELECT_ALL, 0, nullptr, root.list, nullptr), S_OK);
    EXPECT_EQ(shown(), "3 object(s) selected | 1101");
    for (int item = 0; item < 3; ++item) root.Select(item, false);
    EXPECT_EQ(shown(), "3 object(s) selected | 0000") << "an empty selection leaves the text";

    OpenView view(letters_.get(), browser_);
    view.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    EXPECT_EQ(browser_.statusTexts[0], "Notetaker: R:\\Letters\\");
    EXPECT_EQ(view.view->GetCurrentInfo(nullptr), E_INVALIDARG);
}

TEST_F(ShellViewTest, RenamesAndChangesReachEveryViewOfTheFolder)
{
    ComPtr<IShellFolder> sameFolder = BindFolder(root_.get(), "R:\\Letters");
    OpenView first(letters_.get(), browser_);
    TestBrowser otherBrowser;
    OpenView second(sameFolder.get(), otherBrowser), root(root_.get(), otherBrowser);
    // A refused name is said in words, and leaves the file as it was.
    const std::pair<const char*, const char*> refused[] = {
        {"nnnnnnnnnnnnnnnnnnnnn", "The name is too long. The notetaker takes names of at most 20 characters."},
        {"C.aaq", "Invalid path specified."}};  // one character too many; a name in use, refused by the device
    for (const auto& [name, words] : refused) {
        boxes_.texts.clear();
        first.Rename(1, name);
        EXPECT_EQ(boxes_.texts, Names{words}) << name;
        EXPECT_TRUE(first.Text(1, 0) == "b.zzq" && OnDevice("R\\Letters\\b.zzq")) << name;
    }
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
    // A change made on another thread reaches the list through the view's own thread.
    std::thread([&] { Letters()->NotifyChange(SHCNE_DELETE, created.get(), nullptr); }).join();
    OpenView::Settle();
    EXPECT_EQ(second.Column(0), (Names{"a.mmq", "memo.zzq"}));
}

// The list's own keys; BrowseObject may destroy the view, so never from inside the list's notification.
TEST_F(ShellViewTest, ReturnOpensTheFocusedFolderAndF2RenamesTheSelectedItem)
{
    OpenView root(root_.get(), browser_), view(letters_.get(), browser_);
    SetFocus(root.list);
    ListView_SetItemState(root.list, 2, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    SendMessageA(root.list, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(browser_.browsedTo, Names{}) << "browsed from inside LVN_ITEMACTIVATE";
    OpenView::Settle();
    EXPECT_EQ(browser_.browsedTo, Names{"Letters"});

    // F2 renames the one selected item, wherever the selection mark was left (as Invert Selection leaves it).
    SetFocus(view.list);
    SendMessageA(view.list, LVM_SETSELECTIONMARK, 0, 0);
    view.Select(2, true);
    SendMessageA(view.list, WM_KEYDOWN, VK_F2, 0);
    EXPECT_EQ(view.Editing(), "C.aaq");
}

struct ListDropTarget {
    explicit ListDropTarget(const OpenView& view) : list(view.list)
    {
        ComPtr<IDropSink> sink;
        EXPECT_EQ(view.view->QueryInterface(IID_IDropSink, sink.putVoid()), S_OK);
        target.reset(new CDropTarget(list, sink.get(), nullptr, 0));
    }
    // The screen point in the middle of an item, or below the last one for -1.
    POINTL PointAt(int item) const
    {
        RECT area{LVIR_LABEL};
        if (item >= 0) {
            SendMessageA(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&area));
        } else {
            GetClientRect(list, &area);
            area.top = area.bottom - 4;
        }
        POINT point{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
        ClientToScreen(list, &point);
        return POINTL{point.x, point.y};
    }

    HWND list;
    ComPtr<CDropTarget> target;
};

// A drag ended with `result` after its target read the streams (`cut` ones a byte) and said `performed` (~0: not).
HRESULT Dragged(IDataObject* dragged, HRESULT result, DWORD performed, const std::string& cut = "")
{
    const Names names = Described(dragged);
    for (size_t index = 0; index < names.size(); ++index) {
        FORMATETC format{g_cfFileContents, nullptr, DVASPECT_CONTENT, static_cast<LONG>(index), TYMED_ISTREAM};
        ScopedMedium medium;
        if (dragged->GetData(&format, medium.put()) != S_OK) return E_UNEXPECTED;
        char bytes[4000];
        EXPECT_EQ((*medium).pstm->Read(bytes, names[index] == cut ? 1 : sizeof bytes, nullptr), S_OK);
    }
    if (performed != ~0ul) SetDataDword(dragged, g_cfPerformedDropEffect, performed);
    return FinishDrag(dragged, result, DROPEFFECT_MOVE);
}

// Only a move that the drop and the target both report takes files off the device, and only those the
// target read whole; their rows go as they do, and the user's clipboard stays.
TEST_F(ShellViewTest, DraggedOutFilesGoOnlyWhenMovedAndReadWhole)
{
    OpenView view(letters_.get(), browser_);
    const auto dragAll = [&] {
        ComPtr<IDataObject> dragged;
        EXPECT_EQ(view.view->GetItemObject(SVGIO_ALLVIEW, IID_IDataObject, dragged.putVoid()), S_OK);
        return dragged;
    };
    ComPtr<CDropSource> source{new CDropSource(dragAll().get(), nullptr)};
    EXPECT_EQ((std::vector<HRESULT>{source->QueryContinueDrag(FALSE, MK_LBUTTON), source->QueryContinueDrag(FALSE, 0),
                                    source->QueryContinueDrag(TRUE, MK_LBUTTON)}),
              (std::vector<HRESULT>{S_OK, DRAGDROP_S_DROP, DRAGDROP_S_CANCEL}));
    // Performed DropEffect, unsaid (~0), NONE (an optimized move: the target's own doing) or COPY, keeps them all.
    for (const auto& [result, performed] :
         {std::pair{DRAGDROP_S_CANCEL, 2ul}, {DRAGDROP_S_DROP, ~0ul}, {DRAGDROP_S_DROP, 0ul}, {DRAGDROP_S_DROP, 1ul}}) {
        EXPECT_EQ(Dragged(dragAll().get(), result, performed), S_OK);
        EXPECT_TRUE(OnDevice("R\\Letters\\a.mmq") && OnDevice("R\\Letters\\b.zzq") && OnDevice("R\\Letters\\C.aaq"))
            << "performed " << performed;
    }

    EXPECT_EQ(Dragged(dragAll().get(), DRAGDROP_S_DROP, DROPEFFECT_MOVE, "b.zzq"), S_FALSE);
    EXPECT_FALSE(OnDevice("R\\Letters\\a.mmq") || OnDevice("R\\Letters\\C.aaq"));
    EXPECT_TRUE(OnDevice("R\\Letters\\b.zzq")) << "a file the target read one byte of stays";
    OpenView::Settle();
    EXPECT_EQ(view.Column(0), Names{"b.zzq"}) << "the rows of the deleted files went";

    // b.zzq moved whole twice: the clipboard is emptied only when it holds the dragged object.
    const ComPtr<IDataObject> overB[] = {dragAll(), dragAll()};  // made while its row is there
    for (const bool ours : {false, true}) {
        sim_.put("R\\Letters\\b.zzq", std::string(10, 'x'));
        IDataObject* moved = overB[ours].get();
        ASSERT_TRUE(OpenClipboard(nullptr) && EmptyClipboard());
        SetClipboardData(CF_TEXT, GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 8));  // what the user copied meanwhile
        CloseClipboard();
        ASSERT_EQ(ours ? OleSetClipboard(moved) : S_OK, S_OK);
        EXPECT_EQ(Dragged(moved, DRAGDROP_S_DROP, DROPEFFECT_MOVE), S_OK);
        EXPECT_FALSE(OnDevice("R\\Letters\\b.zzq"));
        EXPECT_EQ(IsClipboardFormatAvailable(CF_TEXT) || IsClipboardFormatAvailable(g_cfFileGroupDescriptor), !ours);
    }
}

// PC files go into the folder item under the pointer or, below the items, into the view's folder.
TEST_F(ShellViewTest, DropsWithoutPcFilesAreRefusedAndPcFilesGoIntoTheFolderItemOrTheViewsFolder)
{
    OpenView root(root_.get(), browser_), letters(letters_.get(), browser_);
    ListDropTarget drop(root);
    const POINTL onLetters = drop.PointAt(2);
    DWORD effect = DROPEFFECT_COPY;
    ComPtr<CDataObject> virtualFiles{new CDataObject(nullptr)};
    SetDataDword(virtualFiles.get(), g_cfFileGroupDescriptor, 0);
    EXPECT_EQ(drop.target->DragEnter(virtualFiles.get(), 0, onLetters, &effect), S_OK);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(drop.target->Drop(virtualFiles.get(), 0, onLetters, &effect), E_UNEXPECTED);
    ComPtr<CDataObject> none{PcFiles({})};
    EXPECT_EQ(drop.target->DragEnter(none.get(), 0, onLetters, &effect), S_OK);
    EXPECT_EQ(drop.target->Drop(none.get(), 0, onLetters, &effect), S_FALSE);

    TempDir pc;
    const std::string one = Pattern(5000, 3), two = Pattern(1100, 4);
    TempDir::WriteAll(pc.file("one.txt"), one);
    CreateDirectoryA(pc.file("docs").c_str(), nullptr);
    TempDir::WriteAll(pc.file("docs\\two.bin"), two);
    ComPtr<CDataObject> files{PcFiles({pc.file("one.txt")})};
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(drop.target->DragEnter(files.get(), MK_LBUTTON, onLetters, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;  // OLE hands every call what the source allows
    EXPECT_EQ(drop.target->DragOver(MK_LBUTTON | MK_SHIFT, drop.PointAt(0), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE)) << "Shift moves";
    DWORD copyOnly = DROPEFFECT_COPY;
    EXPECT_EQ(drop.target->DragOver(MK_LBUTTON | MK_SHIFT, drop.PointAt(0), &copyOnly), S_OK);
    EXPECT_EQ(copyOnly, static_cast<DWORD>(DROPEFFECT_COPY)) << "among the effects the source allows";
    EXPECT_EQ(drop.target->Drop(files.get(), 0, onLetters, &effect), S_OK);
    RunPostedPastes();
    EXPECT_TRUE(sim_.read("R\\Letters\\one.txt") == one) << "the bytes on the device differ";
    // It shows at once in the view of its folder, and in no other.
    char size[32];
    EXPECT_EQ(letters.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq", "one.txt"}));
    EXPECT_EQ(letters.Text(3, 1), StrFormatByteSizeA(5000, size, sizeof size));

    ComPtr<CDataObject> folder{PcFiles({pc.file("docs")})};
    const POINTL below = drop.PointAt(-1);
    EXPECT_EQ(drop.target->DragEnter(folder.get(), MK_LBUTTON, below, &effect), S_OK);
    EXPECT_EQ(drop.target->Drop(folder.get(), 0, below, &effect), S_OK);
    RunPostedPastes();
    ComPtr<IEnumIDList> listing;  // the stand-in writes a sent file before it hears the next command
    root_->EnumObjects(nullptr, SHCONTF_FOLDERS, listing.put());
    EXPECT_TRUE(sim_.read("R\\docs\\two.bin") == two) << "the bytes on the device differ";
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters", "R:\\docs"})) << "the folder alone";
    EXPECT_EQ(boxes_.texts, Names{});
}

}  // namespace

// The view opens before the device answers (held by the test), saying so, and may close during the listing.
TEST_F(ShellViewTest, AViewOpensBeforeItsListingEndsAndMayCloseDuringIt)
{
    ScopedKernelHandle answer(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    sim_.line.SetHook([&](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate&) {
        if (from == MemoryLine::Side::Device) WaitForSingleObject(answer.get(), INFINITE);
    });
    {
        OpenView view(letters_.get(), browser_, 0, false);
        EXPECT_EQ(view.Text(0, 0), "Reading the note-taker...");
        EXPECT_EQ(view.view->DestroyViewWindow(), S_OK);
    }
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

// A list that says why the note-taker gave none is read again when a serial port arrives (Wine raises no arrival for
// a pseudo-terminal: the test sends it).
TEST_F(ShellViewTest, APortArrivingWhileTheListSaysNobodyAnsweredListsAgain)
{
    sim_.line.WithPc([](MemoryLine::PcPort& pc) { return pc.heldElsewhere = true; });
    OpenView view(letters_.get(), browser_);
    ASSERT_EQ(view.Count(), 1);
    const std::string failed = view.Text(0, 0);
    sim_.line.WithPc([](MemoryLine::PcPort& pc) { return pc.heldElsewhere = false; });
    DEV_BROADCAST_DEVICEINTERFACE_A port{sizeof port, DBT_DEVTYP_DEVICEINTERFACE};
    SendMessageA(view.window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&port));
    view.Listed();
    EXPECT_EQ(view.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq"})) << "after " << failed;
}

// Drags both ways: device items dragged out of the view (after a move the
// sources go from the device), and PC files dropped onto the view's list the
// way OLE drives a drop target.
#include <shlwapi.h>

#include "shell/CDataObject.h"
#include "tests/view/ViewFixture.h"
#include "view/CDropSource.h"
#include "view/CDropTarget.h"

namespace {

// A drop target on a view's list with the view as its sink, as the view makes for itself.
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

// Copied, cancelled or moved: only a completed move takes the files off the
// device, the last first, stopping at the first failure.
TEST_F(ShellViewTest, DraggedOutFilesGoOnlyAfterACompletedMove)
{
    OpenView view(letters_.get(), browser_);
    ComPtr<IDataObject> dragged;
    ASSERT_EQ(view.view->GetItemObject(SVGIO_ALLVIEW, IID_IDataObject, dragged.putVoid()), S_OK);
    ComPtr<CDropSource> source{new CDropSource(dragged.get(), nullptr)};
    ComPtr<IUnknown> carried, itself;
    EXPECT_EQ(source->QueryInterface(IID_IDataObject, carried.putVoid()), S_OK);
    EXPECT_EQ(carried.get(), dragged.get()) << "the drag image helper asks the source for the data";
    EXPECT_EQ(source->QueryInterface(IID_IDropSource, itself.putVoid()), S_OK);
    EXPECT_EQ(itself.get(), static_cast<IDropSource*>(source.get()));
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
    EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(FinishDrag(dragged.get(), DRAGDROP_S_DROP, DROPEFFECT_COPY, view.list), S_OK);
    EXPECT_EQ(FinishDrag(dragged.get(), DRAGDROP_S_CANCEL, DROPEFFECT_MOVE, view.list), S_OK);
    EXPECT_TRUE(OnDevice("R\\Letters\\a.mmq") && OnDevice("R\\Letters\\b.zzq") && OnDevice("R\\Letters\\C.aaq"));

    ASSERT_EQ(OleSetClipboard(dragged.get()), S_OK);
    DeleteFileA(sim_.path("R\\Letters\\b.zzq").c_str());  // gone before the drag ends
    EXPECT_TRUE(FAILED(FinishDrag(dragged.get(), DRAGDROP_S_DROP, DROPEFFECT_MOVE, view.list)));
    EXPECT_FALSE(OnDevice("R\\Letters\\C.aaq")) << "the last file goes first";
    EXPECT_TRUE(OnDevice("R\\Letters\\a.mmq")) << "the delete stops at the failure";
    EXPECT_EQ(boxes_.texts, Names{"Invalid path specified."}) << "the failure is said in words";
    EXPECT_EQ(ClipboardNames(), (Names{"a.mmq", "b.zzq", "C.aaq"})) << "the clipboard is left as it was";
    sim_.put("R\\Letters\\b.zzq", "");
    sim_.put("R\\Letters\\C.aaq", "");
    EXPECT_EQ(FinishDrag(dragged.get(), DRAGDROP_S_DROP, DROPEFFECT_MOVE, view.list), S_OK);
    EXPECT_FALSE(OnDevice("R\\Letters\\a.mmq") || OnDevice("R\\Letters\\b.zzq") || OnDevice("R\\Letters\\C.aaq"));
    EXPECT_FALSE(IsClipboardFormatAvailable(g_cfFileGroupDescriptor)) << "a completed move empties the clipboard";
}

// PC files go into the folder item under the pointer or, below the items, into
// the view's own folder. Device items dragged within the view come as virtual
// files: refused, as is a drop that was never entered; no files send nothing.
TEST_F(ShellViewTest, DropsWithoutPcFilesAreRefusedAndPcFilesGoIntoTheFolderItemOrTheViewsFolder)
{
    OpenView root(root_.get(), browser_), letters(letters_.get(), browser_);
    ListDropTarget drop(root);
    const POINTL onLetters = drop.PointAt(2);
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(drop.target->DragEnter(nullptr, 0, onLetters, &effect), E_INVALIDARG);
    ComPtr<CDataObject> virtualFiles{new CDataObject(nullptr)};
    SetDataDword(virtualFiles.get(), g_cfFileGroupDescriptor, 0);
    EXPECT_EQ(drop.target->DragEnter(virtualFiles.get(), 0, onLetters, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(root.Column(0, LVIS_DROPHILITED), Names{});
    EXPECT_EQ(drop.target->DragOver(0, onLetters, nullptr), E_INVALIDARG);
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
    EXPECT_EQ(root.Column(0, LVIS_DROPHILITED), Names{"R:\\Letters"});
    EXPECT_EQ(drop.target->DragOver(MK_LBUTTON | MK_SHIFT, drop.PointAt(0), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE)) << "Shift moves whatever the source offers";
    EXPECT_EQ(root.Column(0, LVIS_DROPHILITED), Names{"Clock"}) << "the mark follows the pointer";
    EXPECT_EQ(drop.target->Drop(files.get(), 0, onLetters, &effect), S_OK);
    EXPECT_TRUE(sim_.read("R\\Letters\\one.txt") == one) << "the bytes on the device differ";
    EXPECT_EQ(root.Column(0, LVIS_DROPHILITED), Names{});
    // It shows at once in the view of its folder, and in no other; dropped again, it keeps its one row.
    char size[32];
    EXPECT_EQ(letters.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq", "one.txt"}));
    EXPECT_EQ(letters.Text(3, 1), StrFormatByteSizeA(5000, size, sizeof size));
    EXPECT_EQ(drop.target->DragEnter(files.get(), MK_LBUTTON, onLetters, &effect), S_OK);
    EXPECT_EQ(drop.target->Drop(files.get(), 0, onLetters, &effect), S_OK);
    EXPECT_EQ(letters.Count(), 4);

    ComPtr<CDataObject> folder{PcFiles({pc.file("docs")})};
    const POINTL below = drop.PointAt(-1);
    EXPECT_EQ(drop.target->DragEnter(folder.get(), MK_LBUTTON, below, &effect), S_OK);
    EXPECT_EQ(root.Column(0, LVIS_DROPHILITED), Names{});
    EXPECT_EQ(drop.target->Drop(folder.get(), 0, below, &effect), S_OK);
    SettleDevice();
    EXPECT_TRUE(sim_.read("R\\docs\\two.bin") == two) << "the bytes on the device differ";
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters", "R:\\docs"})) << "the folder alone";
    EXPECT_EQ(letters.Count(), 4);
    EXPECT_EQ(boxes_.texts, Names{});
}

}  // namespace

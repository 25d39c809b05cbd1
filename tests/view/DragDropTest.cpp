// Drags both ways: device items dragged out of the view (the target reads
// the files; after a move the sources go from the device), and PC files
// dropped onto the view's list the way OLE drives a drop target.
#include <shlwapi.h>

#include "shell/CDataObject.h"
#include "tests/view/ViewFixture.h"
#include "view/CDropSource.h"
#include "view/CDropTarget.h"

namespace {

class DragDrop : public ShellViewTest {
protected:
    DragDrop()
    {
        CreateDirectoryA(sim_.path("R\\notes").c_str(), nullptr);
        notes_ = BindFolder(root_.get(), "R:\\notes");
        for (int i = 0; i < 3; ++i) sim_.put(Stored(i), contents_[i]);
        std::vector<LPITEMIDLIST> items;
        for (int i = 0; i < 3; ++i) items.push_back(MakeItem(kNames[i], kFile, static_cast<DWORD>(contents_[i].size())));
        EXPECT_EQ(notes_->GetUIObjectOf(nullptr, 3, const_cast<LPCITEMIDLIST*>(items.data()), IID_IDataObject, nullptr,
                                        dragged_.putVoid()),
                  S_OK);
        for (LPITEMIDLIST item : items) ItemIdFree(item);
    }
    static std::string Stored(int i) { return std::string("R\\notes\\") + kNames[i]; }
    bool Kept(int i) const { return TempDir::Exists(sim_.path(Stored(i))); }
    // What a drop target does with the dragged files: reads every stream.
    std::string ReadContents(LONG index) const
    {
        FORMATETC format{g_cfFileContents, nullptr, DVASPECT_CONTENT, index, TYMED_ISTREAM};
        ScopedMedium medium;
        std::string bytes;
        if (FAILED(dragged_->GetData(&format, medium.put()))) return bytes;
        char piece[4096];
        ULONG read = 0;
        while ((*medium).pstm->Read(piece, sizeof piece, &read) == S_OK && read > 0) bytes.append(piece, read);
        return bytes;
    }

    static constexpr const char* kNames[3] = {"a.txt", "b.brl", "c.bin"};
    const std::string contents_[3] = {Pattern(4000, 1), Pattern(129, 2), Pattern(20000, 3)};
    ComPtr<IShellFolder> notes_;
    ComPtr<IDataObject> dragged_;
};

TEST_F(DragDrop, CopyOrCancelKeepsTheFilesOnTheDevice)
{
    ASSERT_TRUE(dragged_);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(ReadContents(i) == contents_[i]) << "the PC got other bytes than " << kNames[i];
    EXPECT_EQ(FinishDrag(dragged_.get(), DRAGDROP_S_DROP, DROPEFFECT_COPY), S_OK);
    ComPtr<CDropSource> source{new CDropSource(dragged_.get(), nullptr)};
    ComPtr<IDataObject> carried;
    EXPECT_EQ(source->QueryInterface(IID_IDataObject, carried.putVoid()), S_OK);
    EXPECT_EQ(carried.get(), dragged_.get());
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
    const HRESULT escaped = source->QueryContinueDrag(TRUE, MK_LBUTTON);
    EXPECT_EQ(escaped, DRAGDROP_S_CANCEL);
    EXPECT_EQ(FinishDrag(dragged_.get(), escaped, DROPEFFECT_MOVE), S_OK);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Kept(i)) << kNames[i];
}

TEST_F(DragDrop, MoveDeletesLastFirstAndStopsAtTheFirstFailure)
{
    ASSERT_EQ(OleSetClipboard(dragged_.get()), S_OK);
    DeleteFileA(sim_.path(Stored(1)).c_str());  // gone before the drag ends
    EXPECT_TRUE(FAILED(FinishDrag(dragged_.get(), DRAGDROP_S_DROP, DROPEFFECT_MOVE)));
    EXPECT_FALSE(Kept(2)) << "the last file goes first";
    EXPECT_TRUE(Kept(0)) << "the delete stops at the failure";
    EXPECT_EQ(boxes_.texts, Names{"Invalid path specified."}) << "the failure is said in words";
    EXPECT_TRUE(IsClipboardFormatAvailable(g_cfFileGroupDescriptor)) << "the clipboard is left as it was";
    sim_.put(Stored(1), contents_[1]);
    sim_.put(Stored(2), contents_[2]);
    EXPECT_EQ(FinishDrag(dragged_.get(), DRAGDROP_S_DROP, DROPEFFECT_MOVE), S_OK);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(Kept(i)) << kNames[i];
    EXPECT_FALSE(IsClipboardFormatAvailable(g_cfFileGroupDescriptor)) << "a completed move empties the clipboard";
}

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
    std::vector<int> Highlighted() const
    {
        std::vector<int> items;
        for (int item = 0; item < ListView_GetItemCount(list); ++item)
            if (ListView_GetItemState(list, item, LVIS_DROPHILITED)) items.push_back(item);
        return items;
    }

    HWND list;
    ComPtr<CDropTarget> target;
};

TEST_F(DragDrop, DroppedPcFilesGoIntoTheFolderItemOrTheViewsFolder)
{
    TempDir pc;
    const std::string one = Pattern(5000, 3), two = Pattern(1100, 4);
    TempDir::WriteAll(pc.file("one.txt"), one);
    CreateDirectoryA(pc.file("docs").c_str(), nullptr);
    TempDir::WriteAll(pc.file("docs\\two.bin"), two);
    OpenView root(root_.get(), browser_), letters(letters_.get(), browser_);
    ListDropTarget drop(root);
    ASSERT_EQ(root.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters", "R:\\notes"}));

    ComPtr<CDataObject> files{PcFiles({pc.file("one.txt")})};
    const POINTL onLetters = drop.PointAt(2);
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(drop.target->DragEnter(files.get(), MK_LBUTTON, onLetters, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(drop.Highlighted(), std::vector<int>{2});
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(drop.target->DragOver(MK_LBUTTON | MK_SHIFT, drop.PointAt(0), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE)) << "Shift moves whatever the source offers";
    EXPECT_EQ(drop.Highlighted(), std::vector<int>{0}) << "the mark follows the pointer";
    EXPECT_EQ(drop.target->Drop(files.get(), 0, onLetters, &effect), S_OK);
    EXPECT_TRUE(sim_.read("R\\Letters\\one.txt") == one) << "the bytes on the device differ";
    EXPECT_TRUE(drop.Highlighted().empty());
    // The new file shows at once in the view of the folder it went into, and
    // in no other; dropped again, it keeps its one row.
    EXPECT_EQ(letters.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq", "one.txt"}));
    char size[32];
    EXPECT_EQ(letters.Text(3, 1), StrFormatByteSizeA(5000, size, sizeof size));
    EXPECT_EQ(drop.target->DragEnter(files.get(), MK_LBUTTON, onLetters, &effect), S_OK);
    EXPECT_EQ(drop.target->Drop(files.get(), 0, onLetters, &effect), S_OK);
    EXPECT_EQ(letters.Count(), 4);
    EXPECT_EQ(root.Count(), 4);

    // Below the items: into the view's own folder, the device root.
    ComPtr<CDataObject> folder{PcFiles({pc.file("docs")})};
    const POINTL below = drop.PointAt(-1);
    EXPECT_EQ(drop.target->DragEnter(folder.get(), MK_LBUTTON, below, &effect), S_OK);
    EXPECT_TRUE(drop.Highlighted().empty());
    EXPECT_EQ(drop.target->Drop(folder.get(), 0, below, &effect), S_OK);
    EXPECT_TRUE(sim_.read("R\\docs\\two.bin") == two) << "the bytes on the device differ";
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters", "R:\\notes", "R:\\docs"})) << "the folder alone";
    EXPECT_EQ(letters.Count(), 4);
    EXPECT_TRUE(errors_.texts.empty());
    EXPECT_EQ(boxes_.texts, Names{});
}

TEST_F(DragDrop, DropsWithoutPcFilesAreRefused)
{
    OpenView root(root_.get(), browser_);
    ListDropTarget drop(root);
    const POINTL onLetters = drop.PointAt(2);
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(drop.target->DragEnter(nullptr, 0, onLetters, &effect), E_INVALIDARG);
    // Virtual files of another namespace.
    ComPtr<CDataObject> virtualFiles{new CDataObject(nullptr, nullptr, 0)};
    SetDataDword(virtualFiles.get(), g_cfFileGroupDescriptor, 0);
    EXPECT_EQ(drop.target->DragEnter(virtualFiles.get(), 0, onLetters, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_TRUE(drop.Highlighted().empty());
    EXPECT_EQ(drop.target->DragOver(0, onLetters, nullptr), E_INVALIDARG);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(drop.target->Drop(virtualFiles.get(), 0, onLetters, &effect), E_UNEXPECTED);
    // A file list without files: accepted, and nothing is sent.
    ComPtr<CDataObject> none{PcFiles({})};
    EXPECT_EQ(drop.target->DragEnter(none.get(), 0, onLetters, &effect), S_OK);
    EXPECT_EQ(drop.target->DragLeave(), S_OK);
    EXPECT_TRUE(drop.Highlighted().empty());
    EXPECT_EQ(drop.target->DragEnter(none.get(), 0, onLetters, &effect), S_OK);
    EXPECT_EQ(drop.target->Drop(none.get(), 0, onLetters, &effect), S_FALSE);
}

}  // namespace

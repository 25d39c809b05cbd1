// PC files dropped onto the view's list, driven the way OLE drives a drop
// target during a drag, onto the stand-in note-taker.
#include "tests/view/ViewFixture.h"

#include <shlwapi.h>

#include "devicefiles/UserMessage.h"
#include "shell/CDataObject.h"
#include "shell/ClipFormats.h"
#include "view/CDropTarget.h"

namespace {

// A drop target on a view's list with the view as its sink, as the view
// makes for itself, driven the way OLE drives it during a drag.
struct ListDropTarget {
    explicit ListDropTarget(const OpenView& view) : list(view.list)
    {
        IDropSink* sink = nullptr;
        EXPECT_EQ(view.view->QueryInterface(IID_IDropSink, reinterpret_cast<void**>(&sink)), S_OK);
        target = new CDropTarget(list, sink, nullptr, 0);
        sink->Release();
    }
    ~ListDropTarget() { target->Release(); }
    // The screen point in the middle of an item, or below the last one for -1.
    POINTL PointAt(int item) const
    {
        RECT area{};
        if (item >= 0) {
            area.left = LVIR_LABEL;
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
        int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        for (int item = 0; item < count; ++item)
            if (SendMessageA(list, LVM_GETITEMSTATE, item, LVIS_DROPHILITED)) items.push_back(item);
        return items;
    }

    HWND list;
    CDropTarget* target;
};

Names g_boxes;
int RecordBox(HWND, const char* text, UINT)
{
    g_boxes.emplace_back(text);
    return IDOK;
}

class DropOnView : public ShellViewTest {
protected:
    DropOnView() : previousBox_(SetMessageBoxHook(RecordBox)) { g_boxes.clear(); }
    ~DropOnView() override { SetMessageBoxHook(previousBox_); }

    MessageBoxHook previousBox_;
};

TEST_F(DropOnView, DroppedPcFilesGoIntoTheFolderItemOrTheViewsFolder)
{
    TempDir pc;
    const std::string one = Pattern(5000, 3), two = Pattern(1100, 4);
    TempDir::WriteAll(pc.file("one.txt"), one);
    CreateDirectoryA(pc.file("docs").c_str(), nullptr);
    TempDir::WriteAll(pc.file("docs\\two.bin"), two);
    OpenView root(root_, browser_);
    IShellFolder* lettersFolder = Letters();
    OpenView letters(lettersFolder, browser_);
    lettersFolder->Release();
    ListDropTarget drop(root);
    ASSERT_EQ(root.Text(2, 0), "R:\\Letters");

    CDataObject* files = PcFiles({pc.file("one.txt")});
    const POINTL onLetters = drop.PointAt(2);
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(drop.target->DragEnter(files, MK_LBUTTON, onLetters, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(drop.Highlighted(), std::vector<int>{2});
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(drop.target->DragOver(MK_LBUTTON | MK_SHIFT, drop.PointAt(0), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE)) << "Shift moves whatever the source offers";
    EXPECT_EQ(drop.Highlighted(), std::vector<int>{0}) << "the mark follows the pointer";
    EXPECT_EQ(drop.target->Drop(files, 0, onLetters, &effect), S_OK);
    EXPECT_TRUE(TempDir::ReadAll(sim_.store.file("R\\Letters\\one.txt")) == one) << "the bytes on the device differ";
    EXPECT_TRUE(drop.Highlighted().empty());
    // The new file shows at once in the view of the folder it went into, and
    // in no other; dropped again, it keeps its one row.
    EXPECT_EQ(letters.Column(0), (Names{"a.mmq", "b.zzq", "C.aaq", "one.txt"}));
    char size[32];
    EXPECT_EQ(letters.Text(3, 1), StrFormatByteSizeA(5000, size, sizeof size));
    EXPECT_EQ(drop.target->DragEnter(files, MK_LBUTTON, onLetters, &effect), S_OK);
    EXPECT_EQ(drop.target->Drop(files, 0, onLetters, &effect), S_OK);
    EXPECT_EQ(letters.Count(), 4);
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters"}));
    files->Release();

    // Below the items: into the view's own folder, the device root.
    CDataObject* folder = PcFiles({pc.file("docs")});
    const POINTL below = drop.PointAt(-1);
    EXPECT_EQ(drop.target->DragEnter(folder, MK_LBUTTON, below, &effect), S_OK);
    EXPECT_TRUE(drop.Highlighted().empty());
    EXPECT_EQ(drop.target->Drop(folder, 0, below, &effect), S_OK);
    EXPECT_TRUE(TempDir::ReadAll(sim_.store.file("R\\docs\\two.bin")) == two) << "the bytes on the device differ";
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books", "R:\\Letters", "R:\\docs"})) << "the folder alone";
    EXPECT_EQ(letters.Count(), 4);
    folder->Release();
    EXPECT_TRUE(errors_.texts.empty());
    EXPECT_EQ(g_boxes, Names{});
}

TEST_F(DropOnView, DropsWithoutPcFilesAreRefused)
{
    OpenView root(root_, browser_);
    ListDropTarget drop(root);
    const POINTL onLetters = drop.PointAt(2);
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(drop.target->DragEnter(nullptr, 0, onLetters, &effect), E_INVALIDARG);

    // Virtual files of another namespace.
    auto* virtualFiles = new CDataObject(nullptr, nullptr, 0);
    SetDataDword(virtualFiles, g_cfFileGroupDescriptor, 0);
    EXPECT_EQ(drop.target->DragEnter(virtualFiles, 0, onLetters, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_TRUE(drop.Highlighted().empty());
    EXPECT_EQ(drop.target->DragOver(0, onLetters, nullptr), E_INVALIDARG);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(drop.target->Drop(virtualFiles, 0, onLetters, &effect), E_UNEXPECTED);
    virtualFiles->Release();

    // A file list without files: accepted, and nothing is sent.
    CDataObject* none = PcFiles({});
    EXPECT_EQ(drop.target->DragEnter(none, 0, onLetters, &effect), S_OK);
    EXPECT_EQ(drop.target->DragLeave(), S_OK);
    EXPECT_TRUE(drop.Highlighted().empty());
    EXPECT_EQ(drop.target->DragEnter(none, 0, onLetters, &effect), S_OK);
    EXPECT_EQ(drop.target->Drop(none, 0, onLetters, &effect), S_FALSE);
    none->Release();
}

}  // namespace

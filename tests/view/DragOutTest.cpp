// What follows a drag of device items out of the view: the target reads
// the files, and after a move the sources go from the device.
#include "view/CDropSource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devicefiles/UserMessage.h"
#include "shell/CShellFolder.h"
#include "shell/ClipFormats.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/SimOnLine.h"
#include "tests/support/TempDir.h"

namespace {

int NoBox(HWND, const char*, UINT) { return IDOK; }

class DragOut : public ::testing::Test {
protected:
    DragOut() : previousBox_(SetMessageBoxHook(NoBox))
    {
        for (const char* folder : {"R", "R\\notes", "F"}) CreateDirectoryA(sim_.store.file(folder).c_str(), nullptr);
        for (int i = 0; i < 3; ++i) sim_.put(Stored(i), contents_[i]);
        root_ = new CShellFolder(nullptr, nullptr);
        ItemIdHolder notes(MakeItem("R:\\notes", 2));
        root_->BindToObject(notes.get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&notes_));
        std::vector<LPITEMIDLIST> items;
        for (int i = 0; i < 3; ++i) items.push_back(MakeItem(kNames[i], 1, static_cast<DWORD>(contents_[i].size())));
        EXPECT_EQ(notes_->GetUIObjectOf(nullptr, 3, const_cast<LPCITEMIDLIST*>(items.data()), IID_IDataObject,
                                        nullptr, reinterpret_cast<void**>(&dragged_)),
                  S_OK);
        for (LPITEMIDLIST item : items) ItemIdFree(item);
    }
    ~DragOut() override
    {
        OleSetClipboard(nullptr);
        if (dragged_) dragged_->Release();
        notes_->Release();
        root_->Release();
        SetMessageBoxHook(previousBox_);
    }
    static std::string Stored(int i) { return std::string("R\\notes\\") + kNames[i]; }
    bool OnDevice(int i) const { return TempDir::Exists(sim_.store.file(Stored(i))); }
    // What a drop target does with the dragged files: reads every stream.
    std::string ReadContents(LONG index) const
    {
        FORMATETC format{g_cfFileContents, nullptr, DVASPECT_CONTENT, index, TYMED_ISTREAM};
        STGMEDIUM medium{};
        std::string bytes;
        if (FAILED(dragged_->GetData(&format, &medium))) return bytes;
        char piece[4096];
        ULONG read = 0;
        while (medium.pstm->Read(piece, sizeof piece, &read) == S_OK && read > 0) bytes.append(piece, read);
        ReleaseStgMedium(&medium);
        return bytes;
    }

    static constexpr const char* kNames[3] = {"a.txt", "b.brl", "c.bin"};
    const std::string contents_[3] = {Pattern(4000, 1), Pattern(129, 2), Pattern(20000, 3)};
    SimOnLine sim_{1};
    MessageBoxHook previousBox_;
    ErrorBoxCapture errors_;
    CShellFolder* root_;
    IShellFolder* notes_ = nullptr;
    IDataObject* dragged_ = nullptr;
};

TEST_F(DragOut, CopyOrCancelKeepsTheFilesOnTheDevice)
{
    ASSERT_TRUE(dragged_);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(ReadContents(i) == contents_[i]) << "the PC got other bytes than " << kNames[i];
    EXPECT_EQ(FinishDrag(dragged_, DRAGDROP_S_DROP, DROPEFFECT_COPY), S_OK);

    CDropSource* source = new CDropSource(dragged_, nullptr);
    IDataObject* carried = nullptr;
    EXPECT_EQ(source->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&carried)), S_OK);
    EXPECT_EQ(carried, dragged_);
    carried->Release();
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
    const HRESULT escaped = source->QueryContinueDrag(TRUE, MK_LBUTTON);
    EXPECT_EQ(escaped, DRAGDROP_S_CANCEL);
    source->Release();
    EXPECT_EQ(FinishDrag(dragged_, escaped, DROPEFFECT_MOVE), S_OK);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(OnDevice(i)) << kNames[i];
}

TEST_F(DragOut, MoveDeletesLastFirstAndStopsAtTheFirstFailure)
{
    ASSERT_TRUE(dragged_);
    ASSERT_EQ(OleSetClipboard(dragged_), S_OK);
    DeleteFileA(sim_.store.file(Stored(1)).c_str());  // gone before the drag ends
    EXPECT_TRUE(FAILED(FinishDrag(dragged_, DRAGDROP_S_DROP, DROPEFFECT_MOVE)));
    EXPECT_FALSE(OnDevice(2)) << "the last file goes first";
    EXPECT_TRUE(OnDevice(0)) << "the delete stops at the failure";
    EXPECT_TRUE(IsClipboardFormatAvailable(g_cfFileGroupDescriptor)) << "the clipboard is left as it was";

    sim_.put(Stored(1), contents_[1]);
    sim_.put(Stored(2), contents_[2]);
    EXPECT_EQ(FinishDrag(dragged_, DRAGDROP_S_DROP, DROPEFFECT_MOVE), S_OK);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(OnDevice(i)) << kNames[i];
    EXPECT_FALSE(IsClipboardFormatAvailable(g_cfFileGroupDescriptor)) << "a completed move empties the clipboard";
}

}  // namespace

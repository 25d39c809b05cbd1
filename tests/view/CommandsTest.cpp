// The folder's commands behind the view's menus, accelerators and context
// menu, run against the stand-in note-taker.
#include <ole2.h>

#include "devicefiles/UserMessage.h"
#include "shell/CDataObject.h"
#include "shell/ClipFormats.h"
#include "tests/view/ViewFixture.h"

namespace {

Names g_boxes;
int g_answer = IDYES;
int AnswerBox(HWND, const char* text, UINT)
{
    g_boxes.emplace_back(text);
    return g_answer;
}

class CommandsTest : public ShellViewTest {
protected:
    CommandsTest() : previousBox_(SetMessageBoxHook(AnswerBox))
    {
        g_boxes.clear();
        OleSetClipboard(nullptr);
    }
    ~CommandsTest() override
    {
        OleSetClipboard(nullptr);
        SetMessageBoxHook(previousBox_);
    }

    // Identifiers of items of R:\Letters by name, kept for the test's life.
    std::vector<LPCITEMIDLIST> Items(std::initializer_list<const char*> names)
    {
        std::vector<LPCITEMIDLIST> items;
        for (const char* name : names) {
            held_.emplace_back(new ItemIdHolder(MakeItem(name, 1)));
            items.push_back(held_.back()->get());
        }
        return items;
    }
    static DWORD ClipboardDropEffect()
    {
        ComPtr<IDataObject> clipboard;
        DWORD effect = 0;
        if (SUCCEEDED(OleGetClipboard(clipboard.put())) &&
            FAILED(GetDataDword(clipboard.get(), g_cfPreferredDropEffect, &effect)))
            effect = 0;
        return effect;
    }
    static bool ClipboardHasDeviceItems()
    {
        ComPtr<IDataObject> clipboard;
        FORMATETC group{g_cfFileGroupDescriptor, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return SUCCEEDED(OleGetClipboard(clipboard.put())) && clipboard->QueryGetData(&group) == S_OK;
    }

    std::vector<std::unique_ptr<ItemIdHolder>> held_;
    MessageBoxHook previousBox_;
};

TEST_F(CommandsTest, CutMarksTheClipboardObjectAsAMoveAndCopyDoesNot)
{
    IShellFolder* letters = Letters();
    auto* folder = static_cast<CShellFolder*>(letters);
    std::vector<LPCITEMIDLIST> items = Items({"a.mmq", "b.zzq"});
    EXPECT_EQ(folder->CopyItems(nullptr, CShellFolder::COPY_CLIPBOARD, 0, items.data()), E_INVALIDARG);
    EXPECT_FALSE(ClipboardHasDeviceItems()) << "nothing was put on the clipboard";

    ASSERT_EQ(folder->CopyItems(nullptr, CShellFolder::COPY_MOVE, 2, items.data()), S_OK);
    EXPECT_TRUE(ClipboardHasDeviceItems());
    EXPECT_EQ(ClipboardDropEffect(), static_cast<DWORD>(DROPEFFECT_MOVE));
    ASSERT_EQ(folder->CopyItems(nullptr, CShellFolder::COPY_CLIPBOARD, 1, items.data()), S_OK);
    EXPECT_TRUE(ClipboardHasDeviceItems());
    EXPECT_NE(ClipboardDropEffect(), static_cast<DWORD>(DROPEFFECT_MOVE)) << "a fresh object, not the cut one";
    letters->Release();
}

TEST_F(CommandsTest, DeleteRemovesFromDeviceAndViewUpToTheFirstFailure)
{
    IShellFolder* letters = Letters();
    auto* folder = static_cast<CShellFolder*>(letters);
    OpenView view(letters, browser_);
    EXPECT_EQ(folder->DeleteItems(0, nullptr, false), E_INVALIDARG);

    std::vector<LPCITEMIDLIST> items = Items({"a.mmq", "gone.txt", "C.aaq"});
    EXPECT_TRUE(FAILED(folder->DeleteItems(3, items.data(), false)));
    EXPECT_FALSE(TempDir::Exists(sim_.store.file("R\\Letters\\a.mmq")));
    EXPECT_TRUE(TempDir::Exists(sim_.store.file("R\\Letters\\C.aaq"))) << "nothing after the failure is deleted";
    EXPECT_EQ(view.Column(0), (Names{"b.zzq", "C.aaq"}));
    ASSERT_EQ(g_boxes.size(), 1u) << "the failure is told in words";
    EXPECT_NE(g_boxes[0], "");

    EXPECT_TRUE(FAILED(folder->DeleteItems(3, items.data(), true))) << "from the last: C.aaq, then the missing one";
    EXPECT_FALSE(TempDir::Exists(sim_.store.file("R\\Letters\\C.aaq")));
    EXPECT_EQ(view.Column(0), (Names{"b.zzq"}));
    letters->Release();
}

// Del asks once; a folder goes with the files in it, from every open view.
TEST_F(CommandsTest, DeleteAsksOnceAndTakesFoldersWithTheirFiles)
{
    OpenView root(root_, browser_);
    IShellFolder* letters = Letters();
    OpenView inside(letters, browser_);
    letters->Release();
    ItemIdHolder folder(MakeItem("R:\\Letters", 2));
    LPCITEMIDLIST items[] = {folder.get()};
    for (int answer : {IDNO, IDYES}) {
        g_boxes.clear();
        g_answer = answer;
        EXPECT_EQ(root_->RunCommand(IDC_DELETE, 1, items, root.list, nullptr), S_OK);
        EXPECT_EQ(g_boxes.size(), 1u) << "one question, and no failure";
        EXPECT_EQ(TempDir::Exists(sim_.store.file("R\\Letters")), answer == IDNO);
    }
    EXPECT_EQ(root.Column(0), (Names{"Clock", "F:\\Books"}));
    EXPECT_EQ(inside.Count(), 0) << "the files went from the folder's own view too";
    EXPECT_TRUE(TempDir::Exists(sim_.store.file("F\\Books")));
}

}  // namespace

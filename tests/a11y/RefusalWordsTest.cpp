// Every refusal the user meets is said in words beside its beep, so that a
// screen reader user can tell it from a slip of the finger.
#include "tests/view/ViewFixture.h"

#include "view/CDropSource.h"

namespace {

class RefusalWordsTest : public ShellViewTest {};

TEST_F(RefusalWordsTest, RefusedRenameSaysWhy)
{
    const struct {
        const char* newName;
        const char* text;
        UINT icon;
    } cases[] = {
        {"nnnnnnnnnnnnnnnnnnnnn",  // 21 characters: one more than the device takes
         "The name is too long. The notetaker takes names of at most 20 characters.", MB_ICONEXCLAMATION},
        {"C.aaq", "Invalid path specified.", MB_ICONERROR},  // the device refuses a name in use
    };
    IShellFolder* letters = Letters();
    OpenView view(letters, browser_);
    for (const auto& c : cases) {
        MessageBoxCapture::texts.clear();
        MessageBoxCapture::flags.clear();
        view.Rename(1, c.newName);
        ASSERT_EQ(MessageBoxCapture::texts.size(), 1u) << c.newName;
        EXPECT_EQ(MessageBoxCapture::texts[0], c.text);
        EXPECT_EQ(MessageBoxCapture::flags[0], c.icon | MB_TASKMODAL);
        EXPECT_EQ(view.Text(1, 0), "b.zzq");
        EXPECT_TRUE(TempDir::Exists(sim_.store.file("R\\Letters\\b.zzq")));
    }
    letters->Release();
}

TEST_F(RefusalWordsTest, MoveOutThatCannotDeleteOnTheDeviceSaysWhy)
{
    IShellFolder* letters = Letters();
    ItemIdHolder gone(MakeItem("gone.txt", 1, 5));
    LPCITEMIDLIST items[] = {gone.get()};
    IDataObject* data = nullptr;
    ASSERT_EQ(letters->GetUIObjectOf(nullptr, 1, items, IID_IDataObject, nullptr, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_TRUE(FAILED(FinishDrag(data, DRAGDROP_S_DROP, DROPEFFECT_MOVE)));
    EXPECT_EQ(MessageBoxCapture::texts, (Names{"Invalid path specified."}));
    data->Release();
    letters->Release();
}

}  // namespace

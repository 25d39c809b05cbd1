#include "shell/CModule.h"

#include <gtest/gtest.h>

#include <cstring>

#include "resources/resource.h"
#include "shell/ClipFormats.h"

namespace {

// The test program carries the module's string table.
class CModuleTest : public ::testing::Test {
protected:
    CModule module_{GetModuleHandleA(nullptr), IDA_VIEW};
};

TEST_F(CModuleTest, StringsComeFromTheInstance)
{
    ASSERT_TRUE(module_.Ready());
    char text[64];
    EXPECT_EQ(module_.LoadString(IDS_FOLDER_NAME, text, sizeof text), 6);
    EXPECT_STREQ(text, "Pellor");
    EXPECT_EQ(module_.LoadString(IDS_FOLDER_NAME, text, 4), 3);
    EXPECT_STREQ(text, "Pel");
    strcpy(text, "untouched");
    module_.FormatString(65000, text, sizeof text, 1, 2);
    EXPECT_STREQ(text, "untouched") << "a missing format string leaves the buffer";
}

TEST_F(CModuleTest, MessagesWithoutTextShowNothing)
{
    EXPECT_EQ(module_.ShowMessage(nullptr, nullptr, MB_OK), -1);
    EXPECT_EQ(module_.ShowMessage(nullptr, MAKEINTRESOURCEA(65000), MB_OK), -1);
}

TEST_F(CModuleTest, HelpFileSitsBesideTheModule)
{
    char expected[MAX_PATH];
    GetModuleFileNameA(nullptr, expected, sizeof expected);
    strcpy(strrchr(expected, '\\') + 1, "Pellor.chm");
    ASSERT_NE(module_.GetHelpFile(), nullptr);
    EXPECT_STREQ(module_.GetHelpFile(), expected);
    EXPECT_STRNE(module_.ModulePath(), "");
    EXPECT_NE(module_.Allocator(), nullptr);
}

TEST_F(CModuleTest, PasteTakesFileListsWhileTheModuleLives)
{
    UINT count = 0;
    const FORMATETC* formats = PasteFormats(count);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(formats[0].cfFormat, CF_HDROP);
    EXPECT_EQ(formats[0].ptd, nullptr);
    EXPECT_EQ(formats[0].dwAspect, static_cast<DWORD>(DVASPECT_CONTENT));
    EXPECT_EQ(formats[0].lindex, -1);
    EXPECT_EQ(formats[0].tymed, static_cast<DWORD>(TYMED_HGLOBAL));
}

TEST(ClipFormats, RegisteredByNameAtLoad)
{
    EXPECT_EQ(g_cfFileGroupDescriptor, RegisterClipboardFormatA("FileGroupDescriptor"));
    EXPECT_EQ(g_cfFileContents, RegisterClipboardFormatA("FileContents"));
    EXPECT_EQ(g_cfPasteSucceeded, RegisterClipboardFormatA("Paste Succeeded"));
    EXPECT_EQ(g_cfPerformedDropEffect, RegisterClipboardFormatA("Performed DropEffect"));
    EXPECT_EQ(g_cfPreferredDropEffect, RegisterClipboardFormatA("Preferred DropEffect"));
    EXPECT_NE(g_cfFileContents, 0);
    UINT count = 1;
    PasteFormats(count);
    EXPECT_EQ(count, 0u) << "no module object, no paste formats";
}

}  // namespace

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

TEST_F(CModuleTest, PasteTakesFileListsWhileTheModuleLives)
{
    UINT count = 0;
    const FORMATETC* formats = PasteFormats(count);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(formats[0].cfFormat, CF_HDROP);
    EXPECT_EQ(formats[0].tymed, static_cast<DWORD>(TYMED_HGLOBAL));
}

TEST(ClipFormats, RegisteredByNameAtLoad)
{
    EXPECT_EQ(g_cfFileGroupDescriptor, RegisterClipboardFormatA("FileGroupDescriptor"));
    EXPECT_EQ(g_cfFileContents, RegisterClipboardFormatA("FileContents"));
    EXPECT_EQ(g_cfPasteSucceeded, RegisterClipboardFormatA("Paste Succeeded"));
    EXPECT_EQ(g_cfPerformedDropEffect, RegisterClipboardFormatA("Performed DropEffect"));
    EXPECT_EQ(g_cfPreferredDropEffect, RegisterClipboardFormatA("Preferred DropEffect"));
    UINT count = 1;
    PasteFormats(count);
    EXPECT_EQ(count, 0u) << "no module object, no paste formats";
}

}  // namespace

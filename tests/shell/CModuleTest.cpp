#include "shell/CModule.h"

#include <gtest/gtest.h>

#include <htmlhelp.h>

#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// The HTML Help library as the module reaches it: counted, slow to load so
// that callers on several threads meet, and a help function that records.
struct HelpCalls {
    LONG loads = 0, frees = 0;
    std::vector<std::string> paths;
    std::vector<UINT> commands;
} g_help;
HMODULE const kFakeLibrary = reinterpret_cast<HMODULE>(0x1000);

HWND WINAPI FakeHtmlHelp(HWND, LPCSTR path, UINT command, DWORD_PTR)
{
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    g_help.paths.push_back(path ? path : "(none)");
    g_help.commands.push_back(command);
    return reinterpret_cast<HWND>(0x2000);
}
HMODULE WINAPI CountingLoad(LPCSTR name)
{
    InterlockedIncrement(&g_help.loads);
    Sleep(20);
    return strcmp(name, "hhctrl.ocx") == 0 ? kFakeLibrary : nullptr;
}
FARPROC WINAPI FakeFind(HMODULE, LPCSTR name)
{
    return strcmp(name, "HtmlHelpA") == 0 ? reinterpret_cast<FARPROC>(FakeHtmlHelp) : nullptr;
}
BOOL WINAPI CountingFree(HMODULE library) { return library == kFakeLibrary && InterlockedIncrement(&g_help.frees); }

TEST(CModuleHelp, LoadsTheLibraryOnceAndFreesItBeforeUnload)
{
    g_help = {};
    CModule module(GetModuleHandleA(nullptr), IDA_VIEW, {CountingLoad, FakeFind, CountingFree});
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i)
        callers.emplace_back([&] { module.ShowHelp(nullptr, MAKEINTRESOURCEA(IDS_HELP_LOG), HH_DISPLAY_TOC, 0); });
    for (auto& caller : callers) caller.join();
    EXPECT_EQ(module.ShowHelp(nullptr, nullptr, HH_DISPLAY_TOPIC, 0), reinterpret_cast<HWND>(0x2000));
    EXPECT_EQ(g_help.loads, 1) << "one load for all calls and threads";
    ASSERT_EQ(g_help.paths.size(), 5u);
    std::string file = module.GetHelpFile();
    EXPECT_EQ(g_help.paths[0], file + "::/pellor/Log_Properties.htm");
    EXPECT_EQ(g_help.paths[4], file) << "Help Topics names no topic: the file opens at its start page";

    module.FreeHelpLibrary();
    EXPECT_EQ(g_help.frees, 1);
    EXPECT_EQ(g_help.commands.back(), static_cast<UINT>(HH_CLOSE_ALL)) << "help windows closed before the library goes";
    module.FreeHelpLibrary();
    EXPECT_EQ(g_help.frees, 1) << "freed once";
    module.ShowHelp(nullptr, nullptr, HH_DISPLAY_TOPIC, 0);
    EXPECT_EQ(g_help.loads, 2) << "loaded again after it was freed";
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

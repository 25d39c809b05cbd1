// PC files and folders pasted onto the stand-in note-taker from the real OLE
// clipboard and from a drop request, and what the paste reports back.
#include "shell/Paste.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "shell/CDataObject.h"
#include "shell/CShellFolder.h"
#include "shell/ClipFormats.h"
#include "tests/support/SimOnLine.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<std::string> g_boxes;
int RecordBox(HWND, const char* text, UINT)
{
    g_boxes.emplace_back(text);
    return IDOK;
}

// What the module registers at load: CF_HDROP in global memory.
const FORMATETC kPasteFormats[] = {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};

bool ClipboardHoldsFiles() { return IsClipboardFormatAvailable(CF_HDROP) != 0; }

class PasteDevice : public ::testing::Test {
protected:
    PasteDevice() : previousBox_(SetMessageBoxHook(RecordBox))
    {
        g_boxes.clear();
        SetPasteFormats(kPasteFormats, ARRAYSIZE(kPasteFormats));
        for (const char* folder : {"R", "R\\notes", "F"}) CreateDirectoryA(sim_.store.file(folder).c_str(), nullptr);
        root_ = new CShellFolder(nullptr, nullptr);
        ItemIdHolder notes(MakeItem("R:\\notes", 2));
        root_->BindToObject(notes.get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&notesShell_));
        notes_ = static_cast<CShellFolder*>(notesShell_);
    }
    ~PasteDevice() override
    {
        OleSetClipboard(nullptr);
        if (notesShell_) notesShell_->Release();
        root_->Release();
        SetMessageBoxHook(previousBox_);
        SetPasteFormats(nullptr, 0);
    }
    std::string pcFile(const std::string& name, const std::string& bytes)
    {
        EXPECT_TRUE(TempDir::WriteAll(pc_.file(name), bytes));
        return pc_.file(name);
    }
    std::string onDevice(const std::string& relative) { return TempDir::ReadAll(sim_.store.file(relative)); }
    // A drop of the source's CF_HDROP, as a drop target hands it over.
    static bool HDropRequest(CDataObject* source, DWORD* effect, DropRequest& request)
    {
        request.dataObject = source;
        request.format = FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        request.effect = effect;
        return source->GetData(&request.format, &request.medium) == S_OK;
    }

    HRESULT PasteClipboard(CShellFolder& folder)
    {
        DropRequest request{};
        return PasteDataObject(folder, nullptr, folder.DeviceList(), &request);
    }

    SimOnLine sim_{1};
    TempDir pc_;
    MessageBoxHook previousBox_;
    ErrorBoxCapture errors_;
    CShellFolder* root_;
    IShellFolder* notesShell_ = nullptr;
    CShellFolder* notes_ = nullptr;
};

TEST_F(PasteDevice, FolderTreeFromTheClipboardLandsWithItsFiles)
{
    CreateDirectoryA(pc_.file("docs").c_str(), nullptr);
    CreateDirectoryA(pc_.file("docs\\sub").c_str(), nullptr);
    const std::string a = Pattern(3000, 1), x = Pattern(70000, 2);
    pcFile("docs\\a.txt", a);
    pcFile("docs\\sub\\x.bin", x);
    CDataObject* source = PcFiles({pc_.file("docs")});
    ASSERT_EQ(OleSetClipboard(source), S_OK);
    source->Release();

    EXPECT_EQ(PasteClipboard(*root_), S_OK);
    EXPECT_TRUE(onDevice("R\\docs\\a.txt") == a) << "the bytes on the device differ";
    EXPECT_TRUE(onDevice("R\\docs\\sub\\x.bin") == x) << "the bytes on the device differ";
    EXPECT_TRUE(ClipboardHoldsFiles()) << "a copied list stays for the next paste";
    EXPECT_TRUE(g_boxes.empty());
}

// Drop targets handed out by the folder, as Explorer's folder tree asks for them.
TEST_F(PasteDevice, FolderDropTargetsSendIntoTheirFolder)
{
    ItemIdHolder notes(MakeItem("R:\\notes", 2));
    LPCITEMIDLIST items[] = {notes.get(), notes.get()};
    IDropTarget* target = reinterpret_cast<IDropTarget*>(1);
    EXPECT_EQ(root_->GetUIObjectOf(nullptr, 2, items, IID_IDropTarget, nullptr, reinterpret_cast<void**>(&target)),
              E_OUTOFMEMORY);
    EXPECT_EQ(target, nullptr);

    // One item: the drop goes into that folder.
    ASSERT_EQ(root_->GetUIObjectOf(nullptr, 1, items, IID_IDropTarget, nullptr, reinterpret_cast<void**>(&target)),
              S_OK);
    const std::string one = Pattern(2000, 7);
    CDataObject* files = PcFiles({pcFile("one.txt", one)});
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    POINTL point{0, 0};
    EXPECT_EQ(target->DragEnter(files, 0, point, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(target->Drop(files, 0, point, &effect), S_OK);
    EXPECT_TRUE(onDevice("R\\notes\\one.txt") == one);
    files->Release();
    target->Release();

    // No item: the folder itself, here with a PC tree two levels deep.
    CreateDirectoryA(pc_.file("docs").c_str(), nullptr);
    CreateDirectoryA(pc_.file("docs\\sub").c_str(), nullptr);
    const std::string x = Pattern(1500, 8);
    pcFile("docs\\sub\\x", x);
    ASSERT_EQ(notes_->CreateViewObject(nullptr, IID_IDropTarget, reinterpret_cast<void**>(&target)), S_OK);
    CDataObject* tree = PcFiles({pc_.file("docs")});
    EXPECT_EQ(target->DragEnter(tree, MK_SHIFT, point, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_EQ(target->Drop(tree, MK_SHIFT, point, &effect), S_OK);
    EXPECT_TRUE(onDevice("R\\notes\\docs\\sub\\x") == x);
    DWORD performed = 0;
    EXPECT_EQ(GetDataDword(tree, g_cfPerformedDropEffect, &performed), S_OK) << "a moving drop reports the move";
    EXPECT_EQ(performed, static_cast<DWORD>(DROPEFFECT_MOVE));
    tree->Release();
    target->Release();
    EXPECT_TRUE(g_boxes.empty());
}

// Files from two PC folders, the second one's path shorter than the first's folder.
TEST_F(PasteDevice, FilesFromTheClipboardGoIntoTheFolderWhateverFolderEachCameFrom)
{
    const std::string one = Pattern(1024, 4), two = Pattern(1025, 5);
    for (const char* folder : {"a", "a\\long folder name", "a\\long folder name\\deeper"})
        CreateDirectoryA(pc_.file(folder).c_str(), nullptr);
    CDataObject* source = PcFiles({pcFile("a\\long folder name\\deeper\\one.txt", one), pcFile("two.txt", two)});
    ASSERT_EQ(OleSetClipboard(source), S_OK);
    source->Release();
    EXPECT_EQ(PasteClipboard(*notes_), S_OK);
    EXPECT_TRUE(onDevice("R\\notes\\one.txt") == one);
    EXPECT_TRUE(onDevice("R\\notes\\two.txt") == two);
    EXPECT_TRUE(g_boxes.empty());
}

// Explorer keeps a copied list for the next paste; a moved one is gone.
TEST_F(PasteDevice, ACutPasteEmptiesTheClipboardACopyPasteKeepsIt)
{
    for (DWORD preferred : {DWORD{DROPEFFECT_COPY}, DWORD{DROPEFFECT_MOVE}}) {
        CDataObject* source = PcFiles({pcFile("kept.txt", "kept")});
        SetDataDword(source, g_cfPreferredDropEffect, preferred);
        ASSERT_EQ(OleSetClipboard(source), S_OK);
        source->Release();
        EXPECT_EQ(PasteClipboard(*notes_), S_OK);
        EXPECT_EQ(onDevice("R\\notes\\kept.txt"), "kept");
        EXPECT_EQ(ClipboardHoldsFiles(), preferred == DROPEFFECT_COPY) << "preferred effect " << preferred;
    }
}

TEST_F(PasteDevice, CutOfPcFilesIsReportedAsMoved)
{
    CDataObject* source = PcFiles({pcFile("moved.txt", "moved")});
    ASSERT_EQ(SetDataDword(source, g_cfPreferredDropEffect, DROPEFFECT_MOVE), S_OK);
    // Wine's clipboard object takes no SetData, so the report is checked on
    // the source itself, as a drop hands it over.
    DWORD effect = DROPEFFECT_MOVE;
    DropRequest request{};
    ASSERT_TRUE(HDropRequest(source, &effect, request));
    EXPECT_EQ(PasteDataObject(*notes_, nullptr, notes_->DeviceList(), &request), S_OK);
    ReleaseStgMedium(&request.medium);
    EXPECT_EQ(onDevice("R\\notes\\moved.txt"), "moved");
    DWORD performed = 0, pasted = 0;
    EXPECT_EQ(GetDataDword(source, g_cfPerformedDropEffect, &performed), S_OK);
    EXPECT_EQ(GetDataDword(source, g_cfPasteSucceeded, &pasted), S_OK);
    EXPECT_EQ(performed, static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_EQ(pasted, static_cast<DWORD>(DROPEFFECT_MOVE));
    source->Release();
}

TEST_F(PasteDevice, AFailureHalfWayStopsAndIsNotReportedAsMoved)
{
    std::vector<std::string> paths;
    for (int i = 1; i <= 5; ++i) paths.push_back(pcFile("f" + std::to_string(i) + ".txt", std::to_string(i)));
    DeleteFileA(paths[2].c_str());  // gone between copy and paste
    CDataObject* source = PcFiles(paths);
    DWORD effect = DROPEFFECT_MOVE;
    DropRequest request{};
    ASSERT_TRUE(HDropRequest(source, &effect, request));
    EXPECT_TRUE(FAILED(PasteDataObject(*notes_, nullptr, notes_->DeviceList(), &request)));
    ReleaseStgMedium(&request.medium);

    EXPECT_EQ(onDevice("R\\notes\\f1.txt"), "1");
    EXPECT_EQ(onDevice("R\\notes\\f2.txt"), "2");
    for (const char* unsent : {"R\\notes\\f3.txt", "R\\notes\\f4.txt", "R\\notes\\f5.txt"})
        EXPECT_FALSE(TempDir::Exists(sim_.store.file(unsent))) << unsent;
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_FALSE(g_boxes[0].empty());
    DWORD pasted = 0;
    EXPECT_TRUE(FAILED(GetDataDword(source, g_cfPasteSucceeded, &pasted))) << "a failed paste reports no move";
    source->Release();
}

TEST_F(PasteDevice, FileOver4GiBIsRefusedWithAMessage)
{
    const std::string huge = pc_.file("huge.bin");
    HANDLE file = CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 0x100000001ll;
    SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    CDataObject* source = PcFiles({huge});
    ASSERT_EQ(OleSetClipboard(source), S_OK);
    source->Release();
    EXPECT_TRUE(FAILED(PasteClipboard(*notes_)));
    EXPECT_FALSE(TempDir::Exists(sim_.store.file("R\\notes\\huge.bin")));
    EXPECT_EQ(g_boxes.size(), 1u);
    DeleteFileA(huge.c_str());
}

TEST_F(PasteDevice, EmptyAndVirtualAndMissingSources)
{
    // No files at all.
    CDataObject* empty = PcFiles({});
    ASSERT_EQ(OleSetClipboard(empty), S_OK);
    empty->Release();
    EXPECT_EQ(PasteClipboard(*notes_), S_FALSE);

    // Nothing pasteable on the clipboard.
    auto* text = new CDataObject(nullptr, nullptr, 0);
    SetDataDword(text, g_cfPreferredDropEffect, DROPEFFECT_COPY);
    ASSERT_EQ(OleSetClipboard(text), S_OK);
    text->Release();
    EXPECT_EQ(PasteClipboard(*notes_), DV_E_FORMATETC);
    EXPECT_TRUE(IsClipboardFormatAvailable(g_cfPreferredDropEffect)) << "what the clipboard held stays there";

    // Virtual files of another namespace are not received.
    auto* virtualFiles = new CDataObject(nullptr, nullptr, 0);
    DropRequest request{};
    request.dataObject = virtualFiles;
    request.format = FORMATETC{g_cfFileGroupDescriptor, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    request.medium.tymed = TYMED_HGLOBAL;
    request.medium.hGlobal = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(FILEGROUPDESCRIPTORA));
    EXPECT_EQ(PasteDataObject(*notes_, nullptr, notes_->DeviceList(), &request), E_FAIL);
    ReleaseStgMedium(&request.medium);
    virtualFiles->Release();

    EXPECT_EQ(PasteDataObject(*notes_, nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_TRUE(g_boxes.empty());
}

TEST(ReadHDrop, FoldersAreFollowedByEverythingBelow)
{
    TempDir pc;
    CreateDirectoryA(pc.file("docs").c_str(), nullptr);
    CreateDirectoryA(pc.file("docs\\sub").c_str(), nullptr);
    TempDir::WriteAll(pc.file("docs\\a.txt"), "a");
    TempDir::WriteAll(pc.file("docs\\sub\\x"), "x");
    TempDir::WriteAll(pc.file("z.txt"), "z");
    HGLOBAL drop = MakeHDrop({pc.file("docs"), pc.file("z.txt")});
    std::vector<std::string> paths{"stale"};
    char base[MAX_PATH] = "";
    ASSERT_EQ(ReadHDrop(static_cast<HDROP>(drop), &paths, base, true), S_OK);
    EXPECT_EQ(base, pc.path());
    ASSERT_EQ(paths.size(), 5u);
    EXPECT_EQ(paths[0], pc.file("docs"));
    auto at = [&](const std::string& name) { return std::find(paths.begin(), paths.end(), pc.file(name)) - paths.begin(); };
    EXPECT_LT(at("docs\\sub"), at("docs\\sub\\x"));
    EXPECT_LT(at("docs\\a.txt"), at("z.txt"));
    EXPECT_EQ(at("z.txt"), 4);
    GlobalFree(drop);

    HGLOBAL none = MakeHDrop({});
    EXPECT_EQ(ReadHDrop(static_cast<HDROP>(none), &paths, base, true), S_FALSE);
    GlobalFree(none);
    EXPECT_EQ(ReadHDrop(nullptr, &paths, base, true), E_INVALIDARG);
}

}  // namespace

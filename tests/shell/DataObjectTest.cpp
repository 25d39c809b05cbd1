// The data object of device items through the real OLE clipboard, its
// contents streams fetching from the stand-in note-taker, its store of
// formats, and the deletion half of a cut.
#include "shell/CDataObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "shell/CShellFolder.h"
#include "shell/ClipFormats.h"
#include "tests/support/SimOnLine.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 13 + i / 509);
    return s;
}

// The "wdf" temporary files in the temporary folder.
int TemporaryFiles()
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(folder) + "wdf*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do ++count;
    while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

int NoBox(HWND, const char*, UINT) { return IDOK; }

FORMATETC Format(UINT16 format, LONG index, DWORD tymed) { return FORMATETC{format, nullptr, DVASPECT_CONTENT, index, tymed}; }

std::string ReadStream(IStream* stream, HRESULT& result)
{
    std::string bytes;
    char piece[1000];
    ULONG read = 0;
    while ((result = stream->Read(piece, sizeof piece, &read)) == S_OK && read > 0) bytes.append(piece, read);
    return bytes;
}

class DataObjectDevice : public ::testing::Test {
protected:
    DataObjectDevice()
        : previousBox_(SetMessageBoxHook(NoBox)),
          temporaryBefore_(TemporaryFiles())
    {
        for (const char* folder : {"R", "R\\Letters", "F", "F\\Books"}) CreateDirectoryA(sim_.store.file(folder).c_str(), nullptr);
        TempDir::WriteAll(sim_.store.file("R\\Letters\\note.txt"), content_);
        TempDir::WriteAll(sim_.store.file("R\\Letters\\keep.txt"), "keep");
        root_ = new CShellFolder(nullptr, nullptr);
        ItemIdHolder letters(MakeItem("R:\\Letters", 2));
        root_->BindToObject(letters.get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&letters_));
    }
    ~DataObjectDevice() override
    {
        if (letters_) letters_->Release();
        root_->Release();
        SetMessageBoxHook(previousBox_);
        EXPECT_EQ(TemporaryFiles(), temporaryBefore_) << "a fetched device file was left behind";
    }
    IDataObject* ItemsOf(IShellFolder* folder, std::initializer_list<LPITEMIDLIST> made)
    {
        std::vector<LPITEMIDLIST> items(made);
        IDataObject* object = nullptr;
        EXPECT_EQ(folder->GetUIObjectOf(nullptr, static_cast<UINT>(items.size()),
                                        const_cast<LPCITEMIDLIST*>(items.data()), IID_IDataObject, nullptr,
                                        reinterpret_cast<void**>(&object)),
                  S_OK);
        for (LPITEMIDLIST item : items) ItemIdFree(item);
        return object;
    }
    IDataObject* NoteOf() { return ItemsOf(letters_, {MakeItem("note.txt", 1, 5000)}); }
    std::vector<FILEDESCRIPTORA> Descriptors(IDataObject* object)
    {
        FORMATETC format = Format(g_cfFileGroupDescriptor, -1, TYMED_HGLOBAL);
        STGMEDIUM medium{};
        std::vector<FILEDESCRIPTORA> files;
        EXPECT_EQ(object->GetData(&format, &medium), S_OK);
        if (medium.tymed != TYMED_HGLOBAL) return files;
        auto* group = static_cast<FILEGROUPDESCRIPTORA*>(GlobalLock(medium.hGlobal));
        files.assign(group->fgd, group->fgd + group->cItems);
        GlobalUnlock(medium.hGlobal);
        ReleaseStgMedium(&medium);
        return files;
    }
    IStream* Contents(IDataObject* object, LONG index)
    {
        FORMATETC format = Format(g_cfFileContents, index, TYMED_ISTREAM);
        STGMEDIUM medium{};
        EXPECT_EQ(object->GetData(&format, &medium), S_OK);
        EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_ISTREAM));
        return medium.pstm;  // the medium's reference goes to the caller
    }

    const std::string content_ = Pattern(5000);
    SimOnLine sim_{1};
    MessageBoxHook previousBox_;
    int temporaryBefore_;
    ErrorBoxCapture errors_;
    CShellFolder* root_;
    IShellFolder* letters_ = nullptr;
};

TEST_F(DataObjectDevice, ClipboardCopyReadsTheDeviceBytes)
{
    IDataObject* copied = NoteOf();
    ASSERT_TRUE(copied);
    ASSERT_EQ(OleSetClipboard(copied), S_OK);
    copied->Release();

    ComPtr<IDataObject> clipboard;
    ASSERT_EQ(OleGetClipboard(clipboard.put()), S_OK);
    std::vector<FILEDESCRIPTORA> files = Descriptors(clipboard.get());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_STREQ(files[0].cFileName, "note.txt");
    EXPECT_EQ(files[0].dwFlags, 0x7Cu);
    EXPECT_EQ(files[0].nFileSizeLow, 5000u);
    EXPECT_EQ(files[0].dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));

    ComPtr<IStream> stream;
    stream.reset(Contents(clipboard.get(), 0));
    ASSERT_TRUE(stream);
    HRESULT result;
    EXPECT_TRUE(ReadStream(stream.get(), result) == content_) << "the stream differs from the device's file";
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(TemporaryFiles(), temporaryBefore_ + 1);

    // The second pass reads the temporary file: stop the device to prove it.
    sim_.device->Stop();
    LARGE_INTEGER start{};
    ULARGE_INTEGER position{};
    ASSERT_EQ(stream->Seek(start, STREAM_SEEK_SET, &position), S_OK);
    EXPECT_TRUE(ReadStream(stream.get(), result) == content_);

    ComPtr<IStream> again;
    again.reset(Contents(clipboard.get(), 0));
    ASSERT_TRUE(again);
    EXPECT_TRUE(ReadStream(again.get(), result) == content_) << "a second paste of the same copy reads the whole file";
    EXPECT_EQ(TemporaryFiles(), temporaryBefore_ + 1) << "from the one fetched copy";

    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 5000u);
    EXPECT_STREQ(stat.pwcsName, L"R:\\Letters\\note.txt");
    CoTaskMemFree(stat.pwcsName);

    stream.reset();
    again.reset();
    clipboard.reset();
    EXPECT_EQ(OleSetClipboard(nullptr), S_OK);
    EXPECT_EQ(TemporaryFiles(), temporaryBefore_);
}

TEST_F(DataObjectDevice, SelectedFolderBringsItsFiles)
{
    ComPtr<IDataObject> object;
    object.reset(ItemsOf(root_, {MakeItem("R:\\Letters", 2)}));
    ASSERT_TRUE(object);
    std::vector<FILEDESCRIPTORA> files = Descriptors(object.get());
    ASSERT_EQ(files.size(), 3u);
    EXPECT_STREQ(files[0].cFileName, "Letters");
    EXPECT_EQ(files[0].dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(files[0].nFileSizeLow, 0u);
    std::vector<std::string> names{files[1].cFileName, files[2].cFileName};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Letters\\keep.txt", "Letters\\note.txt"}));

    std::vector<std::string> paths;
    ASSERT_EQ(GetDataObjectPaths(object.get(), &paths), S_OK);
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], "R:\\Letters\\");
    EXPECT_EQ(paths[1], std::string("R:\\") + files[1].cFileName);

    FORMATETC pastEnd = Format(g_cfFileContents, 3, TYMED_ISTREAM);
    EXPECT_EQ(object->QueryGetData(&pastEnd), DV_E_FORMATETC);
    FORMATETC wrongMedium = Format(g_cfFileContents, 0, TYMED_HGLOBAL);
    EXPECT_EQ(object->QueryGetData(&wrongMedium), DV_E_TYMED);
    DVTARGETDEVICE device{};
    FORMATETC withDevice = Format(g_cfFileGroupDescriptor, -1, TYMED_HGLOBAL);
    withDevice.ptd = &device;
    STGMEDIUM medium{};
    EXPECT_EQ(object->GetData(&withDevice, &medium), DV_E_DVTARGETDEVICE);

    // An F: folder's identifier carries SYSTEM; on the PC it is a plain folder.
    object.reset(ItemsOf(root_, {MakeItem("F:\\Books", 3)}));
    ASSERT_TRUE(object);
    files = Descriptors(object.get());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(DataObjectDevice, FailedFetchesLeaveNothingAndTryAgain)
{
    ComPtr<IDataObject> object;
    object.reset(NoteOf());
    ComPtr<IStream> stream;
    stream.reset(Contents(object.get(), 0));
    ASSERT_TRUE(stream);

    char byte = 0;
    ULONG read = 7;
    LARGE_INTEGER ten{};
    ten.QuadPart = 10;
    EXPECT_EQ(stream->Seek(ten, STREAM_SEEK_SET, nullptr), E_FAIL) << "nothing is fetched for a seek";
    EXPECT_EQ(stream->Read(nullptr, 1, &read), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Write(&byte, 1, &read), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(read, 0u);

    // The device is gone: the port is taken by another program.
    sim_.line.WithPc([](MemoryLine::PcPort& pc) { pc.heldElsewhere = true; });
    EXPECT_TRUE(FAILED(stream->Read(&byte, 1, &read)));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(TemporaryFiles(), temporaryBefore_);

    // Back again: the next read fetches afresh.
    sim_.line.WithPc([](MemoryLine::PcPort& pc) { pc.heldElsewhere = false; });
    HRESULT result;
    EXPECT_TRUE(ReadStream(stream.get(), result) == content_);

    // The stream outlives the data object that made it.
    object.reset();
    ASSERT_EQ(stream->Seek(ten, STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(stream->Read(&byte, 1, &read), S_OK);
    EXPECT_EQ(byte, content_[10]);
}

TEST_F(DataObjectDevice, MissingDeviceFileGivesAnErrorAndNoFile)
{
    ComPtr<IDataObject> object;
    object.reset(ItemsOf(letters_, {MakeItem("gone.txt", 1, 10)}));
    ComPtr<IStream> stream;
    stream.reset(Contents(object.get(), 0));
    char buffer[16];
    ULONG read = 1;
    EXPECT_TRUE(FAILED(stream->Read(buffer, sizeof buffer, &read)));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(TemporaryFiles(), temporaryBefore_);
}

TEST_F(DataObjectDevice, CutIsDeletedOnlyAfterAReportedMove)
{
    const std::string note = sim_.store.file("R\\Letters\\note.txt");
    auto release = [&](DWORD pasted, DWORD performed) {
        IDataObject* object = NoteOf();
        if (pasted) SetDataDword(object, g_cfPasteSucceeded, pasted);
        if (performed != ~0u) SetDataDword(object, g_cfPerformedDropEffect, performed);
        object->Release();
    };
    release(0, ~0u);  // a copy, or a target that said nothing
    EXPECT_TRUE(TempDir::Exists(note));
    release(DROPEFFECT_COPY, DROPEFFECT_MOVE);
    EXPECT_TRUE(TempDir::Exists(note));
    release(DROPEFFECT_MOVE, DROPEFFECT_COPY);  // the paste copied after all
    EXPECT_TRUE(TempDir::Exists(note));
    release(DROPEFFECT_MOVE, ~0u);  // half a report
    EXPECT_TRUE(TempDir::Exists(note));

    // A target that read half the file and failed reports nothing.
    IDataObject* object = NoteOf();
    IStream* stream = Contents(object, 0);
    char half[2500];
    ULONG read = 0;
    EXPECT_EQ(stream->Read(half, sizeof half, &read), S_OK);
    stream->Release();
    object->Release();
    EXPECT_TRUE(TempDir::Exists(note));

    release(DROPEFFECT_MOVE, DROPEFFECT_MOVE);
    EXPECT_FALSE(TempDir::Exists(note));
    EXPECT_TRUE(TempDir::Exists(sim_.store.file("R\\Letters\\keep.txt")));
}

// The store of formats, without a device.
TEST(DataObjectStore, FormatsStoredEnumeratedAndReplaced)
{
    auto* object = new CDataObject(nullptr, nullptr, 0);
    ASSERT_EQ(SetDataDword(object, g_cfPasteSucceeded, 1), S_OK);
    ASSERT_EQ(SetDataDword(object, g_cfPasteSucceeded, 2), S_OK);
    ASSERT_EQ(SetDataDword(object, g_cfPreferredDropEffect, DROPEFFECT_MOVE), S_OK);
    DWORD value = 0;
    ASSERT_EQ(GetDataDword(object, g_cfPasteSucceeded, &value), S_OK);
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(GetDataDword(object, g_cfPerformedDropEffect, &value), DV_E_FORMATETC);

    IEnumFORMATETC* enumerator = nullptr;
    EXPECT_EQ(object->EnumFormatEtc(DATADIR_SET, &enumerator), E_FAIL);
    EXPECT_EQ(enumerator, nullptr);
    ASSERT_EQ(object->EnumFormatEtc(DATADIR_GET, &enumerator), S_OK);
    FORMATETC formats[3];
    ULONG fetched = 0;
    EXPECT_EQ(enumerator->Next(3, formats, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u) << "the second value replaced the first";
    EXPECT_EQ(formats[0].cfFormat, g_cfPasteSucceeded);
    EXPECT_EQ(formats[1].cfFormat, g_cfPreferredDropEffect);
    EXPECT_EQ(enumerator->Next(2, formats, nullptr), E_INVALIDARG);
    EXPECT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Skip(2), S_FALSE);
    EXPECT_EQ(enumerator->Skip(1), S_OK);
    EXPECT_EQ(enumerator->Skip(0xFFFFFFFF), S_FALSE) << "a count that wraps the index around";
    IEnumFORMATETC* clone = nullptr;
    ASSERT_EQ(enumerator->Clone(&clone), S_OK);
    EXPECT_EQ(clone->Next(1, formats, nullptr), S_OK);
    EXPECT_EQ(formats[0].cfFormat, g_cfPreferredDropEffect);
    clone->Release();
    enumerator->Release();

    // A copied medium stays the caller's; one handed over is not copied.
    HGLOBAL mine = GlobalAlloc(GMEM_FIXED, 4);
    *static_cast<DWORD*>(mine) = 7;
    FORMATETC format = Format(g_cfPerformedDropEffect, -1, TYMED_HGLOBAL);
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = mine;
    ASSERT_EQ(object->SetData(&format, &medium, FALSE), S_OK);
    *static_cast<DWORD*>(mine) = 8;
    EXPECT_EQ(GetDataDword(object, g_cfPerformedDropEffect, &value), S_OK);
    EXPECT_EQ(value, 7u);
    GlobalFree(mine);

    IDataObjectAsyncCapability* async = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IDataObjectAsyncCapability, reinterpret_cast<void**>(&async)), S_OK);
    BOOL flag = TRUE;
    EXPECT_EQ(async->InOperation(&flag), S_OK);
    EXPECT_FALSE(flag);
    async->SetAsyncMode(TRUE);
    async->StartOperation(nullptr);
    EXPECT_EQ(async->InOperation(&flag), S_OK);
    EXPECT_TRUE(flag);
    EXPECT_EQ(async->GetAsyncMode(nullptr), E_POINTER);
    async->Release();
    EXPECT_EQ(object->Release(), 0u);
}

}  // namespace

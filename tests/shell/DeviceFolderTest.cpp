// The folder over the stand-in note-taker, the real OLE clipboard, and windows on their own threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "devicefiles/DeviceThread.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "foundation/ScopedHandle.h"
#include "foundation/Ticks.h"
#include "resources/resource.h"
#include "shell/CClassFactory.h"
#include "shell/CDataObject.h"
#include "shell/CShellFolder.h"
#include "shell/ClipFormats.h"
#include "shell/Guids.h"
#include "shell/Paste.h"
#include "shell/ShellIdList.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/DialogWatch.h"
#include "tests/support/SimOnLine.h"
#include "tests/support/TempDir.h"

namespace {

// `result` given: the enumeration's answer goes there; else it must succeed.
Names ListNames(IShellFolder* folder, SHCONTF flags, HWND window = nullptr, HRESULT* result = nullptr)
{
    ComPtr<IEnumIDList> enumerator;
    const HRESULT hr = folder->EnumObjects(window, flags, enumerator.put());
    if (result) *result = hr;
    else EXPECT_EQ(hr, S_OK);
    Names names;
    LPITEMIDLIST item;
    char name[MAX_PATH];
    while (enumerator && enumerator->Next(1, &item, nullptr) == S_OK) {
        ItemIdHolder owned(item);
        names.emplace_back(ItemIdName(item, name, sizeof name));
    }
    return names;
}

Names Sorted(Names names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// A window of the calling thread, as each of Explorer's windows has its own.
HWND OwnWindow() { return CreateWindowA("STATIC", "", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr); }

FORMATETC Format(UINT16 format, LONG index = -1, DWORD tymed = TYMED_HGLOBAL)
{
    return FORMATETC{format, nullptr, DVASPECT_CONTENT, index, tymed};
}

// A drop of the source's CF_HDROP, as a drop target hands it over.
HRESULT PasteDrop(IDataObject* source, CShellFolder& folder, HWND window, DWORD* effect)
{
    DropRequest request{};
    request.dataObject = source;
    request.format = Format(CF_HDROP);
    request.effect = effect;
    ScopedMedium medium;
    EXPECT_EQ(source->GetData(&request.format, medium.put()), S_OK);
    request.medium = *medium;  // borrowed, as a drop target lends it
    return PasteDataObject(folder, window, folder.DeviceList(), &request);
}

// The stream's bytes to its end; a failed read ends the reading.
std::string ReadStream(IStream* stream)
{
    std::string bytes;
    char piece[1000];
    ULONG read = 0;
    HRESULT result;
    while ((result = stream->Read(piece, sizeof piece, &read)) == S_OK && read > 0) bytes.append(piece, read);
    EXPECT_EQ(result, S_OK);
    return bytes;
}

const FORMATETC kPasteFormats[] = {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};

class DeviceFolder : public ::testing::Test {
protected:
    DeviceFolder()
    {
        sim_.put("R\\Letters\\note.txt", content_);
        sim_.put("R\\Letters\\keep.txt", "keep");
        sim_.put("special\\Clock", "");
        letters_ = BindFolder(root_.get(), "R:\\Letters");
        SetPasteFormats(kPasteFormats, ARRAYSIZE(kPasteFormats));
    }
    ~DeviceFolder() override
    {
        DestroyWindow(window_);
        OleSetClipboard(nullptr);
        SetPasteFormats(nullptr, 0);
    }
    CShellFolder* Letters() const { return static_cast<CShellFolder*>(letters_.get()); }
    ComPtr<IDataObject> ItemsOf(IShellFolder* folder, LPITEMIDLIST made)
    {
        ItemIdHolder item(made);
        LPCITEMIDLIST items[] = {item.get()};
        ComPtr<IDataObject> object;
        EXPECT_EQ(folder->GetUIObjectOf(nullptr, 1, items, IID_IDataObject, nullptr, object.putVoid()), S_OK);
        return object;
    }
    ComPtr<IDataObject> Note() { return ItemsOf(letters_.get(), MakeItem("note.txt", kFile, 5000)); }
    static std::vector<FILEDESCRIPTORA> Descriptors(IDataObject* object)
    {
        FORMATETC format = Format(g_cfFileGroupDescriptor);
        ScopedMedium medium;
        EXPECT_EQ(object->GetData(&format, medium.put()), S_OK);
        if ((*medium).tymed != TYMED_HGLOBAL) return {};
        auto* group = static_cast<FILEGROUPDESCRIPTORA*>(GlobalLock((*medium).hGlobal));
        std::vector<FILEDESCRIPTORA> files(group->fgd, group->fgd + group->cItems);
        GlobalUnlock((*medium).hGlobal);
        return files;
    }
    static ComPtr<IStream> Contents(IDataObject* object, LONG index)
    {
        FORMATETC format = Format(g_cfFileContents, index, TYMED_ISTREAM);
        STGMEDIUM medium{};
        EXPECT_EQ(object->GetData(&format, &medium), S_OK);
        EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_ISTREAM));
        return ComPtr<IStream>(medium.pstm);  // the medium's reference goes to the caller
    }
    std::string PcFile(const std::string& name, const std::string& bytes)
    {
        EXPECT_TRUE(TempDir::WriteAll(pc_.file(name), bytes));
        return pc_.file(name);
    }
    // Puts the source on the clipboard, as the only owner's, and pastes the clipboard into the folder.
    HRESULT PasteFromClipboard(CDataObject* source, CShellFolder& folder)
    {
        EXPECT_EQ(OleSetClipboard(source), S_OK);
        source->Release();
        DropRequest request{};
        return Settled(PasteDataObject(folder, window_, folder.DeviceList(), &request));
    }
    // The stand-in writes a sent file before it hears the next command: a listing.
    HRESULT Settled(HRESULT hr)
    {
        ListNames(letters_.get(), SHCONTF_NONFOLDERS);
        return hr;
    }
    // The effect the drop answered; the paste has run.
    DWORD PasteDropped(IDataObject* source, DWORD effect)
    {
        EXPECT_EQ(PasteDrop(source, *Letters(), window_, &effect), S_OK);
        RunPostedPastes();
        return effect;
    }
    bool Exists(const std::string& relative) { return TempDir::Exists(sim_.path(relative)); }

    const std::string content_ = Pattern(5000, 9);
    SimOnLine sim_{1, {"R", "R\\Letters", "F", "F\\Books", "special"}};
    TempDir pc_;
    MessageBoxCapture boxes_;
    ComPtr<CShellFolder> root_{new CShellFolder(nullptr, nullptr)};
    ComPtr<IShellFolder> letters_;
    // The pasting window: its thread is shown the progress and the device's words.
    HWND window_ = OwnWindow();
};

// A rename the device cannot take is refused before the device is asked.
TEST_F(DeviceFolder, ListsBindsNamesAndRenamesDeviceItems)
{
    ItemIdHolder letters(MakeItem("R:\\Letters", kFolderR)), note(MakeItem("note.txt", kFile, 5000));
    STRRET name;
    ASSERT_EQ(root_->GetDisplayNameOf(letters.get(), SHGDN_NORMAL, &name), S_OK);
    EXPECT_EQ(Wide(name), "R:\\Letters\\") << "no model known yet";
    EXPECT_EQ(ListNames(root_.get(), SHCONTF_FOLDERS | SHCONTF_NONFOLDERS), (Names{"Letters", "Books", "Clock"}));
    EXPECT_EQ(Sorted(ListNames(letters_.get(), SHCONTF_NONFOLDERS)), (Names{"keep.txt", "note.txt"}));
    // Listing identified the model: names now carry it.
    const std::string model = SimDevice::ModelName(5);
    ASSERT_EQ(letters_->GetDisplayNameOf(note.get(), SHGDN_NORMAL, &name), S_OK);
    EXPECT_EQ(Wide(name), model + ":R:\\Letters\\note.txt");

    LPITEMIDLIST renamed = reinterpret_cast<LPITEMIDLIST>(1);
    std::wstring tooLong(261, L'a');
    EXPECT_EQ(letters_->SetNameOf(nullptr, note.get(), tooLong.c_str(), SHGDN_NORMAL, &renamed), E_UNEXPECTED);
    // A separator names another folder; a letter the code page lacks arrives as a look-alike.
    for (const wchar_t* refused : {L"a\\b", L"a/b", L"c:d", L"\u0101bc"}) {
        EXPECT_EQ(letters_->SetNameOf(window_, note.get(), refused, SHGDN_NORMAL, &renamed),
                  HRESULT_FROM_WIN32(ERROR_INVALID_NAME));
        EXPECT_EQ(boxes_.texts.back().substr(0, 26), "The name was not changed: ") << Utf8(refused);
    }
    EXPECT_EQ(boxes_.texts.size(), 4u);
    EXPECT_EQ(sim_.device->CommandCount('N'), 0) << "the device was not asked";
    ASSERT_EQ(letters_->SetNameOf(nullptr, note.get(), L"memo.txt", SHGDN_NORMAL, &renamed), S_OK);
    ItemIdHolder owned(renamed);
    EXPECT_EQ(ItemIdFileSize(renamed), 5000u) << "the new identifier keeps the old data";
    EXPECT_TRUE(sim_.read("R\\Letters\\memo.txt") == content_);
}

// What GetDisplayNameOf gives for editing or the address bar parses back.
TEST_F(DeviceFolder, ParsedNamesComeBackAsTheirItems)
{
    CreateDirectoryA(sim_.path("R\\Letters\\Old").c_str(), nullptr);
    sim_.put("R\\Letters\\Old\\deep.txt", "deep");
    const struct {
        const wchar_t* name;
        const char* path;  // null: not found
    } rows[] = {
        {L"r:\\letters", "R:\\Letters\\"},
        {L"Clock", "Clock\\"},
        {L"R:\\Letters\\Old\\deep.txt", "R:\\Letters\\Old\\deep.txt"},
        {L"Letters", nullptr},                                        // no drive at the root
        {L"Pellor\\R:\\Letters\\note.txt", "R:\\Letters\\note.txt"},  // the address bar's form
    };
    for (const auto& row : rows) {
        LPITEMIDLIST list = reinterpret_cast<LPITEMIDLIST>(1);
        ULONG eaten = 0, attributes = SFGAO_FOLDER;
        HRESULT hr =
            root_->ParseDisplayName(nullptr, nullptr, const_cast<LPOLESTR>(row.name), &eaten, &list, &attributes);
        ItemIdHolder owned(list);
        if (!row.path) {
            EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
            EXPECT_EQ(list, nullptr);
            continue;
        }
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(PathOf(list), row.path);
        EXPECT_EQ(eaten, wcslen(row.name));
        EXPECT_EQ(attributes != 0, ItemIdIsDeviceFolder(list)) << "the clock is no folder";
    }
}

// The class object registered here, so the desktop's parse reaches a root folder; the shell first
// looks for the class's server key, made in the test's prefix when absent and removed again.
class RegisteredClass {
public:
    RegisteredClass() : made_(RegOpenKeyA(HKEY_CLASSES_ROOT, kKey, &key_) != ERROR_SUCCESS)
    {
        if (made_) RegCreateKeyA(HKEY_CLASSES_ROOT, kKey, &key_);
        RegCloseKey(key_);
        CoRegisterClassObject(CLSID_Pellor, ComPtr<CClassFactory>{new CClassFactory}.get(), CLSCTX_INPROC_SERVER,
                              REGCLS_MULTIPLEUSE, &cookie_);
    }
    ~RegisteredClass()
    {
        CoRevokeClassObject(cookie_);
        if (made_) RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID\\" PELLOR_CLSID_TEXT);
    }

private:
    static constexpr char kKey[] = "CLSID\\" PELLOR_CLSID_TEXT "\\InprocServer32";
    HKEY key_ = nullptr;
    DWORD cookie_ = 0;
    bool made_;
};

// The parsing name through the desktop, and the address bar's form through the root, come back as
// their item; an id below a renamed folder stays good behind the parent's new id.
TEST_F(DeviceFolder, ParsingNamesTypedBackOpenTheSameItemAndIdsOutliveAParentsRename)
{
    CreateDirectoryA(sim_.path("R\\Letters\\Old").c_str(), nullptr);
    sim_.put("R\\Letters\\Old\\deep.txt", "deep");
    RegisteredClass registered;
    ComPtr<IShellFolder> desktop;
    ASSERT_EQ(SHGetDesktopFolder(desktop.put()), S_OK);
    ItemIdHolder old(JoinItems({MakeItem("Letters", kFolderR), MakeItem("Old", kFolderR)}));
    ItemIdHolder file(JoinItems({MakeItem("Letters", kFolderR), MakeItem("Old", kFolderR), MakeItem("deep.txt", 1)}));
    for (LPCITEMIDLIST item : {old.get(), file.get()}) {
        STRRET parsing{}, friendly{};
        ASSERT_EQ(root_->GetDisplayNameOf(item, SHGDN_FORPARSING, &parsing), S_OK);
        ASSERT_EQ(root_->GetDisplayNameOf(item, SHGDN_FORPARSING | SHGDN_FORADDRESSBAR, &friendly), S_OK);
        std::wstring friendlyName = WideFromUtf8(Wide(friendly)), parsingName = WideFromUtf8(Wide(parsing));
        EXPECT_EQ(Utf8(friendlyName.c_str()).substr(0, 21), "Pellor\\R:\\Letters\\Old");
        ShellIdList absolute;
        ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, &parsingName[0], nullptr, absolute.put(), nullptr), S_OK);
        EXPECT_EQ(PathOf(ILGetNext(ILGetNext(absolute.get()))), PathOf(item)) << "after This PC's and the root's ids";
        LPITEMIDLIST parsed = nullptr;
        ASSERT_EQ(root_->ParseDisplayName(nullptr, nullptr, &friendlyName[0], nullptr, &parsed, nullptr), S_OK);
        ItemIdHolder owned(parsed);
        EXPECT_EQ(root_->CompareIDs(0, parsed, item), S_OK) << PathOf(item);
    }
    LPITEMIDLIST listed = nullptr, renamed = nullptr;  // Old's id as the device lists it
    ASSERT_EQ(letters_->ParseDisplayName(nullptr, nullptr, const_cast<LPOLESTR>(L"Old"), nullptr, &listed, nullptr),
              S_OK);
    ItemIdHolder oldId(listed), letters(ILCloneFirst(old.get()));
    ASSERT_EQ(root_->SetNameOf(nullptr, letters.get(), L"Mail", SHGDN_NORMAL, &renamed), S_OK);
    ItemIdHolder mail(renamed), moved(ItemIdConcat(mail.get(), oldId.get()));
    ComPtr<IShellFolder> bound;
    ASSERT_EQ(root_->BindToObject(moved.get(), nullptr, IID_IShellFolder, bound.putVoid()), S_OK);
    EXPECT_EQ(ListNames(bound.get(), SHCONTF_NONFOLDERS), Names{"deep.txt"});
}

// A copy of several items leaves out, and names, the clock and an F: folder named like one of R:.
TEST_F(DeviceFolder, ACopyLeavesOutAndNamesTheClockAndAnFNamesake)
{
    CreateDirectoryA(sim_.path("F\\Letters").c_str(), nullptr);
    ItemIdHolder clock(MakeItem("Clock", kSpecial)), letters(MakeItem("Letters", kFolderR));
    ItemIdHolder namesake(MakeItem("Letters", kFolderF)), books(MakeItem("Books", kFolderF));
    LPCITEMIDLIST items[] = {clock.get(), letters.get(), namesake.get(), books.get()};
    ComPtr<IDataObject> object;
    ASSERT_EQ(root_->GetUIObjectOf(window_, 4, items, IID_IDataObject, nullptr, object.putVoid()), S_OK);
    EXPECT_EQ(Descriptors(object.get()).size(), 4u) << "Letters and its two files, Books";
    EXPECT_EQ(boxes_.texts, Names{"Not attempted:\nClock\nF:\\Letters (a folder of F: that cannot be read: R: has a "
                                  "folder of the same name, and over the cable the notetaker names both alike)"});
}

TEST_F(DeviceFolder, ClipboardCopyReadsTheDeviceBytesAndFailedFetchesTryAgain)
{
    ASSERT_EQ(OleSetClipboard(Note().get()), S_OK);
    ComPtr<IDataObject> clipboard;
    ASSERT_EQ(OleGetClipboard(clipboard.put()), S_OK);
    std::vector<FILEDESCRIPTORA> files = Descriptors(clipboard.get());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_STREQ(files[0].cFileName, "note.txt");
    const DWORD kDescribed = FD_ATTRIBUTES | FD_CREATETIME | FD_ACCESSTIME | FD_WRITESTIME | FD_FILESIZE;
    EXPECT_EQ(files[0].dwFlags, kDescribed);
    EXPECT_EQ(files[0].nFileSizeLow, 5000u);
    FILETIME local{};
    SYSTEMTIME written{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&files[0].ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &written));
    EXPECT_EQ((std::vector<WORD>{written.wYear, written.wMonth, written.wDay, written.wHour, written.wMinute}),
              (std::vector<WORD>{2026, 12, 4, 14, 5}))
        << "the device's local time, carried as UTC";

    ComPtr<IStream> stream = Contents(clipboard.get(), 0);
    ASSERT_TRUE(stream);
    char byte = 0;
    ULONG read = 7;
    const LARGE_INTEGER ten{{10, 0}};
    const LARGE_INTEGER zero{};
    ULARGE_INTEGER at{};  // Explorer seeks to the end to learn the size: the listed one, nothing fetched
    EXPECT_TRUE(stream->Seek(zero, STREAM_SEEK_END, &at) == S_OK && at.QuadPart == content_.size()) << at.QuadPart;
    EXPECT_EQ(stream->Seek(zero, STREAM_SEEK_SET, &at), S_OK);
    // The device is gone: the port is taken by another program.
    sim_.line.WithPc([](MemoryLine::PcPort& pc) { pc.heldElsewhere = true; });
    EXPECT_TRUE(FAILED(stream->Read(&byte, 1, &read)));
    EXPECT_EQ(read, 0u);
    sim_.line.WithPc([](MemoryLine::PcPort& pc) { pc.heldElsewhere = false; });
    EXPECT_TRUE(ReadStream(stream.get()) == content_) << "back again, the next read fetches afresh";
    sim_.device->Stop();
    ComPtr<IStream> again = Contents(clipboard.get(), 0);
    ASSERT_TRUE(again);
    EXPECT_TRUE(ReadStream(again.get()) == content_) << "a second paste reads the whole fetched copy, not the device";
    clipboard.reset();
    OleSetClipboard(nullptr);
    ASSERT_EQ(stream->Seek(ten, STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(stream->Read(&byte, 1, &read), S_OK);
    EXPECT_EQ(byte, content_[10]) << "the stream outlives the data object that made it";
}

// The first read of a copy-out fetches all its files, behind one progress window whose Cancel stops the rest.
TEST_F(DeviceFolder, ACopyOutOfSeveralFilesShowsOneProgressWindow)
{
    DialogWatch dialogs;
    ItemIdHolder note(MakeItem("note.txt", kFile, 5000)), keep(MakeItem("keep.txt", kFile, 4));
    LPCITEMIDLIST items[] = {note.get(), keep.get()};
    ComPtr<IDataObject> object;
    ASSERT_EQ(letters_->GetUIObjectOf(window_, 2, items, IID_IDataObject, nullptr, object.putVoid()), S_OK);
    EXPECT_TRUE(ReadStream(Contents(object.get(), 0).get()) == content_);
    EXPECT_EQ(ReadStream(Contents(object.get(), 1).get()), "keep");
    EXPECT_EQ(dialogs.Count(), 1);
    sim_.line.SetHook([](MemoryLine::Side from, uint64_t, MemoryLine::ByteFate& fate) {
        HWND dialog = from == MemoryLine::Side::Pc ? FindWindowA(nullptr, "Receiving file(s)") : nullptr;
        if (fate.value == 'C' && dialog) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    ASSERT_EQ(letters_->GetUIObjectOf(window_, 2, items, IID_IDataObject, nullptr, object.putVoid()), S_OK);
    char byte;
    EXPECT_EQ(Contents(object.get(), 0)->Read(&byte, 1, nullptr), HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_EQ(Contents(object.get(), 1)->Read(&byte, 1, nullptr), HRESULT_FROM_WIN32(ERROR_CANCELLED));
    sim_.line.SetHook(nullptr);
    EXPECT_EQ(dialogs.Count(), 2);
    while (DeviceAsk(nullptr, [](CNotetaker&) { return 0; }).code == CNotetaker::ERR_BUSY) Sleep(10);  // the CANs owed
}

// A cut goes from the device when its target, still holding the object, reports the move of what it read whole.
TEST_F(DeviceFolder, CutIsDeletedWhenTheTargetReportsTheMove)
{
    const UINT16 kEnd = 0, kFailedEnd = 1, pasted = g_cfPasteSucceeded, performed = g_cfPerformedDropEffect;
    const DWORD kMove = DROPEFFECT_MOVE, kCopy = DROPEFFECT_COPY, kNone = DROPEFFECT_NONE;
    const struct {
        std::vector<std::pair<UINT16, DWORD>> reports;  // formats set in order, or EndOperation's effect
        size_t read;                                    // bytes of the stream the target read
        bool deleted;
    } rows[] = {
        {{}, 5000, false},                                     // a copy, or a target that said nothing
        {{{performed, kCopy}, {pasted, kMove}}, 5000, false},  // the paste copied after all
        {{{performed, kMove}, {pasted, kMove}}, 5000, true},   // Explorer's paste of a cut
        {{{performed, kNone}, {pasted, kMove}}, 5000, false},  // an optimized move: the target's own doing
        {{{performed, kMove}, {pasted, kMove}}, 4999, false},  // the target stopped one byte short
        {{{kEnd, kMove}}, 5000, true},                         // the copy engine, at the end of its own thread's work
        {{{kEnd, kMove}}, 0, false},                           // ... which never read the file
        {{{kFailedEnd, kMove}}, 5000, false},
    };
    for (size_t index = 0; index < std::size(rows); ++index) {
        sim_.put("R\\Letters\\note.txt", content_);
        ComPtr<IDataObject> object = Note();
        ComPtr<IDataObjectAsyncCapability> async;
        ASSERT_EQ(object->QueryInterface(IID_IDataObjectAsyncCapability, async.putVoid()), S_OK);
        EXPECT_EQ(Descriptors(object.get()).size(), 1u) << "the target reads what it is given";
        ComPtr<IStream> stream = Contents(object.get(), 0);
        std::string bytes(rows[index].read, '\0');
        EXPECT_EQ(bytes.empty() ? S_OK : stream->Read(&bytes[0], static_cast<ULONG>(bytes.size()), nullptr), S_OK);
        for (const auto& report : rows[index].reports) {
            if (report.first == kEnd || report.first == kFailedEnd)
                async->EndOperation(report.first == kEnd ? S_OK : E_FAIL, nullptr, report.second);
            else SetDataDword(object.get(), report.first, report.second);
        }
        EXPECT_EQ(!Exists("R\\Letters\\note.txt"), rows[index].deleted) << "row " << index;
        object.reset();
        async.reset();
        EXPECT_EQ(!Exists("R\\Letters\\note.txt"), rows[index].deleted) << "row " << index << " at its release";
    }
    EXPECT_TRUE(Exists("R\\Letters\\keep.txt"));
}

// Listed only when the copy engine asks for the files, read on its own thread.
TEST_F(DeviceFolder, SelectedFolderBringsItsFilesToTheCopyEngineOnItsOwnThread)
{
    const int listings = sim_.device->CommandCount('F');
    ComPtr<IDataObject> object = ItemsOf(root_.get(), MakeItem("R:\\Letters", kFolderR));
    ComPtr<IDataObjectAsyncCapability> async;
    ASSERT_EQ(object->QueryInterface(IID_IDataObjectAsyncCapability, async.putVoid()), S_OK);
    BOOL flag = FALSE;
    EXPECT_EQ(async->GetAsyncMode(&flag), S_OK);
    EXPECT_TRUE(flag) << "Explorer copies on a thread of its own only when the source allows it";
    FORMATETC wide = Format(g_cfFileGroupDescriptorW);
    EXPECT_EQ(object->QueryGetData(&wide), S_OK);
    EXPECT_EQ(sim_.device->CommandCount('F'), listings) << "nothing is listed before a target asks for the files";

    ASSERT_EQ(async->StartOperation(nullptr), S_OK);
    std::vector<FILEDESCRIPTORA> files = Descriptors(object.get());
    EXPECT_GT(sim_.device->CommandCount('F'), listings);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_STREQ(files[0].cFileName, "Letters");
    EXPECT_EQ(files[0].dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(Sorted({files[1].cFileName, files[2].cFileName}), (Names{"Letters\\keep.txt", "Letters\\note.txt"}));

    // An F: folder's identifier carries SYSTEM; on the PC it is a plain folder.
    files = Descriptors(ItemsOf(root_.get(), MakeItem("F:\\Books", kFolderF)).get());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    std::string bytes;
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const bool noteFirst = strcmp(files[1].cFileName, "Letters\\note.txt") == 0;
        if (ComPtr<IStream> stream = Contents(object.get(), noteFirst ? 1 : 2)) bytes = ReadStream(stream.get());
        CoUninitialize();
    }).join();
    EXPECT_TRUE(bytes == content_) << "read on the copy engine's thread: " << bytes.size() << " bytes";
    EXPECT_EQ(async->EndOperation(S_OK, nullptr, DROPEFFECT_COPY), S_OK);
    EXPECT_TRUE(Exists("R\\Letters\\note.txt")) << "a copy deletes nothing";
}

// Each registered name read back as what it carries (an ANSI descriptor under the wide name fails).
TEST_F(DeviceFolder, FormatsAreOfferedUnderTheirRegisteredNamesStoredEnumeratedAndReplaced)
{
    ComPtr<IDataObject> object = Note();
    SetDataDword(object.get(), g_cfPerformedDropEffect, DROPEFFECT_LINK);
    const struct {
        const char* name;
        LONG index;
        std::string content;  // a descriptor's first name, the stream's bytes or the DWORD
    } rows[] = {
        {"FileGroupDescriptorW", -1, "note.txt"}, {"FileContents", 0, content_}, {"Performed DropEffect", -1, "4"}};
    for (const auto& row : rows) {
        FORMATETC format = Format(static_cast<UINT16>(RegisterClipboardFormatA(row.name)), row.index, ~0u);
        ScopedMedium medium;
        ASSERT_EQ(object->GetData(&format, medium.put()), S_OK) << row.name;
        const bool global = (*medium).tymed == TYMED_HGLOBAL;
        auto* data = global ? static_cast<const BYTE*>(GlobalLock((*medium).hGlobal)) : nullptr;
        const std::string content =
            !data                 ? ReadStream((*medium).pstm)
            : row.name[19] == 'W' ? Utf8(reinterpret_cast<const FILEGROUPDESCRIPTORW*>(data)->fgd[0].cFileName)
            : row.name[4] == 'G'  ? reinterpret_cast<const FILEGROUPDESCRIPTORA*>(data)->fgd[0].cFileName
                                  : std::to_string(*reinterpret_cast<const DWORD*>(data));
        if (global) GlobalUnlock((*medium).hGlobal);
        EXPECT_TRUE(content == row.content) << row.name << " carries " << content.substr(0, 20);
    }

    // The store of formats, without a device.
    ComPtr<CDataObject> store{new CDataObject(nullptr)};
    ASSERT_EQ(SetDataDword(store.get(), g_cfPasteSucceeded, 1), S_OK);
    ASSERT_EQ(SetDataDword(store.get(), g_cfPasteSucceeded, 2), S_OK);
    ComPtr<IEnumFORMATETC> enumerator;
    ASSERT_EQ(store->EnumFormatEtc(DATADIR_GET, enumerator.put()), S_OK);
    FORMATETC formats[2];
    ULONG fetched = 0;
    EXPECT_EQ(enumerator->Next(2, formats, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u) << "the second value replaced the first";

    // A shared stream keeps a reference of the store's own beside its owner's: both go with the copy.
    ComPtr<IStream> stream, owner;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()) | CreateStreamOnHGlobal(nullptr, TRUE, owner.put()),
              S_OK);
    STGMEDIUM shared{TYMED_ISTREAM};
    shared.pstm = stream.get();
    shared.pUnkForRelease = owner.get();
    FORMATETC streamFormat =
        Format(static_cast<UINT16>(RegisterClipboardFormatA("Pellor test stream")), -1, TYMED_ISTREAM);
    ASSERT_EQ(store->SetData(&streamFormat, &shared, FALSE), S_OK);
    stream->AddRef();
    EXPECT_EQ(stream->Release(), 2u) << "the store's copy holds no reference of its own";
}

// Files from two PC folders (the second one's path shorter than the first's folder) go into one.
TEST_F(DeviceFolder, FilesFromTheClipboardAndFolderDropTargetsGoIntoTheirFolder)
{
    for (const char* folder : {"docs", "docs\\sub", "a", "a\\long folder name", "a\\long folder name\\deeper"})
        CreateDirectoryA(pc_.file(folder).c_str(), nullptr);
    PcFile("docs\\a.txt", Pattern(3000, 1));
    PcFile("docs\\sub\\x.bin", Pattern(70000, 2));
    EXPECT_EQ(PasteFromClipboard(PcFiles({pc_.file("docs")}), *root_.get()), S_OK);
    EXPECT_TRUE(sim_.read("R\\docs\\a.txt") == Pattern(3000, 1)) << "the bytes on the device differ";
    EXPECT_TRUE(sim_.read("R\\docs\\sub\\x.bin") == Pattern(70000, 2));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_HDROP)) << "a copied list stays for the next paste";
    Names two{PcFile("a\\long folder name\\deeper\\one.txt", Pattern(1024, 4)), PcFile("two.txt", Pattern(1025, 5))};
    EXPECT_EQ(PasteFromClipboard(PcFiles(two), *Letters()), S_OK);
    EXPECT_TRUE(sim_.read("R\\Letters\\one.txt") == Pattern(1024, 4));
    EXPECT_TRUE(sim_.read("R\\Letters\\two.txt") == Pattern(1025, 5));

    CDataObject* cut = PcFiles({PcFile("cut.txt", "cut")});  // a cut: the paste moves it itself
    SetDataDword(cut, g_cfPreferredDropEffect, DROPEFFECT_MOVE);
    EXPECT_EQ(PasteFromClipboard(cut, *Letters()), S_OK);
    EXPECT_FALSE(TempDir::Exists(pc_.file("cut.txt")) || IsClipboardFormatAvailable(CF_HDROP)) << "moved, list gone";
    // A move from a source that reads on the dropping thread: the paste deletes the PC file itself.
    ComPtr<CDataObject> source{PcFiles({PcFile("moved.txt", "moved")})};
    source->SetAsyncMode(FALSE);
    EXPECT_EQ(PasteDropped(source.get(), DROPEFFECT_MOVE), static_cast<DWORD>(DROPEFFECT_COPY))
        << "the source deletes nothing itself";
    EXPECT_EQ(sim_.read("R\\Letters\\moved.txt"), "moved");
    EXPECT_FALSE(TempDir::Exists(pc_.file("moved.txt"))) << "listed whole on the device, so moved";

    // Explorer's folder tree asks for an item's drop target: it drops into that folder.
    ItemIdHolder letters(MakeItem("R:\\Letters", kFolderR));
    LPCITEMIDLIST items[] = {letters.get()};
    ComPtr<IDropTarget> target;
    ASSERT_EQ(root_->GetUIObjectOf(nullptr, 1, items, IID_IDropTarget, nullptr, target.putVoid()), S_OK);
    ComPtr<CDataObject> files{PcFiles({PcFile("three.txt", Pattern(2000, 7))})};
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    POINTL point{0, 0};
    EXPECT_EQ(target->DragEnter(files.get(), 0, point, &effect), S_OK);
    EXPECT_EQ(target->Drop(files.get(), 0, point, &effect), S_OK);
    RunPostedPastes();
    EXPECT_TRUE(sim_.read("R\\Letters\\three.txt") == Pattern(2000, 7));
    EXPECT_EQ(boxes_.texts, Names{});
}

TEST_F(DeviceFolder, FailuresAndLeftOutNamesStopOrSkipAndAreNotReportedAsMoved)
{
    Names paths;
    for (int i = 1; i <= 5; ++i) paths.push_back(PcFile("f" + std::to_string(i) + ".txt", std::to_string(i)));
    DeleteFileA(paths[2].c_str());  // gone between copy and paste
    ComPtr<CDataObject> source{PcFiles(paths)};
    source->SetAsyncMode(FALSE);
    EXPECT_EQ(PasteDropped(source.get(), DROPEFFECT_MOVE), static_cast<DWORD>(DROPEFFECT_COPY))
        << "the source must not delete what the device never got";
    EXPECT_EQ(sim_.read("R\\Letters\\f1.txt") + sim_.read("R\\Letters\\f2.txt"), "12");
    for (const char* unsent : {"R\\Letters\\f3.txt", "R\\Letters\\f4.txt", "R\\Letters\\f5.txt"})
        EXPECT_FALSE(Exists(unsent)) << unsent;
    EXPECT_FALSE(TempDir::Exists(paths[0]) || TempDir::Exists(paths[1])) << "what went was moved";
    EXPECT_TRUE(TempDir::Exists(paths[3]) && TempDir::Exists(paths[4])) << "what did not go stays";
    EXPECT_EQ(boxes_.texts.size(), 1u);
    DWORD pasted = 0;
    EXPECT_TRUE(FAILED(GetDataDword(source.get(), g_cfPasteSucceeded, &pasted))) << "a failed paste reports no move";

    const std::string huge = pc_.file("huge.bin");
    {
        ScopedKernelHandle file(CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        LARGE_INTEGER size;
        size.QuadPart = 0x100000001ll;
        SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN);
        SetEndOfFile(file.get());
    }
    EXPECT_TRUE(FAILED(PasteFromClipboard(PcFiles({huge}), *Letters()))) << "a file over 4 GiB";
    EXPECT_FALSE(Exists("R\\Letters\\huge.bin"));
    EXPECT_EQ(boxes_.texts.size(), 2u) << "refused in words";
    DeleteFileA(huge.c_str());
    boxes_.texts.clear();

    // Virtual files of another namespace are not received.
    ComPtr<CDataObject> virtualFiles{new CDataObject(nullptr)};
    DropRequest request{};
    request.dataObject = virtualFiles.get();
    request.format = Format(g_cfFileGroupDescriptor);
    ScopedMedium descriptor;
    descriptor.get()->tymed = TYMED_HGLOBAL;
    descriptor.get()->hGlobal = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(FILEGROUPDESCRIPTORA));
    request.medium = *descriptor;
    EXPECT_EQ(PasteDataObject(*Letters(), nullptr, Letters()->DeviceList(), &request), E_FAIL);
    EXPECT_EQ(boxes_.texts, Names{}) << "nothing to say of a foreign source";

    // A PC name that the device's ANSI names cannot hold exactly is left out and
    // named; the rest goes on, and a cut of them is not reported as moved.
    ASSERT_NE(GetACP(), static_cast<UINT>(CP_UTF8)) << "a code page that cannot hold every name";
    const std::string zhe = "\xD0\x96.txt", macron = "\xC4\x80.txt";  // none in the code page; a look-alike only
    CreateDirectoryA(pc_.file("docs").c_str(), nullptr);
    for (const std::string& name : {zhe, "docs\\" + macron}) {
        ScopedKernelHandle file(
            CreateFileW(WideFromUtf8(pc_.file(name)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.valid()) << name;
    }
    PcFile("docs\\two.txt", "2");
    ComPtr<CDataObject> named{PcFiles({PcFile("one.txt", "1"), pc_.file(zhe), pc_.file("docs")})};
    PasteDropped(named.get(), DROPEFFECT_MOVE);
    EXPECT_EQ(sim_.read("R\\Letters\\one.txt") + sim_.read("R\\Letters\\docs\\two.txt"), "12");
    ASSERT_EQ(boxes_.texts.size(), 1u);
    for (const std::string& name : {zhe, macron})
        EXPECT_NE(boxes_.texts[0].find(name), std::string::npos) << boxes_.texts[0];
    DWORD namedPasted = 0;
    EXPECT_TRUE(FAILED(GetDataDword(named.get(), g_cfPasteSucceeded, &namedPasted))) << "what stayed behind is no move";
}

// Hears, as a source's folder does, of the move EndOperation reports.
struct MoveSink final : IDataSourceSink {
    explicit MoveSink(SimDevice& device) : device(device) {}
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override { return *ppv = nullptr, E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives on the test's stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP FillFiles(IDataObject*) override { return S_OK; }
    STDMETHODIMP FilesMoved(IDataObject*) override { return listingsAtMove = device.CommandCount('F'), S_OK; }
    SimDevice& device;
    int listingsAtMove = -1;
};

// A source reading on its own thread hears of a move once the device lists the file whole; a short one is named.
TEST_F(DeviceFolder, AnAsynchronousSourceHearsOfTheMoveOnlyOnceTheDeviceListsTheFileWhole)
{
    for (const bool stoodShort : {false, true}) {
        const std::string name = stoodShort ? "short.txt" : "whole.txt", path = PcFile(name, Pattern(3000, 1));
        MoveSink sink(*sim_.device);
        ComPtr<CDataObject> source{PcFiles({path}, &sink)};
        SimFaults faults;
        faults.shortOnce = stoodShort ? name : "";
        sim_.device->SetFaults(faults);
        const int listings = sim_.device->CommandCount('F');
        DWORD effect = DROPEFFECT_MOVE;
        BOOL running = FALSE;
        EXPECT_EQ(PasteDrop(source.get(), *Letters(), window_, &effect), S_OK);
        EXPECT_TRUE(effect == DROPEFFECT_COPY && !Exists("R\\Letters\\" + name)) << "nothing sent, nor moved, yet";
        EXPECT_TRUE(SUCCEEDED(source->InOperation(&running)) && running) << "the operation started";
        RunPostedPastes();
        EXPECT_TRUE(SUCCEEDED(source->InOperation(&running)) && !running) << "and ended";
        EXPECT_EQ(sink.listingsAtMove > listings, !stoodShort) << sink.listingsAtMove;
        EXPECT_TRUE(TempDir::Exists(path)) << "the source deletes its own files";
        EXPECT_EQ(boxes_.texts.size() == 1 && boxes_.texts[0].find(path) != std::string::npos, stoodShort);
        boxes_.texts.clear();
    }
}

// A taken name (any case) is replaced only on Yes; No skips it (a cut is then no move); Cancel stops. Two files
// for one device name are refused, both named; a folder the device would not make takes no files.
TEST_F(DeviceFolder, TakenNamesAreAskedForSharedOnesRefusedAndAFolderNotMadeTakesNoFiles)
{
    for (const char* folder : {"a", "b", "Books"}) CreateDirectoryA(pc_.file(folder).c_str(), nullptr);
    const std::string note = PcFile("note.txt", "new note"), keep = PcFile("KEEP.TXT", "new keep");
    const std::string ask = "Replace R:\\Letters\\", onDevice = " on the note-taker?";
    auto drop = [this](const Names& paths, DWORD effect, CShellFolder* into = nullptr) {
        CDataObject* source = PcFiles(paths);
        SetDataDword(source, g_cfPreferredDropEffect, effect);
        return PasteFromClipboard(source, into ? *into : *Letters());
    };
    boxes_.answer = IDNO;
    EXPECT_EQ(drop({note, PcFile("fresh.txt", "fresh"), keep}, DROPEFFECT_MOVE), S_FALSE);
    EXPECT_EQ(boxes_.texts, (Names{ask + "note.txt" + onDevice, ask + "KEEP.TXT" + onDevice}));
    EXPECT_EQ(sim_.read("R\\Letters\\keep.txt") + sim_.read("R\\Letters\\fresh.txt"), "keepfresh");
    EXPECT_TRUE(sim_.read("R\\Letters\\note.txt") == content_);
    boxes_.answer = IDCANCEL;
    EXPECT_EQ(drop({keep, PcFile("later.txt", "later")}, DROPEFFECT_COPY), HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_FALSE(Exists("R\\Letters\\later.txt"));
    boxes_.answer = IDYES;
    EXPECT_EQ(drop({keep}, DROPEFFECT_COPY), S_OK);
    EXPECT_EQ(sim_.read("R\\Letters\\keep.txt"), "new keep");
    boxes_.texts.clear();
    const std::string a = PcFile("a\\x.txt", "a"), b = PcFile("b\\X.txt", "b");
    EXPECT_EQ(drop({a, b}, DROPEFFECT_COPY), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(Exists("R\\Letters\\x.txt"));
    EXPECT_TRUE(boxes_.texts.size() == 1 && boxes_.texts[0].find(a) < boxes_.texts[0].find(b));
    boxes_.texts.clear();
    PcFile("Books\\in.txt", "in");  // R:\Books would share its name with F:\Books
    EXPECT_TRUE(FAILED(drop({pc_.file("Books")}, DROPEFFECT_COPY, root_.get())));
    EXPECT_EQ(boxes_.texts, Names{ErrorText(&std::string(MAX_PATH, 0)[0], MAX_PATH, CNotetaker::ERR_NAMETAKEN, 0)});
}

// The question itself: Skip its default; Replace with "Do this for all" answers every taken name.
TEST_F(DeviceFolder, TheReplaceQuestionsAnswerForAllIsGivenToTheOtherTakenNames)
{
    const MessageBoxHook capture = SetMessageBoxHook(nullptr);
    std::atomic<bool> pasted{false};
    std::vector<WORD> defaults;  // the default button of each question asked
    std::thread user([&] {
        for (HWND last = nullptr; !pasted; Sleep(25)) {
            HWND dialog = FindWindowA("#32770", "Pellor");
            if (!dialog || dialog == last || !IsWindowVisible(GetDlgItem(dialog, IDC_REPLACE_ALL))) continue;
            last = dialog;
            defaults.push_back(LOWORD(SendMessageA(dialog, DM_GETDEFID, 0, 0)));
            SendMessageA(GetDlgItem(dialog, IDC_REPLACE_ALL), BM_CLICK, 0, 0);
            SendMessageA(GetDlgItem(dialog, defaults.size() == 1 ? IDYES : IDCANCEL), BM_CLICK, 0, 0);
        }
    });
    ComPtr<CDataObject> source{PcFiles({PcFile("note.txt", "new note"), PcFile("keep.txt", "new keep")})};
    EXPECT_EQ(PasteDropped(source.get(), DROPEFFECT_COPY), static_cast<DWORD>(DROPEFFECT_COPY));
    pasted = true;
    user.join();
    SetMessageBoxHook(capture);
    EXPECT_EQ(defaults, std::vector<WORD>{IDNO}) << "asked once, Skip the default";
    EXPECT_EQ(sim_.read("R\\Letters\\note.txt") + sim_.read("R\\Letters\\keep.txt"), "new notenew keep");
}

std::mutex g_boxMutex;
std::vector<DWORD> g_boxThreads;  // the thread of every box shown
int RecordBox(HWND, const char*, const char*, UINT)
{
    std::lock_guard<std::mutex> guard(g_boxMutex);
    g_boxThreads.push_back(GetCurrentThreadId());
    return IDOK;
}

// A paste on one window's thread, the root listed without a window on another: the window answers
// while the bytes go, the windowless caller is shown nothing, and its listing is right or busy.
TEST(DeviceThreads, ATransferLeavesOtherWindowsAnsweringAndWindowlessCallersSilent)
{
    SimOnLine sim(1, {"R", "R\\a", "R\\b", "F"});
    TempDir pc;
    const std::string payload = Pattern(40000, 3);
    ASSERT_TRUE(TempDir::WriteAll(pc.file("big.bin"), payload));
    g_boxThreads.clear();
    const MessageBoxHook previous = SetMessageBoxHook(RecordBox);
    ComPtr<IShellFolder> root{new CShellFolder(nullptr, nullptr)};
    ComPtr<IShellFolder> b = BindFolder(root.get(), "R:\\b");
    ScopedKernelHandle sending(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    sim.line.SetHook([&](MemoryLine::Side from, uint64_t index, MemoryLine::ByteFate&) {
        if (from == MemoryLine::Side::Pc && index > 8000) SetEvent(sending.get());  // well into the file
    });
    sim.line.SetPacing(true);  // 11,520 bytes a second: the file takes seconds
    std::atomic<HWND> pasting{nullptr};
    std::atomic<bool> ended{false};
    std::atomic<DWORD> windowless{0};
    Names listedRoot;
    HRESULT listedRootResult = E_FAIL, pasted = E_FAIL;
    std::thread paster([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        pasting = OwnWindow();
        ComPtr<CDataObject> files{PcFiles({pc.file("big.bin")})};
        pasted = PasteDrop(files.get(), *static_cast<CShellFolder*>(b.get()), pasting, nullptr);
        RunPostedPastes();
        ended = true;
        DestroyWindow(pasting);
        CoUninitialize();
    });
    std::thread navigation([&] {
        windowless = GetCurrentThreadId();
        WaitForSingleObject(sending.get(), INFINITE);
        listedRoot = ListNames(root.get(), SHCONTF_FOLDERS, nullptr, &listedRootResult);
    });
    WaitForSingleObject(sending.get(), INFINITE);
    while (!pasting) Sleep(1);
    // A sent message returns once its window has answered it.
    const bool pasterAnswered = (SendMessageA(pasting, WM_NULL, 0, 0), !ended);
    paster.join();
    navigation.join();
    sim.line.SetHook(nullptr);
    sim.line.SetPacing(false);
    SetMessageBoxHook(previous);
    EXPECT_TRUE(pasterAnswered) << "the pasting window kept answering";
    const HRESULT busy = ErrorHResult(CNotetaker::ERR_BUSY);
    EXPECT_TRUE(listedRootResult == busy || (listedRootResult == S_OK && Sorted(listedRoot) == Names{"R:\\a", "R:\\b"}))
        << listedRootResult;
    EXPECT_EQ(std::count(g_boxThreads.begin(), g_boxThreads.end(), windowless.load()), 0)
        << "no box from the thread without a window";
    EXPECT_EQ(pasted, S_OK);
    EXPECT_TRUE(sim.read("R\\b\\big.bin") == payload) << "the bytes arrived whole";
}

// A clock that moves only when the test moves it.
struct HeldClock final : ITickSource {
    HeldClock() : previous(SetTickSource(this)) {}
    ~HeldClock() override { SetTickSource(previous); }
    DWORD Now() override { return now; }
    void Sleep(DWORD ms) override { ::Sleep(ms); }
    std::atomic<DWORD> now{0x200000};
    ITickSource* previous;
};

// A quick series of listings keeps the port; the idle delay frees it for
// the screen reader, and the next listing opens it and identifies again.
TEST(DeviceThreads, ThePortClosesAfterTheIdleDelayAndOpensAgainForTheNextListing)
{
    HeldClock clock;
    SimOnLine sim(1, {"R", "R\\a", "F"});
    sim.put("R\\a\\n.txt", "n");
    ComPtr<IShellFolder> root{new CShellFolder(nullptr, nullptr)};
    ComPtr<IShellFolder> r = BindFolder(root.get(), "R:\\a");
    EXPECT_EQ(ListNames(r.get(), SHCONTF_NONFOLDERS), Names{"n.txt"});
    const int identified = sim.device->CommandCount('W');
    for (int step = 0; step < 3; ++step) {
        clock.now += kIdleCloseMs - 1;
        EXPECT_EQ(ListNames(r.get(), SHCONTF_NONFOLDERS), Names{"n.txt"});
    }
    EXPECT_TRUE(sim.line.Pc().open);
    EXPECT_EQ(sim.device->CommandCount('W'), identified) << "kept open through the series";
    clock.now += kIdleCloseMs;
    for (int wait = 0; wait < 1000 && sim.line.Pc().open; ++wait) Sleep(10);
    EXPECT_FALSE(sim.line.Pc().open) << "closed after the idle delay";
    EXPECT_EQ(ListNames(r.get(), SHCONTF_NONFOLDERS), Names{"n.txt"});
    EXPECT_EQ(sim.device->CommandCount('W'), identified + 1) << "identified again";
}

}  // namespace

#include "shell/Paste.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <vector>

#include "devicefiles/DeviceName.h"
#include "devicefiles/DeviceThread.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/FolderPath.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "foundation/CriticalSection.h"
#include "resources/resource.h"
#include "shell/CDataObject.h"
#include "shell/CItemList.h"
#include "shell/CShellFolder.h"
#include "shell/ClipFormats.h"
#include "shell/ItemId.h"

namespace {

constexpr DWORD kMove = DROPEFFECT_MOVE;
constexpr UINT kErrorBoxFlags = MB_ICONERROR | MB_TASKMODAL;

bool IsFolderPath(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A PC name in the ANSI code page that the device keeps names in; false
// when a character has no exact form there: the platform would put a
// look-alike or a question mark in its place and send the file under a
// name that is not its own.
bool ToAnsi(const wchar_t* wide, std::string& out)
{
    BOOL usedDefault = FALSE;
    const bool utf8 = GetACP() == CP_UTF8;  // takes neither the flag nor the default's report, and loses nothing
    char text[MAX_PATH];
    int length = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, -1, text, sizeof text, nullptr,
                                     utf8 ? nullptr : &usedDefault);
    if (length == 0 || usedDefault) return false;
    out = text;
    return true;
}

// A folder's entries, except those whose names the device cannot hold.
HRESULT AppendFolderEntries(const std::string& folder, std::vector<std::string>& paths,
                            std::vector<std::wstring>* refused)
{
    WCHAR wideFolder[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, wideFolder, MAX_PATH);
    WIN32_FIND_DATAW found;
    ScopedFind search(FindFirstFileW((std::wstring(wideFolder) + L"\\*").c_str(), &found));
    if (!search.valid()) return HRESULT_FROM_WIN32(GetLastError());
    do {
        if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
        std::string name;
        if (ToAnsi(found.cFileName, name)) paths.push_back(folder + "\\" + name);
        else if (refused) refused->push_back(std::wstring(wideFolder) + L"\\" + found.cFileName);
    } while (FindNextFileW(search.get(), &found));
    return S_OK;
}

// PC names said in words after their intro (a string id), one a line.
void ShowPcNames(HWND owner, UINT intro, const std::vector<std::wstring>& names)
{
    if (names.empty()) return;
    WCHAR text[512] = L"";
    LoadStringW(OwnModule(), intro, text, ARRAYSIZE(text));
    std::wstring shown = text;
    for (const std::wstring& name : names) shown += L"\n" + name;
    ShowMessageTextW(owner, shown.c_str(), kErrorBoxFlags);
}

// The part of `list` below the levels that `prefix` has.
LPCITEMIDLIST Below(LPCITEMIDLIST list, LPCITEMIDLIST prefix)
{
    for (LPCITEMIDLIST level = prefix; list && level && ItemIdLast(level); level = ItemIdNext(level))
        list = ItemIdNext(list);
    return list;
}

int DeviceType(LPCITEMIDLIST target)
{
    int type = ItemIdLast(target) ? ItemIdType(target) : 2;
    return type < 2 ? 2 : type;
}

SYSTEMTIME Now()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    return now;
}

// A question or a box of the paste, owned by the window. Work that runs as
// one request on the device thread (a paste, a delete) has its UI shown by
// the waiting caller's thread, owned by the caller's window.
int OnCaller(HWND window, const std::function<int(HWND owner)>& ui, int fallback)
{
    if (!window) return fallback;
    return OnDeviceThread() ? AskCaller(ui, fallback) : ui(window);
}

void Say(HWND window, const char* words, UINT flags)
{
    OnCaller(window, [&](HWND owner) { return ShowMessageText(owner, words, flags); }, 0);
}

void ShowFailure(HWND window, const DeviceAnswer& answer)
{
    if (answer.Failed()) Say(window, answer.words.c_str(), kErrorBoxFlags);
}

std::string LastComponent(const char* path)
{
    const char* last = strrchr(path, '\\');
    return last ? last + 1 : path;
}

std::string ParentOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

// A file the paste sent, looked for in the device's listing after a move.
struct SentFile {
    std::string pcPath;
    std::string deviceFolder;  // with its closing backslash
    std::string name;          // as the device keeps it
    DWORD size;
};

using SharedList = std::shared_ptr<ITEMIDLIST>;
SharedList Shared(LPITEMIDLIST list) { return SharedList(list, ItemIdFree); }

// One pasted path after another: folders to create, files to send, each
// announced to the views of the device folder it went into.
class PasteRun {
public:
    PasteRun(CShellFolder& folder, LPCITEMIDLIST target, HWND window)
        : folder_(folder), target_(target), window_(window)
    {
        char path[MAX_PATH] = "R:\\";  // the device root receives on R:
        if (ItemIdLast(target_)) ItemIdPath(target_, path, sizeof path, false);
        targetPlace_.devicePath = path;
        LPCITEMIDLIST below = Below(target_, folder.DeviceList());
        if (ItemIdLast(below)) targetPlace_.chain = Shared(ItemIdCopy(below));
    }

    // Before anything is sent: two files that one device name would hold
    // are refused, both named; the target is listed for the names a file
    // would replace. Folders merge, as Explorer merges them.
    HRESULT Check(const std::vector<std::string>& paths, const std::vector<size_t>& baseLengths)
    {
        std::vector<std::string> devicePaths;
        std::vector<size_t> files;
        for (size_t index = 0; index < paths.size(); ++index) {
            char mapped[MAX_PATH];
            const std::string base = paths[index].substr(0, baseLengths[index]);
            if (IsFolderPath(paths[index]) ||
                !MakeDeviceName(mapped, DeviceType(target_), base.c_str(), paths[index].c_str() + baseLengths[index]))
                continue;  // a name that cannot be mapped is refused when its turn comes
            devicePaths.push_back(targetPlace_.devicePath + (mapped[0] == '\\' ? mapped + 1 : mapped));
            files.push_back(index);
        }
        offerAll_ = files.size() > 1;
        size_t first = 0, second = 0;
        if (FindSharedDevicePath(devicePaths, first, second)) {
            OnCaller(
                window_,
                [&](HWND owner) {
                    ShowSharedDevicePath(owner, paths[files[first]].c_str(), paths[files[second]].c_str(),
                                         devicePaths[first].c_str());
                    return 0;
                },
                0);
            return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
        }
        const std::vector<std::string>* names = nullptr;
        return Taken(targetPlace_.devicePath, names);
    }

    // A file the user chose not to replace: a cut must not delete it on the PC.
    bool Skipped() const { return skipped_; }

    // `baseLength`: where the path's part below its dropped item's folder starts.
    HRESULT Paste(const std::string& path, size_t baseLength)
    {
        const std::string base = path.substr(0, baseLength);
        const char* relative = path.c_str() + baseLength;
        char mapped[MAX_PATH];
        if (!MakeDeviceName(mapped, DeviceType(target_), base.c_str(), relative)) {
            Say(window_, ErrorText(mapped, sizeof mapped, CNotetaker::ERR_INVALIDPATH, 0), kErrorBoxFlags);
            return ErrorHResult(CNotetaker::ERR_INVALIDPATH);
        }
        const Place& parent = PlaceOf(ParentOf(path), base);
        return IsFolderPath(path) ? MakeFolder(path, parent, LastComponent(mapped))
                                  : SendFile(path, parent, LastComponent(mapped));
    }

    const std::vector<SentFile>& Sent() const { return sent_; }

    // After a move, the PC folders the paste made on the device go when
    // they are empty, the deepest first; one that kept a file stays.
    void RemoveEmptiedPcFolders() const
    {
        for (auto made = made_.rbegin(); made != made_.rend(); ++made) RemoveDirectoryA(made->first.c_str());
    }

private:
    // A device folder that receives: its path with a trailing backslash, and
    // its identifiers below the pasting folder (none for that folder itself).
    struct Place {
        std::string devicePath;
        SharedList chain;
    };

    // A dropped item goes into the target; what lies below it, into the
    // folder made for its PC folder.
    const Place& PlaceOf(const std::string& pcFolder, const std::string& base) const
    {
        auto found = pcFolder == base ? made_.end() : made_.find(pcFolder);
        return found == made_.end() ? targetPlace_ : found->second;
    }

    // The names in a device folder that a file sent there would replace:
    // listed once, when the paste first goes into it; a folder the paste made has none.
    HRESULT Taken(const std::string& folder, const std::vector<std::string>*& names)
    {
        auto found = listed_.find(folder);
        if (found == listed_.end()) {
            std::vector<std::string> listed;
            const DeviceAnswer answer =
                DeviceAsk(window_, [&](CNotetaker& notetaker) { return notetaker.TakenNames(folder.c_str(), listed); });
            if (answer.Failed()) {
                ShowFailure(window_, answer);
                return answer.Result();
            }
            found = listed_.emplace(folder, std::move(listed)).first;
        }
        names = &found->second;
        return S_OK;
    }

    HRESULT MakeFolder(const std::string& pcPath, const Place& parent, const std::string& name)
    {
        const std::string devicePath = parent.devicePath + name;
        DeviceItemData data{EntryAttributes(DeviceType(target_)), Now(), 0};
        ItemIdHolder item(ItemIdCreate(data, name.c_str()));
        SharedList chain = item ? Shared(ItemIdConcat(parent.chain.get(), item.get())) : nullptr;
        if (!chain) return E_OUTOFMEMORY;
        // The files go on into a folder that is there: made now, or listed
        // already (then listed itself before a file goes in); never into one
        // whose making failed, where each send would fail or land elsewhere.
        const std::vector<std::string>* names = nullptr;
        const HRESULT listed = Taken(parent.devicePath, names);
        if (FAILED(listed)) return listed;
        if (!NameTaken(*names, name)) {
            const DeviceAnswer made = DeviceAsk(window_, [&](CNotetaker& notetaker) {
                return static_cast<int>(notetaker.FolderCreate(devicePath.c_str()));
            });
            if (made.code != S_OK) {
                ShowFailure(window_, made);
                return made.Failed() ? made.Result() : E_FAIL;
            }
            listed_.emplace(devicePath + "\\", std::vector<std::string>());  // made now: nothing to replace
        }
        made_[pcPath] = Place{devicePath + "\\", chain};
        folder_.NotifyChange(SHCNE_MKDIR, chain.get(), nullptr);
        return S_OK;
    }

    // Asked as Explorer asks, once for each taken name or once for them all.
    HRESULT MayReplace(const std::string& devicePath, bool& replace)
    {
        ReplaceAnswer answer = forAll_;
        if (!answerForAll_) {
            bool all = false;
            // Nobody to ask: nothing is replaced.
            answer = static_cast<ReplaceAnswer>(OnCaller(
                window_,
                [&](HWND owner) {
                    return static_cast<int>(AskReplace(owner, devicePath.c_str(), offerAll_ ? &all : nullptr));
                },
                static_cast<int>(ReplaceAnswer::Skip)));
            answerForAll_ = all;
            forAll_ = answer;
        }
        if (answer == ReplaceAnswer::Stop) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        replace = answer == ReplaceAnswer::Replace;
        skipped_ = skipped_ || !replace;
        return S_OK;
    }

    HRESULT SendFile(const std::string& path, const Place& parent, const std::string& name)
    {
        const std::vector<std::string>* names = nullptr;
        HRESULT listed = Taken(parent.devicePath, names);
        if (FAILED(listed)) return listed;
        const bool taken = NameTaken(*names, name);
        bool replace = true;
        if (taken && FAILED(listed = MayReplace(parent.devicePath + name, replace))) return listed;
        if (!replace) return S_OK;
        const DeviceAnswer answer = DeviceAsk(
            window_,
            [&](CNotetaker& notetaker) {
                return static_cast<int>(notetaker.FilePut(window_, path.c_str(), parent.devicePath.c_str(), 0));
            },
            DeviceJob::Long);
        if (answer.code != S_OK) {
            ShowFailure(window_, answer);
            return answer.Failed() ? answer.Result() : E_FAIL;
        }
        const HRESULT hr = S_OK;
        DWORD size = 0;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) size = data.nFileSizeLow;
        sent_.push_back(SentFile{path, parent.devicePath, name, size});
        // The device keeps the name it was sent: the mapped one.
        ItemIdHolder item(
            ItemIdCreate(DeviceItemData{EntryAttributes(DeviceEntry::TYPE_FILE), Now(), size}, name.c_str()));
        ItemIdHolder chain(item ? ItemIdConcat(parent.chain.get(), item.get()) : nullptr);
        if (chain) folder_.NotifyChange(taken ? SHCNE_UPDATEITEM : SHCNE_CREATE, chain.get(), nullptr);
        return hr;
    }

    CShellFolder& folder_;
    LPCITEMIDLIST target_;
    HWND window_;
    Place targetPlace_;
    std::map<std::string, Place> made_;                       // by PC folder path
    std::map<std::string, std::vector<std::string>> listed_;  // by device folder path
    std::vector<SentFile> sent_;
    bool offerAll_ = false, answerForAll_ = false, skipped_ = false;
    ReplaceAnswer forAll_ = ReplaceAnswer::Skip;
};

// A described item's path below the selected-in folder, a folder's with
// its closing backslash.
std::string DescribedPath(LPCITEMIDLIST item)
{
    char path[MAX_PATH] = "";
    const size_t length = ItemIdPath(item, path, sizeof path, true);
    const bool closed = length > 0 && path[length - 1] == '\\';
    return ItemIdIsFolder(item) && !closed ? std::string(path) + "\\" : path;
}

// What a target has whole of the described items: files whose stream it
// read to the end at the listed size, and folders with nothing kept below
// them. A target that stopped half-way (Cancel, a full disk) leaves the
// rest on the device.
bool ReadWhole(IDataObject* dataObject, const CItemList& described, CItemList& moved)
{
    std::vector<std::string> kept;
    for (UINT index = 0; index < described.Count(); ++index) {
        LPCITEMIDLIST item = described.Item(index);
        if (!ItemIdIsFolder(item) && !StreamReadWhole(dataObject, static_cast<LONG>(index)))
            kept.push_back(DescribedPath(item));
    }
    for (UINT index = 0; index < described.Count(); ++index) {
        LPCITEMIDLIST item = described.Item(index);
        const std::string path = DescribedPath(item);
        const bool holdsKept = std::any_of(kept.begin(), kept.end(), [&](const std::string& keep) {
            return keep.compare(0, path.size(), path) == 0;  // itself, or below a folder
        });
        if (!holdsKept && !moved.Append(ItemIdCopy(item))) return false;
    }
    return true;
}

// The selected items of a folder behind its data object: listed on the
// device when a target first wants the files, deleted there, last first,
// once the target has reported that it moved them.
class FolderDataSink final : public IDataSourceSink, public RefCounted {
public:
    FolderDataSink(CShellFolder& folder, HWND owner, UINT count, const PCUITEMID_CHILD* items) : owner_(owner)
    {
        folder.AddRef();
        folder_.reset(&folder);
        valid_ = selected_.CopyFrom(items, count);
    }
    bool Valid() const { return valid_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        static const QiEntry table[] = {QI_ENTRY(FolderDataSink, IDataSourceSink), {nullptr, 0}};
        return QiSearch(this, table, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    // Expanded into a list of its own while the device is asked: the
    // described list is only ever swapped, under the lock, once it is whole.
    STDMETHODIMP FillFiles(IDataObject* dataObject) override
    {
        CItemList described;
        if (!DescribeListable(described)) return E_OUTOFMEMORY;
        HRESULT hr = ExpandDeviceFolders(*folder_.get(), described, owner_) ? S_OK : E_FAIL;
        if (SUCCEEDED(hr))
            hr = FillDataObject(owner_, dataObject, folder_->DeviceList(), described.Count(), described.Items());
        if (FAILED(hr)) return hr;
        CriticalSection::Held held(lock_);
        described_.Swap(described);
        return hr;
    }

    STDMETHODIMP FilesMoved(IDataObject* dataObject) override
    {
        CItemList described, moved;  // only what a target was given can have been moved
        {
            CriticalSection::Held held(lock_);
            if (!described.CopyFrom(described_.Items(), described_.Count())) return E_OUTOFMEMORY;
        }
        if (!ReadWhole(dataObject, described, moved)) return E_OUTOFMEMORY;
        const HRESULT hr = moved.Count() > 0 ? DeleteExpandedItems(*folder_.get(), moved, owner_) : S_FALSE;
        return hr == S_OK && moved.Count() < described.Count() ? S_FALSE : hr;
    }

private:
    ~FolderDataSink() override = default;

    // A special entry (the clock) can be neither listed nor fetched, nor can
    // a folder of F: that R: has a namesake of: each is left out and named,
    // and the other items are copied.
    bool DescribeListable(CItemList& described)
    {
        const std::vector<bool> namesakes = UnreadableNamesakes();
        std::string leftOut;
        char reason[MAX_PATH] = "";
        LoadResourceText(IDS_NAMESAKE_LEFT_OUT, reason, sizeof reason);
        for (UINT index = 0; index < selected_.Count(); ++index) {
            LPCITEMIDLIST item = selected_.Item(index);
            char name[MAX_PATH] = "";
            ItemIdDisplayName(item, name, sizeof name, !folder_->DeviceList());
            if (ItemIdIsSpecial(item)) leftOut += std::string("\n") + name;
            else if (namesakes[index]) leftOut += std::string("\n") + name + " " + reason;
            else if (!described.Append(ItemIdCopy(item))) return false;
        }
        char text[MAX_PATH] = "";
        LoadResourceText(IDS_NOT_ATTEMPTED, text, sizeof text);
        if (owner_ && !leftOut.empty())
            ShowMessageText(owner_, (text + leftOut).c_str(), MB_ICONWARNING | MB_TASKMODAL);
        return true;
    }

    // Which selected items are folders of F: at the root that the device
    // will not list because R: has one of the same name.
    std::vector<bool> UnreadableNamesakes()
    {
        std::vector<bool> namesakes(selected_.Count(), false);
        if (folder_->DeviceList()) return namesakes;
        DeviceAsk(owner_, [&](CNotetaker& notetaker) {
            for (UINT index = 0; index < selected_.Count(); ++index) {
                if (ItemIdType(selected_.Item(index)) != DeviceEntry::TYPE_FOLDER_F) continue;
                char path[MAX_PATH];
                ItemIdPath(selected_.Item(index), path, sizeof path, false);
                namesakes[index] = notetaker.refuseNamesake(path) == CNotetaker::ERR_NAMESAKE;
            }
            return 0;
        });
        return namesakes;
    }

    ComPtr<CShellFolder> folder_;
    HWND owner_;
    CItemList selected_;
    CriticalSection lock_;  // described_: the copy engine's thread and the window's may both come
    CItemList described_;
    bool valid_ = false;
};

// Lists the folders of one walk, each once, as far down as a walk goes.
class FolderDevice {
public:
    explicit FolderDevice(CNotetaker& notetaker) : notetaker_(notetaker) {}
    int EnumFolder(const char* path)
    {
        if (!WalkInto(seen_, path)) return notetaker_.refuseWalk(path);
        return notetaker_.EnumFolder(path);
    }
    int GetEntry(size_t index, DeviceEntry& out) { return notetaker_.GetEntry(index, out); }

private:
    CNotetaker& notetaker_;
    std::set<std::string> seen_;  // one walk's folders
};

bool IsVirtualFiles(CLIPFORMAT format)
{
    return format == g_cfFileGroupDescriptor || format == g_cfFileGroupDescriptorW;
}

// The clipboard's data object and its data in the first pasteable format.
// Whatever else the clipboard holds (text, say) stays there.
HRESULT TakeClipboard(ComPtr<IDataObject>& clipboard, FORMATETC& format, ScopedMedium& medium, DWORD& effect)
{
    HRESULT hr = OleGetClipboard(clipboard.put());
    if (FAILED(hr)) return hr;
    hr = GetPasteData(clipboard.get(), &format, medium.put());
    if (hr == S_FALSE) hr = DV_E_FORMATETC;
    if (FAILED(hr)) return hr;
    if (FAILED(GetDataDword(clipboard.get(), g_cfPreferredDropEffect, &effect))) effect = 0;
    return S_OK;
}

// Which sent files the device lists with their PC size: each folder they
// went into is listed once, after the paste.
std::vector<bool> ListedWhole(const std::vector<SentFile>& sent, HWND window)
{
    std::vector<bool> whole(sent.size(), false);
    const DeviceAnswer answer = DeviceAsk(window, [&](CNotetaker& notetaker) {
        CNotetaker::FolderListings listed;
        for (size_t index = 0; index < sent.size(); ++index) {
            int error = 0;
            const DeviceEntry* entry =
                notetaker.FindListedFile(listed, ParentOf(sent[index].deviceFolder), sent[index].name, error);
            if (error < 0) return error;
            whole[index] = entry && entry->nSize == sent[index].size;
        }
        return 0;
    });
    ShowFailure(window, answer);
    return whole;
}

std::wstring WidePath(const std::string& path)
{
    WCHAR wide[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    return wide;
}

// One paste: the file list copied out of the drop or the clipboard, so that
// it outlives them, run at once or from a message posted to the thread.
class PasteJob {
public:
    PasteJob(CShellFolder& folder, PCUIDLIST_RELATIVE target, HWND owner) : target_(ItemIdCopy(target)), owner_(owner)
    {
        folder.AddRef();
        folder_.reset(&folder);
    }
    PasteJob(const PasteJob&) = delete;
    PasteJob& operator=(const PasteJob&) = delete;
    // A job that never ran ends its source's operation all the same.
    ~PasteJob() { EndSource(E_ABORT, DROPEFFECT_NONE); }

    // 0 with a list to paste, S_FALSE for none, E_FAIL for virtual files of
    // another namespace (not received), else the failure.
    HRESULT Read(CLIPFORMAT format, HGLOBAL data)
    {
        if (format != CF_HDROP) return IsVirtualFiles(format) ? E_FAIL : S_FALSE;
        if (!GlobalLock(data)) return E_OUTOFMEMORY;
        const HRESULT hr = ReadHDrop(static_cast<HDROP>(data), &paths_, nullptr, true, &baseLengths_, &refused_);
        GlobalUnlock(data);
        if (hr != S_OK) ShowPcNames(nullptr, IDS_NAME_NOT_ANSI, refused_);
        return hr;
    }

    // A move: a source that reads on a thread of its own (`dropped` ones
    // only) hears of its end; any other keeps its files, and the paste
    // deletes those the device lists whole.
    void MoveFrom(IDataObject* source, bool dropped)
    {
        move_ = true;
        dropped_ = dropped;
        source->AddRef();
        source_.reset(source);
        BOOL async = FALSE;
        if (dropped && SUCCEEDED(source->QueryInterface(IID_IDataObjectAsyncCapability, async_.putVoid())) &&
            SUCCEEDED(async_->GetAsyncMode(&async)) && async && SUCCEEDED(async_->StartOperation(nullptr)))
            return;
        async_.reset();
    }

    // The runner's window stands in for an owner that had none, or went
    // (a view closed before its drop's paste ran).
    void SetOwner(HWND runner)
    {
        if (!owner_ || !IsWindow(owner_)) owner_ = runner;
    }

    // 0 when every path was sent (and, for a move, listed whole), S_FALSE
    // for names left out or kept, else the first error.
    HRESULT Run()
    {
        ShowPcNames(nullptr, IDS_NAME_NOT_ANSI, refused_);
        PasteRun run(*folder_.get(), target_.get(), owner_);
        HRESULT hr = S_OK;
        std::vector<bool> whole;
        // One request for the whole paste: another window's job cannot turn
        // the second file busy half-way.
        const DeviceAnswer answer = DeviceAsk(
            owner_,
            [&](CNotetaker&) {
                hr = run.Check(paths_, baseLengths_);
                for (size_t index = 0; index < paths_.size() && SUCCEEDED(hr); ++index)
                    hr = run.Paste(paths_[index], baseLengths_[index]);
                if (move_) whole = ListedWhole(run.Sent(), owner_);
                return 0;
            },
            DeviceJob::Long);
        ShowFailure(owner_, answer);
        if (answer.Failed()) hr = answer.Result();
        // What was left out or not replaced stays on the PC: a cut must not delete it there.
        if (SUCCEEDED(hr) && (!refused_.empty() || run.Skipped())) hr = S_FALSE;
        return move_ ? FinishMove(run, whole, hr) : hr;
    }

private:
    // A file moves only once the device lists it with its PC size; the
    // source learns that all moved only when all did.
    HRESULT FinishMove(const PasteRun& run, const std::vector<bool>& whole, HRESULT hr)
    {
        const std::vector<SentFile>& sent = run.Sent();
        std::vector<std::wstring> kept;
        for (size_t index = 0; index < sent.size(); ++index) {
            if (index >= whole.size() || !whole[index]) kept.push_back(WidePath(sent[index].pcPath));
            else if (!async_) DeleteFileA(sent[index].pcPath.c_str());
        }
        if (!async_) run.RemoveEmptiedPcFolders();
        ShowPcNames(owner_, IDS_MOVE_KEPT, kept);
        if (hr == S_OK && !kept.empty()) hr = S_FALSE;
        if (!async_) {
            if (hr == S_OK && !dropped_) ReportPasted();
        } else if (hr == S_OK) {
            EndSource(S_OK, kMove);
        } else {
            EndSource(FAILED(hr) ? hr : E_FAIL, sent.empty() ? DROPEFFECT_NONE : DROPEFFECT_COPY);
        }
        return hr;
    }

    void EndSource(HRESULT hr, DWORD effect)
    {
        if (async_) async_->EndOperation(hr, nullptr, effect);
        async_.reset();
    }

    // A cut pasted from the clipboard: moved by the paste itself, as an
    // optimized move is reported, so that the source deletes nothing; the
    // list it took from the clipboard has no files left to paste.
    void ReportPasted()
    {
        SetDataDword(source_.get(), g_cfPerformedDropEffect, DROPEFFECT_NONE);
        SetDataDword(source_.get(), g_cfPasteSucceeded, kMove);
        OleSetClipboard(nullptr);
    }

    ComPtr<CShellFolder> folder_;
    ItemIdHolder target_;
    HWND owner_;
    std::vector<std::string> paths_;
    std::vector<size_t> baseLengths_;
    std::vector<std::wstring> refused_;
    bool move_ = false;
    bool dropped_ = false;
    ComPtr<IDataObject> source_;
    ComPtr<IDataObjectAsyncCapability> async_;  // while the source's operation runs
};

constexpr char kRunnerClass[] = "PellorPasteRun";
constexpr UINT kRunPaste = WM_APP + 1;
constexpr UINT_PTR kRetryTimer = 1;
constexpr UINT kRetryMs = 200;

// The hidden window that runs a dropped paste on the dropping window's
// thread once the drop has returned; it owns the paste's progress and boxes
// when the drop came without a window of ours.
LRESULT CALLBACK RunnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* job = reinterpret_cast<PasteJob*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) delete job;  // a thread that ends first takes its paste along
    if ((message != kRunPaste && message != WM_TIMER) || !job) return DefWindowProcA(window, message, wParam, lParam);
    // Posted while this thread waits for the device (a listing): the paste's
    // requests would be answered busy, so it waits its turn.
    if (CallerWaiting()) {
        SetTimer(window, kRetryTimer, kRetryMs, nullptr);
        return 0;
    }
    KillTimer(window, kRetryTimer);
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    std::unique_ptr<PasteJob> running(job);
    running->SetOwner(window);
    running->Run();
    DestroyWindow(window);
    return 0;
}

bool PostPaste(std::unique_ptr<PasteJob> job)
{
    static const ATOM registered = [] {
        // A class of an earlier load of the module outlives it, with that load's procedure.
        UnregisterClassA(kRunnerClass, OwnModule());
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = RunnerProc;
        windowClass.hInstance = OwnModule();
        windowClass.lpszClassName = kRunnerClass;
        return RegisterClassA(&windowClass);
    }();
    if (!registered) return false;
    char caption[MAX_PATH] = "";
    LoadResourceText(IDS_PRODUCT_NAME, caption, sizeof caption);
    HWND runner = CreateWindowExA(WS_EX_TOOLWINDOW, kRunnerClass, caption, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  OwnModule(), nullptr);
    if (!runner) return false;
    SetWindowLongPtrA(runner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(job.release()));
    if (PostMessageA(runner, kRunPaste, 0, 0)) return true;
    DestroyWindow(runner);  // and the job with it
    return false;
}

}  // namespace

HRESULT ReadHDrop(HDROP hDrop, std::vector<std::string>* paths, char* baseFolder, bool clear,
                  std::vector<size_t>* baseLengths, std::vector<std::wstring>* refused)
{
    if (!hDrop || !paths) return E_INVALIDARG;
    if (clear) paths->clear();
    if (baseLengths) baseLengths->assign(paths->size(), 0);
    const UINT count = DragQueryFileW(hDrop, 0xFFFFFFFF, nullptr, 0);
    size_t expanded = paths->size();
    for (UINT i = 0; i < count; ++i) {
        std::vector<WCHAR> wide(DragQueryFileW(hDrop, i, nullptr, 0) + 1, L'\0');
        DragQueryFileW(hDrop, i, wide.data(), static_cast<UINT>(wide.size()));
        std::string path;
        if (!ToAnsi(wide.data(), path)) {
            if (refused) refused->emplace_back(wide.data());
            continue;
        }
        // Each dropped item may come from a folder of its own.
        const size_t last = path.rfind('\\');
        if (last == std::string::npos) return S_FALSE;
        if (baseFolder && expanded == 0) snprintf(baseFolder, MAX_PATH, "%s", path.substr(0, last).c_str());
        paths->emplace_back(path);
        for (; expanded < paths->size(); ++expanded) {
            if (baseLengths) baseLengths->push_back(last);
            const std::string folder = (*paths)[expanded];  // the vector grows below
            if (!IsFolderPath(folder)) continue;
            HRESULT hr = AppendFolderEntries(folder, *paths, refused);
            if (FAILED(hr)) return hr;
        }
    }
    return paths->empty() ? S_FALSE : S_OK;
}

HRESULT PasteDataObject(CShellFolder& folder, HWND listWindow, PCUIDLIST_RELATIVE target, DropRequest* request)
{
    if (!request) return E_INVALIDARG;
    // The paste uses the folder after every wait, while Explorer may let go of it.
    const ComPtr<CShellFolder> held = NewRef(&folder);
    DWORD effect = request->effect ? *request->effect : 0;
    // Held while the list is read: the drop's data object, or the
    // clipboard's with its data, which the request only borrows.
    ComPtr<IDataObject> source;
    ScopedMedium clipboardMedium;
    const bool fromClipboard = request->dataObject == nullptr;
    if (fromClipboard) {
        if (listWindow) ListView_SetItemState(listWindow, -1, 0, LVIS_CUT);
        HRESULT hr = TakeClipboard(source, request->format, clipboardMedium, effect);
        if (FAILED(hr)) return hr;
        request->medium = *clipboardMedium;
    } else {
        request->dataObject->AddRef();
        source.reset(request->dataObject);
    }
    std::unique_ptr<PasteJob> job(new (std::nothrow) PasteJob(folder, target, listWindow));
    if (!job) return E_OUTOFMEMORY;
    HRESULT hr = job->Read(request->format.cfFormat, request->medium.hGlobal);
    if (fromClipboard) request->medium = STGMEDIUM{};
    if (hr != S_OK) return hr;
    if (effect == kMove) job->MoveFrom(source.get(), !fromClipboard);
    if (fromClipboard) return job->Run();
    // The source hears of a move when it is done (asynchronous sources) or
    // never: the paste moves the files itself. Answering move now would
    // let the source delete files not yet sent.
    if (request->effect) *request->effect = DROPEFFECT_COPY;
    return PostPaste(std::move(job)) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT CreateItemsDataObject(CShellFolder& folder, HWND owner, UINT count, const PCUITEMID_CHILD* items, void** ppv)
{
    ComPtr<FolderDataSink> sink = MakeComObject<FolderDataSink>(folder, owner, count, items);
    if (!sink) return E_OUTOFMEMORY;
    return CreateComObject<CDataObject>(IID_IDataObject, ppv, sink.get());
}

bool ExpandDeviceFolders(CShellFolder& folder, CItemList& items, HWND window)
{
    const DeviceAnswer answer = DeviceAsk(window, [&](CNotetaker& notetaker) {
        FolderDevice device(notetaker);
        return items.ExpandFolders(device, folder.DeviceList());
    });
    ShowFailure(window, answer);
    return !answer.Failed();
}

HRESULT DeleteExpandedItems(CShellFolder& folder, const CItemList& items, HWND window)
{
    HRESULT hr = S_OK;
    // One request: another window's job cannot turn the second delete busy.
    const DeviceAnswer answer = DeviceAsk(window, [&](CNotetaker& notetaker) {
        for (UINT index = items.Count(); index-- > 0;) {
            ItemIdHolder full(ItemIdConcat(folder.DeviceList(), items.Item(index)));
            if (!full) {
                hr = E_OUTOFMEMORY;
                return 0;
            }
            char path[MAX_PATH];
            ItemIdPath(full.get(), path, sizeof path, false);
            const int deleted = static_cast<int>(notetaker.FileDelete(path));
            if (deleted < 0) return deleted;
            // The row goes from the views as its file goes (posted to their windows).
            folder.NotifyChange(ItemIdIsFolder(full.get()) ? SHCNE_RMDIR : SHCNE_DELETE, items.Item(index), nullptr);
        }
        return 0;
    });
    ShowFailure(window, answer);
    return answer.Failed() ? answer.Result() : hr;
}

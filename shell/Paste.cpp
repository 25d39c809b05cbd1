#include "shell/Paste.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
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

// The PC names left out of a paste, said in words, one a line.
void ShowRefusedNames(const std::vector<std::wstring>& names)
{
    if (names.empty()) return;
    WCHAR intro[512] = L"";
    LoadStringW(OwnModule(), IDS_NAME_NOT_ANSI, intro, ARRAYSIZE(intro));
    std::wstring text = intro;
    for (const std::wstring& name : names) text += L"\n" + name;
    ShowMessageTextW(nullptr, text.c_str(), kErrorBoxFlags);
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

// The device's words for a failed request, in a box owned by the asking window.
void ShowFailure(HWND window, const DeviceAnswer& answer)
{
    if (window && answer.Failed()) ShowMessageText(window, answer.words.c_str(), kErrorBoxFlags);
}

std::string LastComponent(const char* path)
{
    const char* last = strrchr(path, '\\');
    return last ? last + 1 : path;
}

std::string ParentOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

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

    // `baseLength`: where the path's part below its dropped item's folder starts.
    HRESULT Paste(const std::string& path, size_t baseLength)
    {
        const std::string base = path.substr(0, baseLength);
        const char* relative = path.c_str() + baseLength;
        char mapped[MAX_PATH];
        if (!MakeDeviceName(mapped, DeviceType(target_), base.c_str(), relative)) {
            if (window_)
                ShowMessageText(window_, ErrorText(mapped, sizeof mapped, CNotetaker::ERR_INVALIDPATH, 0),
                                kErrorBoxFlags);
            return ErrorHResult(CNotetaker::ERR_INVALIDPATH);
        }
        const Place& parent = PlaceOf(ParentOf(path), base);
        return IsFolderPath(path) ? MakeFolder(path, parent, LastComponent(mapped))
                                  : SendFile(path, parent, LastComponent(mapped));
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

    HRESULT MakeFolder(const std::string& pcPath, const Place& parent, const std::string& name)
    {
        const std::string devicePath = parent.devicePath + name;
        DeviceItemData data{EntryAttributes(DeviceType(target_)), Now(), 0};
        ItemIdHolder item(ItemIdCreate(data, name.c_str()));
        SharedList chain = item ? Shared(ItemIdConcat(parent.chain.get(), item.get())) : nullptr;
        if (!chain) return E_OUTOFMEMORY;
        // A folder that exists already is fine: its files still go into it.
        DeviceAsk(window_,
                  [&](CNotetaker& notetaker) { return static_cast<int>(notetaker.FolderCreate(devicePath.c_str())); });
        made_[pcPath] = Place{devicePath + "\\", chain};
        folder_.NotifyChange(SHCNE_MKDIR, chain.get(), nullptr);
        return S_OK;
    }

    HRESULT SendFile(const std::string& path, const Place& parent, const std::string& name)
    {
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
        // The device keeps the name it was sent: the mapped one.
        ItemIdHolder item(
            ItemIdCreate(DeviceItemData{EntryAttributes(DeviceEntry::TYPE_FILE), Now(), size}, name.c_str()));
        ItemIdHolder chain(item ? ItemIdConcat(parent.chain.get(), item.get()) : nullptr);
        if (chain) folder_.NotifyChange(SHCNE_CREATE, chain.get(), nullptr);
        return hr;
    }

    CShellFolder& folder_;
    LPCITEMIDLIST target_;
    HWND window_;
    Place targetPlace_;
    std::map<std::string, Place> made_;  // by PC folder path
};

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

    STDMETHODIMP FilesMoved(IDataObject*) override
    {
        CItemList moved;  // only what a target was given can have been moved
        {
            CriticalSection::Held held(lock_);
            if (!moved.CopyFrom(described_.Items(), described_.Count())) return E_OUTOFMEMORY;
        }
        return moved.Count() > 0 ? DeleteExpandedItems(*folder_.get(), moved, owner_) : S_FALSE;
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

HRESULT PasteFileList(CShellFolder& folder, LPCITEMIDLIST target, HDROP hDrop, HWND window)
{
    std::vector<std::string> paths;
    std::vector<size_t> baseLengths;
    std::vector<std::wstring> refused;
    char base[MAX_PATH] = "";
    HRESULT hr = ReadHDrop(hDrop, &paths, base, true, &baseLengths, &refused);
    ShowRefusedNames(refused);
    if (hr != S_OK) return hr;
    PasteRun run(folder, target, window);
    for (size_t index = 0; index < paths.size(); ++index) {
        hr = run.Paste(paths[index], baseLengths[index]);
        if (FAILED(hr)) break;
    }
    // What was left out stays on the PC: a cut must not delete it there.
    return SUCCEEDED(hr) && !refused.empty() ? S_FALSE : hr;
}

HRESULT PasteDataObject(CShellFolder& folder, HWND listWindow, PCUIDLIST_RELATIVE target, DropRequest* request)
{
    if (!request) return E_INVALIDARG;
    // PasteRun uses the folder after every wait, while Explorer may let go of it.
    const ComPtr<CShellFolder> held = NewRef(&folder);
    if (listWindow) ListView_SetItemState(listWindow, -1, 0, LVIS_CUT);
    DWORD effect = request->effect ? *request->effect : 0;
    // Held while the paste runs: the drop's data object, or the clipboard's
    // with its data, which the request only borrows.
    ComPtr<IDataObject> source;
    ScopedMedium clipboardMedium;
    const bool fromClipboard = request->dataObject == nullptr;
    if (fromClipboard) {
        HRESULT hr = TakeClipboard(source, request->format, clipboardMedium, effect);
        if (FAILED(hr)) return hr;
        request->medium = *clipboardMedium;
    } else {
        request->dataObject->AddRef();
        source.reset(request->dataObject);
    }

    HRESULT hr = E_OUTOFMEMORY;
    if (GlobalLock(request->medium.hGlobal)) {
        if (request->format.cfFormat == CF_HDROP)
            hr = PasteFileList(folder, target, static_cast<HDROP>(request->medium.hGlobal),
                               listWindow ? listWindow : GetActiveWindow());
        else hr = IsVirtualFiles(request->format.cfFormat) ? E_FAIL : S_FALSE;
        GlobalUnlock(request->medium.hGlobal);
    }
    if (hr == S_OK && effect == kMove) {
        SetDataDword(source.get(), g_cfPerformedDropEffect, kMove);
        SetDataDword(source.get(), g_cfPasteSucceeded, kMove);
    }
    if (fromClipboard) {
        // A copied list stays for the next paste, as Explorer keeps it; a
        // moved one has no source left to paste from.
        if (hr == S_OK && effect == kMove) OleSetClipboard(nullptr);
        request->medium = STGMEDIUM{};
    }
    return hr;
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
    for (UINT index = items.Count(); index-- > 0;) {
        ItemIdHolder full(ItemIdConcat(folder.DeviceList(), items.Item(index)));
        if (!full) return E_OUTOFMEMORY;
        char path[MAX_PATH];
        ItemIdPath(full.get(), path, sizeof path, false);
        const DeviceAnswer answer =
            DeviceAsk(window, [&](CNotetaker& notetaker) { return static_cast<int>(notetaker.FileDelete(path)); });
        if (answer.Failed()) {
            ShowFailure(window, answer);
            return answer.Result();
        }
        folder.NotifyChange(ItemIdIsFolder(full.get()) ? SHCNE_RMDIR : SHCNE_DELETE, items.Item(index), nullptr);
    }
    return S_OK;
}

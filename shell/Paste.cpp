#include "shell/Paste.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "devicefiles/DeviceName.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "shell/CDataObject.h"
#include "shell/CItemList.h"
#include "shell/CShellFolder.h"
#include "shell/ClipFormats.h"
#include "shell/ItemId.h"

namespace {

constexpr DWORD kMove = DROPEFFECT_MOVE;
constexpr UINT kErrorBoxFlags = MB_ICONERROR | MB_TASKMODAL;

// What the folder's data object carries for its sink: the item array it
// hands over.
struct OwnerBlock {
    LPITEMIDLIST* items;
    UINT count;
};

bool IsFolderPath(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HRESULT AppendFolderEntries(const std::string& folder, std::vector<std::string>& paths)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
            paths.push_back(folder + "\\" + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return S_OK;
}

// The part of `list` below the levels that `prefix` has.
LPCITEMIDLIST Below(LPCITEMIDLIST list, LPCITEMIDLIST prefix)
{
    for (LPCITEMIDLIST level = prefix; list && level && ItemIdLast(level); level = ItemIdNext(level)) list = ItemIdNext(list);
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

void ShowFailure(CNotetaker* notetaker, int code)
{
    char text[MAX_PATH] = "";
    if (notetaker) notetaker->GetErrorText(text, sizeof text, code);
    ShowMessageText(nullptr, text, kErrorBoxFlags);
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
    PasteRun(CShellFolder& folder, LPCITEMIDLIST target)
        : folder_(folder), target_(target), notetaker_(session_.get())
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
            ShowMessageText(nullptr, ErrorText(mapped, sizeof mapped, CNotetaker::ERR_INVALIDPATH, 0), kErrorBoxFlags);
            return ErrorHResult(CNotetaker::ERR_INVALIDPATH);
        }
        if (!notetaker_) return E_FAIL;
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
        // Folders carry their whole device path, as the listing gives them.
        ItemIdHolder item(ItemIdCreate(data, devicePath.c_str()));
        SharedList chain = item ? Shared(ItemIdConcat(parent.chain.get(), item.get())) : nullptr;
        if (!chain) return E_OUTOFMEMORY;
        // A folder that exists already is fine: its files still go into it.
        notetaker_->FolderCreate(devicePath.c_str());
        made_[pcPath] = Place{devicePath + "\\", chain};
        folder_.NotifyChange(SHCNE_MKDIR, chain.get(), nullptr);
        return S_OK;
    }

    HRESULT SendFile(const std::string& path, const Place& parent, const std::string& name)
    {
        HRESULT hr = notetaker_->FilePut(nullptr, path.c_str(), parent.devicePath.c_str(), 0);
        if (hr != S_OK) {
            ShowFailure(notetaker_, 0);
            return FAILED(hr) ? hr : E_FAIL;
        }
        DWORD size = 0;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) size = data.nFileSizeLow;
        // The device keeps the name it was sent: the mapped one.
        ItemIdHolder item(ItemIdCreate(DeviceItemData{EntryAttributes(DeviceEntry::TYPE_FILE), Now(), size}, name.c_str()));
        ItemIdHolder chain(item ? ItemIdConcat(parent.chain.get(), item.get()) : nullptr);
        if (chain) folder_.NotifyChange(SHCNE_CREATE, chain.get(), nullptr);
        return hr;
    }

    CShellFolder& folder_;
    LPCITEMIDLIST target_;
    NotetakerSession session_;  // declared before notetaker_, which is read from it
    CNotetaker* notetaker_;
    Place targetPlace_;
    std::map<std::string, Place> made_;  // by PC folder path
};

// Deletes the items of a cut on the device, last first, once the target of
// the paste has reported that it moved them.
class FolderDataSink final : public IDataSourceSink, public RefCounted {
public:
    explicit FolderDataSink(CShellFolder& folder)
    {
        folder.AddRef();
        folder_.reset(&folder);
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        static const QiEntry table[] = {QI_ENTRY(FolderDataSink, IDataSourceSink), {nullptr, 0}};
        return QiSearch(this, table, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP DataObjectReleased(const DataObjectRecord* record) override
    {
        if (!record) return E_INVALIDARG;
        if (record->ownerLength != sizeof(OwnerBlock) || !record->owner) return E_UNEXPECTED;
        OwnerBlock block;
        memcpy(&block, record->owner, sizeof block);
        CItemList items;
        items.Attach(block.items, block.count);
        DWORD pasted = 0, performed = 0;
        HRESULT hr = GetDataDword(record->dataObject, g_cfPasteSucceeded, &pasted);
        if (FAILED(hr) || pasted != kMove) return hr;
        hr = GetDataDword(record->dataObject, g_cfPerformedDropEffect, &performed);
        if (SUCCEEDED(hr) && (performed == kMove || performed == DROPEFFECT_NONE))
            return DeleteExpandedItems(*folder_.get(), items);
        return hr;
    }

private:
    ~FolderDataSink() override = default;

    ComPtr<CShellFolder> folder_;
};

// Lists folders below a folder of the device: the listing paths are
// relative to that folder and need its place on the device in front.
class FolderDevice {
public:
    FolderDevice(CNotetaker& notetaker, LPCITEMIDLIST folder) : notetaker_(notetaker)
    {
        if (ItemIdLast(folder)) ItemIdPath(folder, prefix_, sizeof prefix_, false);
    }
    int EnumFolder(const char* path)
    {
        // A folder's own identifier carries its drive and whole path.
        if (strchr(path, ':')) return notetaker_.EnumFolder(path);
        char full[MAX_PATH];
        snprintf(full, sizeof full, "%s%s", prefix_, path);
        return notetaker_.EnumFolder(full);
    }
    int GetEntry(size_t index, DeviceEntry& out) { return notetaker_.GetEntry(index, out); }
    char* GetErrorText(char* buffer, int size, int code) { return notetaker_.GetErrorText(buffer, size, code); }

private:
    CNotetaker& notetaker_;
    char prefix_[MAX_PATH] = "";
};

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
                  std::vector<size_t>* baseLengths)
{
    if (!hDrop || !paths) return E_INVALIDARG;
    if (clear) paths->clear();
    if (baseLengths) baseLengths->assign(paths->size(), 0);
    const UINT count = DragQueryFileA(hDrop, 0xFFFFFFFF, nullptr, 0);
    if (count == 0) return S_FALSE;
    size_t expanded = paths->size();
    for (UINT i = 0; i < count; ++i) {
        char path[MAX_PATH] = "";
        DragQueryFileA(hDrop, i, path, sizeof path);
        if (i == 0 && baseFolder) {
            const char* last = strrchr(path, '\\');
            if (!last) return S_FALSE;
            snprintf(baseFolder, MAX_PATH, "%.*s", static_cast<int>(last - path), path);
        }
        // Each dropped item may come from a folder of its own.
        const char* last = strrchr(path, '\\');
        const size_t baseLength = last ? static_cast<size_t>(last - path) : 0;
        paths->emplace_back(path);
        for (; expanded < paths->size(); ++expanded) {
            if (baseLengths) baseLengths->push_back(baseLength);
            const std::string folder = (*paths)[expanded];  // the vector grows below
            if (!IsFolderPath(folder)) continue;
            HRESULT hr = AppendFolderEntries(folder, *paths);
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

HRESULT PasteFileList(CShellFolder& folder, LPCITEMIDLIST target, HDROP hDrop, DWORD)
{
    std::vector<std::string> paths;
    std::vector<size_t> baseLengths;
    char base[MAX_PATH] = "";
    HRESULT hr = ReadHDrop(hDrop, &paths, base, true, &baseLengths);
    if (hr != S_OK) return hr;
    PasteRun run(folder, target);
    for (size_t index = 0; index < paths.size(); ++index) {
        hr = run.Paste(paths[index], baseLengths[index]);
        if (FAILED(hr)) break;
    }
    return hr;
}

HRESULT PasteDataObject(CShellFolder& folder, HWND listWindow, PCUIDLIST_RELATIVE target, DropRequest* request)
{
    if (!request) return E_INVALIDARG;
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
            hr = PasteFileList(folder, target, static_cast<HDROP>(request->medium.hGlobal), effect);
        else
            hr = request->format.cfFormat == g_cfFileGroupDescriptor ? E_FAIL : S_FALSE;
        GlobalUnlock(request->medium.hGlobal);
    }
    if (SUCCEEDED(hr) && effect == kMove) {
        SetDataDword(source.get(), g_cfPerformedDropEffect, kMove);
        SetDataDword(source.get(), g_cfPasteSucceeded, kMove);
    }
    if (fromClipboard) {
        // A copied list stays for the next paste, as Explorer keeps it; a
        // moved one has no source left to paste from.
        if (SUCCEEDED(hr) && effect == kMove) OleSetClipboard(nullptr);
        request->medium = STGMEDIUM{};
    }
    return hr;
}

HRESULT CreateItemsDataObject(CShellFolder& folder, HWND owner, UINT count, const PCUITEMID_CHILD* items, void** ppv)
{
    CItemList list;
    if (!list.CopyFrom(items, count) || !ExpandDeviceFolders(folder, list)) return E_OUTOFMEMORY;
    ComPtr<FolderDataSink> sink = MakeComObject<FolderDataSink>(folder);
    if (!sink) return E_OUTOFMEMORY;
    LPITEMIDLIST* array = nullptr;
    const UINT total = list.Detach(&array);
    OwnerBlock block{array, total};
    ComPtr<CDataObject> dataObject = MakeComObject<CDataObject>(sink.get(), &block, sizeof block);
    if (!dataObject) {
        list.Attach(array, total);
        return E_OUTOFMEMORY;
    }
    // From here the object owns the items: releasing it hands them to the
    // sink, which frees them.
    const HRESULT hr = FillDataObject(owner, dataObject.get(), folder.DeviceList(), total, array);
    if (FAILED(hr)) return hr;
    *ppv = static_cast<IDataObject*>(dataObject.detach());
    return S_OK;
}

bool ExpandDeviceFolders(CShellFolder& folder, CItemList& items)
{
    NotetakerSession session;
    CNotetaker* notetaker = session.get();
    if (!notetaker) return false;
    FolderDevice device(*notetaker, folder.DeviceList());
    return items.ExpandFolders(device);
}

HRESULT DeleteExpandedItems(CShellFolder& folder, const CItemList& items)
{
    NotetakerSession session;
    CNotetaker* notetaker = session.get();
    if (!notetaker) return E_FAIL;
    for (UINT index = items.Count(); index-- > 0;) {
        ItemIdHolder full(ItemIdConcat(folder.DeviceList(), items.Item(index)));
        if (!full) return E_OUTOFMEMORY;
        char path[MAX_PATH];
        ItemIdPath(full.get(), path, sizeof path, false);
        HRESULT hr = notetaker->FileDelete(path);
        if (FAILED(hr)) {
            ShowFailure(notetaker, 0);
            return hr;
        }
        folder.NotifyChange(ItemIdIsFolder(full.get()) ? SHCNE_RMDIR : SHCNE_DELETE, items.Item(index), nullptr);
    }
    return S_OK;
}

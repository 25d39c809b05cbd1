#include "shell/Paste.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <new>

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

// Tells the folder about a new item below the target.
void Announce(CShellFolder& folder, LPCITEMIDLIST target, LONG event, LPCITEMIDLIST item)
{
    ItemIdHolder relative(ItemIdConcat(Below(target, folder.DeviceList()), item));
    if (relative) folder.NotifyChange(event, relative.get(), nullptr);
}

// One pasted path: a folder to create or a file to send.
class PasteRun {
public:
    PasteRun(CShellFolder& folder, LPCITEMIDLIST target, const char* base)
        : folder_(folder), target_(target), base_(base), notetaker_(TheNotetaker())
    {
    }

    HRESULT Paste(const std::string& path)
    {
        const char* relative = path.c_str() + strlen(base_);
        char mapped[MAX_PATH];
        if (!MakeDeviceName(mapped, DeviceType(target_), base_, relative)) {
            ShowMessageText(nullptr, ErrorText(mapped, sizeof mapped, CNotetaker::ERR_INVALIDPATH, 0), kErrorBoxFlags);
            return ErrorHResult(CNotetaker::ERR_INVALIDPATH);
        }
        if (!notetaker_) return E_FAIL;
        return IsFolderPath(path) ? MakeFolder(mapped) : SendFile(path, relative, mapped);
    }

private:
    // The target's device path; the device root receives on R:.
    std::string TargetPath() const
    {
        char path[MAX_PATH] = "R:\\";
        if (ItemIdLast(target_)) ItemIdPath(target_, path, sizeof path, false);
        return path;
    }

    HRESULT MakeFolder(const char* mapped)
    {
        const char* name = mapped + (mapped[0] == '\\');
        char rooted[MAX_PATH];
        if (!ItemIdLast(target_)) {
            snprintf(rooted, sizeof rooted, "R:\\%s", name);
            name = rooted;
        }
        DeviceItemData data{ItemIdAttributes(target_) | FILE_ATTRIBUTE_DIRECTORY, Now(), 0};
        ItemIdHolder item(ItemIdCreate(data, name));
        ItemIdHolder folder(item ? ItemIdConcat(target_, item.get()) : nullptr);
        if (!folder) return E_OUTOFMEMORY;
        char path[MAX_PATH];
        ItemIdPath(folder.get(), path, sizeof path, false);
        // A folder that exists already is fine: its files still go into it.
        notetaker_->FolderCreate(path);
        madeFolder_ = true;
        Announce(folder_, target_, SHCNE_MKDIR, item.get());
        return S_OK;
    }

    // A file goes into the device folder that stands for its PC folder, so
    // that the tree keeps its shape whatever order the folders were listed in.
    HRESULT SendFile(const std::string& path, const char* relative, const char* mapped)
    {
        std::string deviceFolder = TargetPath();
        const char* below = mapped + (mapped[0] == '\\');
        if (const char* last = strrchr(below, '\\')) deviceFolder.append(below, last - below + 1);
        HRESULT hr = notetaker_->FilePut(nullptr, path.c_str(), deviceFolder.c_str(), 0);
        if (hr != S_OK) {
            ShowFailure(notetaker_, 0);
            return FAILED(hr) ? hr : E_FAIL;
        }
        if (madeFolder_) return hr;
        DWORD size = 0;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) size = data.nFileSizeLow;
        const char* name = strrchr(relative, '\\');
        DeviceItemData itemData{ItemIdAttributes(target_) & ~DWORD{FILE_ATTRIBUTE_DIRECTORY}, Now(), size};
        ItemIdHolder item(ItemIdCreate(itemData, name ? name + 1 : relative));
        if (item) Announce(folder_, target_, SHCNE_CREATE, item.get());
        return hr;
    }

    CShellFolder& folder_;
    LPCITEMIDLIST target_;
    const char* base_;
    CNotetaker* notetaker_;
    bool madeFolder_ = false;
};

// Deletes the items of a cut on the device, last first, once the target of
// the paste has reported that it moved them.
class FolderDataSink final : public IDataSourceSink, public RefCounted {
public:
    explicit FolderDataSink(CShellFolder& folder) : folder_(&folder) { folder.AddRef(); }

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
        if (SUCCEEDED(hr) && (performed == kMove || performed == DROPEFFECT_NONE)) return DeleteReversed(items);
        return hr;
    }

private:
    ~FolderDataSink() override { folder_->Release(); }

    HRESULT DeleteReversed(const CItemList& items)
    {
        CNotetaker* notetaker = TheNotetaker();
        if (!notetaker) return E_FAIL;
        for (UINT index = items.Count(); index-- > 0;) {
            ItemIdHolder full(ItemIdConcat(folder_->DeviceList(), items.Item(index)));
            if (!full) return E_OUTOFMEMORY;
            char path[MAX_PATH];
            ItemIdPath(full.get(), path, sizeof path, false);
            HRESULT hr = notetaker->FileDelete(path);
            if (FAILED(hr)) {
                MessageBeep(MB_ICONHAND);
                return hr;
            }
            folder_->NotifyChange(ItemIdIsFolder(full.get()) ? SHCNE_RMDIR : SHCNE_DELETE, items.Item(index), nullptr);
        }
        return S_OK;
    }

    CShellFolder* folder_;
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

HRESULT TakeClipboard(DropRequest& request, DWORD& effect)
{
    HRESULT hr = OleGetClipboard(&request.dataObject);
    if (SUCCEEDED(hr)) {
        hr = GetPasteData(request.dataObject, &request.format, &request.medium);
        if (hr == S_FALSE) hr = DV_E_FORMATETC;
    }
    if (FAILED(hr)) {
        if (request.dataObject) request.dataObject->Release();
        request.dataObject = nullptr;
        OleSetClipboard(nullptr);
        return hr;
    }
    if (FAILED(GetDataDword(request.dataObject, g_cfPreferredDropEffect, &effect))) effect = 0;
    return S_OK;
}

}  // namespace

HRESULT ReadHDrop(HDROP hDrop, std::vector<std::string>* paths, char* baseFolder, bool clear)
{
    if (!hDrop || !paths) return E_INVALIDARG;
    if (clear) paths->clear();
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
        paths->emplace_back(path);
        for (; expanded < paths->size(); ++expanded) {
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
    char base[MAX_PATH] = "";
    HRESULT hr = ReadHDrop(hDrop, &paths, base, true);
    if (hr != S_OK) return hr;
    PasteRun run(folder, target, base);
    for (const std::string& path : paths) {
        hr = run.Paste(path);
        if (FAILED(hr)) break;
    }
    return hr;
}

HRESULT PasteDataObject(CShellFolder& folder, HWND listWindow, LPCITEMIDLIST target, DropRequest* request)
{
    if (!request) return E_INVALIDARG;
    if (listWindow) ListView_SetItemState(listWindow, -1, 0, LVIS_CUT);
    DWORD effect = request->effect ? *request->effect : 0;
    const bool fromClipboard = request->dataObject == nullptr;
    if (fromClipboard) {
        HRESULT hr = TakeClipboard(*request, effect);
        if (FAILED(hr)) return hr;
    } else {
        request->dataObject->AddRef();
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
        SetDataDword(request->dataObject, g_cfPerformedDropEffect, kMove);
        SetDataDword(request->dataObject, g_cfPasteSucceeded, kMove);
    }
    if (fromClipboard) {
        OleSetClipboard(nullptr);
        ReleaseStgMedium(&request->medium);
    }
    request->dataObject->Release();
    if (fromClipboard) request->dataObject = nullptr;
    return hr;
}

HRESULT CreateItemsDataObject(CShellFolder& folder, HWND owner, UINT count, const LPCITEMIDLIST* items, void** ppv)
{
    CNotetaker* notetaker = TheNotetaker();
    CItemList list;
    if (!notetaker || !list.CopyFrom(items, count)) return E_OUTOFMEMORY;
    FolderDevice device(*notetaker, folder.DeviceList());
    if (!list.ExpandFolders(device)) return E_OUTOFMEMORY;
    auto* sink = new (std::nothrow) FolderDataSink(folder);
    if (!sink) return E_OUTOFMEMORY;
    LPITEMIDLIST* array = nullptr;
    const UINT total = list.Detach(&array);
    OwnerBlock block{array, total};
    auto* dataObject = new (std::nothrow) CDataObject(sink, &block, sizeof block);
    sink->Release();
    if (!dataObject || !dataObject->Valid()) {
        list.Attach(array, total);
        if (dataObject) dataObject->Release();
        return E_OUTOFMEMORY;
    }
    HRESULT hr = FillDataObject(owner, dataObject, folder.DeviceList(), total, array);
    if (FAILED(hr)) {
        // Releasing the object hands the items to the sink, which frees them.
        dataObject->Release();
        return hr;
    }
    *ppv = static_cast<IDataObject*>(dataObject);
    return S_OK;
}

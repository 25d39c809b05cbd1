#include "shell/CDataObject.h"

#include <cstring>
#include <utility>

#include "devicefiles/ErrorText.h"
#include "devicelink/CNotetaker.h"
#include "shell/CEnumFormatEtc.h"
#include "shell/CFileStream.h"
#include "shell/ClipFormats.h"
#include "shell/ItemId.h"

namespace {

constexpr DWORD kDescriptorFlags = FD_ATTRIBUTES | FD_CREATETIME | FD_ACCESSTIME | FD_WRITESTIME | FD_FILESIZE;
constexpr DWORD kHandleMedia = TYMED_HGLOBAL | TYMED_GDI | TYMED_MFPICT | TYMED_ENHMF;
constexpr DWORD kInterfaceMedia = TYMED_ISTREAM | TYMED_ISTORAGE;

FORMATETC ContentFormat(UINT16 format, LONG index, DWORD tymed)
{
    return FORMATETC{format, nullptr, DVASPECT_CONTENT, index, tymed};
}

bool SameObject(IUnknown* a, IUnknown* b)
{
    ComPtr<IUnknown> identityA, identityB;
    a->QueryInterface(IID_IUnknown, identityA.putVoid());
    b->QueryInterface(IID_IUnknown, identityB.putVoid());
    return identityA && identityA.get() == identityB.get();
}

// Shares or duplicates a medium that the caller keeps.
HRESULT CopyMedium(const STGMEDIUM& from, UINT16 format, STGMEDIUM& to)
{
    to = from;
    if (from.pUnkForRelease) {
        from.pUnkForRelease->AddRef();
        if (from.tymed & kInterfaceMedia) from.pstm->AddRef();
        return S_OK;
    }
    if (from.tymed & kInterfaceMedia) {
        from.pstm->AddRef();
        return S_OK;
    }
    if (from.tymed & kHandleMedia) {
        to.hGlobal = static_cast<HGLOBAL>(OleDuplicateData(from.hGlobal, format, 0));
        return to.hGlobal ? S_OK : E_OUTOFMEMORY;
    }
    if (from.tymed == TYMED_FILE && from.lpszFileName) {
        size_t bytes = (wcslen(from.lpszFileName) + 1) * sizeof(WCHAR);
        to.lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (!to.lpszFileName) return E_OUTOFMEMORY;
        memcpy(to.lpszFileName, from.lpszFileName, bytes);
        return S_OK;
    }
    to = STGMEDIUM{};
    return DV_E_TYMED;
}

// The descriptor's name: the path below the selected-in folder, without
// the drive of its first part and without a folder's trailing backslash.
void DescriptorName(PCUIDLIST_RELATIVE item, char* name, size_t size)
{
    size_t length = ItemIdPath(item, name, size, true);
    if (length > 0 && name[length - 1] == '\\') name[length - 1] = '\0';
}

// The device keeps local time; a file descriptor carries UTC.
FILETIME UtcTime(PCUIDLIST_RELATIVE item)
{
    FILETIME local = ItemIdTime(item), utc{};
    LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

// Hands a global block to the data object, which owns it from then on;
// a refused block is freed by its owner here.
HRESULT StoreBlock(IDataObject* dataObject, UINT16 format, ScopedGlobal block)
{
    FORMATETC request = ContentFormat(format, -1, TYMED_HGLOBAL);
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block.get();
    const HRESULT hr = dataObject->SetData(&request, &medium, TRUE);
    if (SUCCEEDED(hr)) block.release();
    return hr;
}

void CopyName(char (&to)[MAX_PATH], const char* name) { lstrcpynA(to, name, MAX_PATH); }
void CopyName(WCHAR (&to)[MAX_PATH], const char* name)
{
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, to, MAX_PATH)) to[0] = L'\0';
}

// The descriptor block in its ANSI or its wide form.
template <class Group>
HRESULT StoreDescriptor(IDataObject* dataObject, UINT16 format, UINT count, const PCUIDLIST_RELATIVE* items)
{
    ScopedGlobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(Group) + count * sizeof(Group::fgd[0])));
    auto* group = block ? static_cast<Group*>(GlobalLock(block.get())) : nullptr;
    if (!group) return E_OUTOFMEMORY;
    group->cItems = count;
    for (UINT i = 0; i < count; ++i) {
        auto& file = group->fgd[i];
        file.dwFlags = kDescriptorFlags;
        // The identifier's attributes mark the device's entry types (SYSTEM for
        // F: folders, OFFLINE for special entries); a PC file gets none of them.
        file.dwFileAttributes = ItemIdIsFolder(items[i]) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        file.ftCreationTime = file.ftLastAccessTime = file.ftLastWriteTime = UtcTime(items[i]);
        file.nFileSizeLow = ItemIdFileSize(items[i]);
        char name[MAX_PATH];
        DescriptorName(items[i], name, sizeof name);
        CopyName(file.cFileName, name);
    }
    GlobalUnlock(block.get());
    return StoreBlock(dataObject, format, std::move(block));
}

bool IsFileFormat(CLIPFORMAT format)
{
    return format == g_cfFileGroupDescriptorW || format == g_cfFileGroupDescriptor || format == g_cfFileContents;
}

HRESULT StoreStream(HWND owner, IDataObject* dataObject, PCUIDLIST_RELATIVE folder, PCUIDLIST_RELATIVE item, LONG index,
                    const std::shared_ptr<CFileStream::Batch>& batch)
{
    ItemIdHolder full(ItemIdConcat(folder, item));
    if (!full) return E_OUTOFMEMORY;
    char path[MAX_PATH];
    ItemIdPath(full.get(), path, sizeof path, false);
    ComPtr<CFileStream> stream = MakeComObject<CFileStream>(owner, path, UtcTime(item), ItemIdFileSize(item),
                                                            ItemIdIsFolder(item) ? nullptr : batch);
    if (!stream) return E_OUTOFMEMORY;
    FORMATETC format = ContentFormat(g_cfFileContents, index, TYMED_ISTREAM);
    STGMEDIUM medium{};
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = stream.get();
    HRESULT hr = dataObject->SetData(&format, &medium, TRUE);
    if (SUCCEEDED(hr)) stream.detach();  // the data object owns it now
    return hr;
}

}  // namespace

CDataObject::CDataObject(IDataSourceSink* sink)
{
    if (!sink) return;
    sink->AddRef();
    sink_.reset(sink);
    // Offered before they are filled, the wide descriptor first as Explorer prefers it.
    for (const FORMATETC& format : {ContentFormat(g_cfFileGroupDescriptorW, -1, TYMED_HGLOBAL),
                                    ContentFormat(g_cfFileGroupDescriptor, -1, TYMED_HGLOBAL),
                                    ContentFormat(g_cfFileContents, -1, TYMED_ISTREAM)})
        entries_.push_back(Entry{format, ScopedMedium()});
}

UINT CDataObject::FormatCount()
{
    CriticalSection::Held held(lock_);
    return static_cast<UINT>(entries_.size());
}

bool CDataObject::Format(UINT index, FORMATETC* format)
{
    CriticalSection::Held held(lock_);
    if (index >= entries_.size()) return false;
    *format = entries_[index].format;
    return true;
}

STDMETHODIMP CDataObject::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv && IsEqualIID(riid, IID_CDataObject)) {
        AddRef();
        *ppv = this;
        return S_OK;
    }
    static const QiEntry table[] = {
        QI_ENTRY(CDataObject, IDataObject),
        QI_ENTRY(CDataObject, IDataObjectAsyncCapability),
        {nullptr, 0},
    };
    return QiSearch(this, table, riid, ppv);
}

HRESULT CDataObject::fill()
{
    CriticalSection::Held filling(fillLock_);  // another thread waits here for the fill to end
    {
        CriticalSection::Held held(lock_);
        if (!sink_ || filled_) return S_OK;
        // A call from this thread's own wait (a WM_RENDERFORMAT, a target
        // asking again from the pump) is answered busy, as the device thread
        // answers a second request from a waiting thread: a second fill would
        // ask the device from inside the first one's wait.
        if (filling_) return ErrorHResult(CNotetaker::ERR_BUSY);
        filling_ = true;
    }
    const HRESULT hr = sink_->FillFiles(this);
    CriticalSection::Held held(lock_);
    filling_ = false;
    filled_ = SUCCEEDED(hr);
    return hr;
}

void CDataObject::checkPastedMove()
{
    DWORD pasted = 0, performed = 0;
    if (FAILED(GetDataDword(this, g_cfPasteSucceeded, &pasted)) || pasted != DROPEFFECT_MOVE) return;
    if (FAILED(GetDataDword(this, g_cfPerformedDropEffect, &performed))) return;
    // An optimized move (performed NONE) is one the target carried out
    // itself: the source deletes nothing.
    if (performed == DROPEFFECT_MOVE) ReportMove();
}

HRESULT CDataObject::ReportMove()
{
    if (!sink_ || InterlockedExchange(&moved_, 1) != 0) return S_FALSE;
    return sink_->FilesMoved(this);
}

HRESULT CDataObject::find(const FORMATETC* format, bool adding, Entry** found)
{
    if (format->ptd) return DV_E_DVTARGETDEVICE;
    for (Entry& entry : entries_) {
        if (entry.format.cfFormat != format->cfFormat || entry.format.dwAspect != format->dwAspect ||
            entry.format.lindex != format->lindex)
            continue;
        if (!adding && !(entry.format.tymed & format->tymed)) return DV_E_TYMED;
        *found = &entry;
        return S_OK;
    }
    // Before the fill every index of the promised contents is on offer.
    if (!adding && sink_ && !filled_ && format->cfFormat == g_cfFileContents && format->lindex >= 0) {
        FORMATETC promised = *format;
        promised.lindex = -1;
        return find(&promised, false, found);
    }
    if (!adding) return DV_E_FORMATETC;
    Entry added{*format, ScopedMedium()};
    added.format.ptd = nullptr;
    entries_.push_back(std::move(added));
    *found = &entries_.back();
    return S_OK;
}

STDMETHODIMP CDataObject::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    if (!format || !medium) return E_INVALIDARG;
    HRESULT hr = IsFileFormat(format->cfFormat) ? fill() : S_OK;  // waits for the device without the lock
    if (FAILED(hr)) return hr;
    CriticalSection::Held held(lock_);
    Entry* entry = nullptr;
    hr = find(format, false, &entry);
    if (FAILED(hr)) return hr;
    if (entry->medium->tymed == TYMED_NULL) return DV_E_FORMATETC;  // promised, and not there after the fill
    *medium = *entry->medium;
    // Every reader of a stream starts at its beginning with a position of its
    // own: a second paste of the same copy reads whole files again.
    if (medium->tymed == TYMED_ISTREAM && SUCCEEDED(entry->medium->pstm->Clone(&medium->pstm))) {
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    medium->pstm = entry->medium->pstm;
    if (medium->tymed & kInterfaceMedia) medium->pstm->AddRef();
    if (medium->tymed == TYMED_ISTREAM) medium->pstm->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    if (medium->pUnkForRelease) {
        medium->pUnkForRelease->AddRef();
    } else if (!(medium->tymed & kInterfaceMedia)) {
        // The block stays ours; the receiver frees it by releasing us.
        medium->pUnkForRelease = static_cast<IDataObject*>(this);
        AddRef();
    }
    return S_OK;
}

STDMETHODIMP CDataObject::QueryGetData(FORMATETC* format)
{
    if (!format) return E_INVALIDARG;
    CriticalSection::Held held(lock_);
    Entry* entry = nullptr;
    return find(format, false, &entry);
}

STDMETHODIMP CDataObject::GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out)
{
    if (!out) return E_INVALIDARG;
    if (in) *out = *in;
    out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP CDataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release)
{
    if (!format || !medium) return E_INVALIDARG;
    {
        CriticalSection::Held held(lock_);
        Entry* entry = nullptr;
        HRESULT hr = find(format, true, &entry);
        if (FAILED(hr)) return hr;
        entry->medium.reset();
        if (release) entry->medium.reset(*medium);
        else hr = CopyMedium(*medium, format->cfFormat, *entry->medium.get());
        if (FAILED(hr)) return hr;
        entry->format.tymed = entry->medium->tymed;
        IUnknown* owner = entry->medium->pUnkForRelease;
        if (owner && SameObject(owner, static_cast<IDataObject*>(this))) {
            // Holding ourselves would keep us alive for ever.
            entry->medium.get()->pUnkForRelease = nullptr;
            owner->Release();
        }
    }
    // A pasting target reports a move with these two, in either order.
    if (format->cfFormat == g_cfPasteSucceeded || format->cfFormat == g_cfPerformedDropEffect) checkPastedMove();
    return S_OK;
}

STDMETHODIMP CDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator)
{
    if (!enumerator) return E_POINTER;
    *enumerator = nullptr;
    if (direction != DATADIR_GET) return E_FAIL;
    return CreateComObject<CEnumFormatEtc>(IID_IEnumFORMATETC, reinterpret_cast<void**>(enumerator), this, 0);
}

STDMETHODIMP CDataObject::SetAsyncMode(BOOL async)
{
    async_ = async;
    return S_OK;
}

STDMETHODIMP CDataObject::GetAsyncMode(BOOL* async)
{
    if (!async) return E_POINTER;
    *async = async_;
    return S_OK;
}

STDMETHODIMP CDataObject::StartOperation(IBindCtx*)
{
    inOperation_ = TRUE;
    return S_OK;
}

STDMETHODIMP CDataObject::InOperation(BOOL* inOperation)
{
    if (!inOperation) return E_POINTER;
    *inOperation = async_ && inOperation_;
    return S_OK;
}

// A target that copied on its own thread reports a move here.
STDMETHODIMP CDataObject::EndOperation(HRESULT result, IBindCtx*, DWORD effect)
{
    endEffect_ = effect;
    inOperation_ = FALSE;
    if (SUCCEEDED(result) && effect == DROPEFFECT_MOVE) ReportMove();
    return S_OK;
}

HRESULT FillDataObject(HWND owner, IDataObject* dataObject, PCUIDLIST_RELATIVE folder, UINT count,
                       const PCUIDLIST_RELATIVE* items)
{
    if (!dataObject || (count > 0 && !items)) return E_INVALIDARG;
    HRESULT hr = StoreDescriptor<FILEGROUPDESCRIPTORW>(dataObject, g_cfFileGroupDescriptorW, count, items);
    if (SUCCEEDED(hr)) hr = StoreDescriptor<FILEGROUPDESCRIPTORA>(dataObject, g_cfFileGroupDescriptor, count, items);
    const std::shared_ptr<CFileStream::Batch> batch = CFileStream::NewBatch();  // one copy-out, one progress window
    for (UINT i = 0; SUCCEEDED(hr) && i < count; ++i)
        hr = StoreStream(owner, dataObject, folder, items[i], static_cast<LONG>(i), batch);
    return hr;
}

HRESULT SetDataDword(IDataObject* dataObject, UINT16 format, DWORD value)
{
    if (!dataObject) return E_INVALIDARG;
    ScopedGlobal block(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, sizeof value));
    if (!block) return E_OUTOFMEMORY;
    *static_cast<DWORD*>(block.get()) = value;
    return StoreBlock(dataObject, format, std::move(block));
}

HRESULT GetDataDword(IDataObject* dataObject, UINT16 format, DWORD* value)
{
    if (!dataObject || !value) return E_INVALIDARG;
    FORMATETC request = ContentFormat(format, -1, TYMED_HGLOBAL);
    ScopedMedium medium;
    const HRESULT hr = dataObject->GetData(&request, medium.put());
    if (FAILED(hr)) return hr;
    auto* data = static_cast<const DWORD*>(GlobalLock(medium->hGlobal));
    if (!data) return E_UNEXPECTED;
    *value = *data;
    GlobalUnlock(medium->hGlobal);
    return hr;
}

HRESULT QueryPasteFormat(IDataObject* dataObject, FORMATETC* format)
{
    if (!dataObject || !format) return E_INVALIDARG;
    UINT count = 0;
    const FORMATETC* formats = PasteFormats(count);
    for (UINT i = 0; i < count; ++i) {
        FORMATETC candidate = formats[i];
        if (dataObject->QueryGetData(&candidate) == S_OK) {
            *format = candidate;
            return S_OK;
        }
    }
    return S_FALSE;
}

bool ClipboardCanPaste()
{
    ComPtr<IDataObject> clipboard;
    if (FAILED(OleGetClipboard(clipboard.put())) || !clipboard) return false;
    FORMATETC format;
    return QueryPasteFormat(clipboard.get(), &format) == S_OK;
}

HRESULT GetPasteData(IDataObject* dataObject, FORMATETC* format, STGMEDIUM* medium)
{
    if (!medium) return E_INVALIDARG;
    HRESULT hr = QueryPasteFormat(dataObject, format);
    if (hr != S_OK) return hr;
    return dataObject->GetData(format, medium);
}

bool StreamReadWhole(IDataObject* dataObject, LONG index)
{
    FORMATETC request = ContentFormat(g_cfFileContents, index, TYMED_ISTREAM);
    ScopedMedium medium;
    if (FAILED(dataObject->GetData(&request, medium.put())) || medium->tymed != TYMED_ISTREAM) return false;
    ComPtr<CFileStream> stream;
    return SUCCEEDED(medium->pstm->QueryInterface(IID_CFileStream, stream.putVoid())) && stream->ReadWhole();
}

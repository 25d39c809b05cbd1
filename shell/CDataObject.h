#pragma once
// The data object handed out for copy, cut and drag of device items: the
// virtual-file formats over the selected items, and a general store of
// whatever formats the view and drop targets put on it.
#include <windows.h>
#include <objidl.h>
#include <shldisp.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "foundation/ScopedHandle.h"
#include "shell/ComBase.h"

// Who made the data object, told once when it is destroyed.
struct DataObjectRecord {
    IDataObject* dataObject;
    const void* owner;  // the owner block given at creation
    DWORD ownerLength;
};

// {3F0C1B8E-6A52-4C1D-9E47-2B8D5A9C7E31}
inline constexpr IID IID_IDataSourceSink = {
    0x3F0C1B8E, 0x6A52, 0x4C1D, {0x9E, 0x47, 0x2B, 0x8D, 0x5A, 0x9C, 0x7E, 0x31}};

struct IDataSourceSink : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DataObjectReleased(const DataObjectRecord* record) = 0;
};

class CDataObject final : public IDataObject, public IDataObjectAsyncCapability, public RefCounted {
public:
    // The sink (may be null) gains a reference; the owner block is copied.
    CDataObject(IDataSourceSink* sink, const void* owner, DWORD ownerLength);
    bool Valid() const { return ownerLength_ == 0 || owner_; }

    UINT FormatCount() const { return static_cast<UINT>(entries_.size()); }
    const FORMATETC& Format(UINT index) const { return entries_[index].format; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override;

    // IDataObject
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) override;
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    // IDataObjectAsyncCapability (once named IAsyncOperation)
    STDMETHODIMP SetAsyncMode(BOOL async) override;
    STDMETHODIMP GetAsyncMode(BOOL* async) override;
    STDMETHODIMP StartOperation(IBindCtx*) override;
    STDMETHODIMP InOperation(BOOL* inOperation) override;
    STDMETHODIMP EndOperation(HRESULT, IBindCtx*, DWORD effect) override;

private:
    struct Entry {
        FORMATETC format;  // never with a target device
        ScopedMedium medium;
    };
    ~CDataObject() override;
    // The stored entry for a request, or an error; `adding` appends a new
    // entry instead of failing on no match.
    HRESULT find(const FORMATETC* format, bool adding, Entry** found);

    bool destroying_ = false;
    BOOL async_ = FALSE;
    BOOL inOperation_ = FALSE;
    DWORD endEffect_ = 0;
    std::vector<Entry> entries_;
    ComPtr<IDataSourceSink> sink_;
    BYTE* owner_ = nullptr;
    DWORD ownerLength_ = 0;
};

// Describes the items (relative to the folder's device list) as virtual
// files: one "FileGroupDescriptor" and one "FileContents" stream per item.
HRESULT FillDataObject(HWND owner, IDataObject* dataObject, PCUIDLIST_RELATIVE folder, UINT count,
                       const PCUIDLIST_RELATIVE* items);

// A DWORD in a 4-byte global block: "Preferred DropEffect" and its kind.
HRESULT SetDataDword(IDataObject* dataObject, UINT16 format, DWORD value);
HRESULT GetDataDword(IDataObject* dataObject, UINT16 format, DWORD* value);

// The first pasteable format the data object offers; S_FALSE for none.
HRESULT QueryPasteFormat(IDataObject* dataObject, FORMATETC* format);
bool ClipboardCanPaste();
// The data in the first pasteable format; S_FALSE when none is offered.
HRESULT GetPasteData(IDataObject* dataObject, FORMATETC* format, STGMEDIUM* medium);

// The device paths behind the "FileContents" streams of such an object.
HRESULT GetDataObjectPaths(IDataObject* dataObject, std::vector<std::string>* paths);

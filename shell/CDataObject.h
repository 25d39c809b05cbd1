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

#include "foundation/CriticalSection.h"
#include "foundation/ScopedHandle.h"
#include "shell/ComBase.h"

// {3F0C1B8E-6A52-4C1D-9E47-2B8D5A9C7E31}
inline constexpr IID IID_IDataSourceSink = {
    0x3F0C1B8E, 0x6A52, 0x4C1D, {0x9E, 0x47, 0x2B, 0x8D, 0x5A, 0x9C, 0x7E, 0x31}};

// The folder behind a data object of device files. Windows' copy engine
// reads the files on a thread of its own and releases the object whenever it
// likes, so the device is listed when a target first wants the files and
// the cut files go when the target reports the move, not at the release.
struct IDataSourceSink : public IUnknown {
    // Stores the descriptors and streams of the files on the data object.
    virtual HRESULT STDMETHODCALLTYPE FillFiles(IDataObject* dataObject) = 0;
    // Called once, when a target has reported that it moved the files.
    virtual HRESULT STDMETHODCALLTYPE FilesMoved(IDataObject* dataObject) = 0;
};

// {5A8E2C47-0B91-4E6D-A3F2-8C7D1B4E9A60}: answers with the CDataObject itself.
inline constexpr IID IID_CDataObject = {0x5A8E2C47, 0x0B91, 0x4E6D, {0xA3, 0xF2, 0x8C, 0x7D, 0x1B, 0x4E, 0x9A, 0x60}};

// Safe to call from several threads: Explorer's copy engine reads it on a
// thread of its own while the window's thread may still ask what it offers.
class CDataObject final : public IDataObject, public IDataObjectAsyncCapability, public RefCounted {
public:
    // A sink (may be null; it gains a reference) makes the object offer the
    // virtual-file formats before they are filled.
    explicit CDataObject(IDataSourceSink* sink);

    UINT FormatCount();
    bool Format(UINT index, FORMATETC* format);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

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

    // Tells the sink, once, that a target moved the files: the sink's result,
    // S_FALSE when there is no sink or it was told before.
    HRESULT ReportMove();

private:
    struct Entry {
        FORMATETC format;  // never with a target device
        ScopedMedium medium;
    };
    ~CDataObject() override = default;
    // The stored entry for a request, or an error; `adding` appends a new
    // entry instead of failing on no match.
    HRESULT find(const FORMATETC* format, bool adding, Entry** found);
    // Asks the sink for the files once; a failed fill is tried again.
    HRESULT fill();
    // Tells the sink, once, when the two formats of a pasting target say that it moved the files.
    void checkPastedMove();

    CriticalSection lock_;      // everything below; never held while the device is waited for
    CriticalSection fillLock_;  // held by the one thread that fills
    bool filling_ = false;
    // Windows' copy engine reads the files on a thread of its own when the
    // source allows it, so that a slow serial line does not stop Explorer.
    BOOL async_ = TRUE;
    BOOL inOperation_ = FALSE;
    DWORD endEffect_ = 0;
    bool filled_ = false;
    volatile LONG moved_ = 0;
    std::vector<Entry> entries_;
    ComPtr<IDataSourceSink> sink_;
};

// Describes the items (relative to the folder's device list) as virtual
// files: "FileGroupDescriptorW" and "FileGroupDescriptor", and one
// "FileContents" stream per item.
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

// True when the stream at `index` was read whole by a target (CFileStream::ReadWhole).
bool StreamReadWhole(IDataObject* dataObject, LONG index);

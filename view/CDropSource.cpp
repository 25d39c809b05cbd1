#include "view/CDropSource.h"

#include "shell/CDataObject.h"
#include "shell/ClipFormats.h"

CDropSource::CDropSource(IDataObject* dataObject, HWND window)
{
    dataObject->AddRef();
    dataObject_.reset(dataObject);
    if (SUCCEEDED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDragSourceHelper,
                                   image_.putVoid()))) {
        POINT origin{0, 0};
        image_->InitializeFromWindow(window, &origin, dataObject);
    }
}

STDMETHODIMP CDropSource::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv && IsEqualIID(riid, IID_IDataObject)) {
        dataObject_->AddRef();
        *ppv = dataObject_.get();
        return S_OK;
    }
    static const QiEntry table[] = {QI_ENTRY(CDropSource, IDropSource), {nullptr, 0}};
    return QiSearch(this, table, riid, ppv);
}

STDMETHODIMP CDropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState)
{
    if (escapePressed) return DRAGDROP_S_CANCEL;
    return (keyState & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
}

HRESULT RunDrag(HWND listWindow, IDataObject* dataObject)
{
    if (!dataObject) return E_INVALIDARG;
    ComPtr<CDropSource> source = MakeComObject<CDropSource>(dataObject, listWindow);
    if (!source) return E_OUTOFMEMORY;
    DWORD effect = DROPEFFECT_NONE;
    HRESULT hr = DoDragDrop(dataObject, source.get(), DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    source.reset();
    if (FAILED(hr)) return hr;
    HRESULT finished = FinishDrag(dataObject, hr, effect);
    return FAILED(finished) ? finished : hr;
}

HRESULT FinishDrag(IDataObject* dataObject, HRESULT dragResult, DWORD effect)
{
    if (dragResult != DRAGDROP_S_DROP || effect != DROPEFFECT_MOVE) return S_OK;
    // The target says what it did in "Performed DropEffect": a move there
    // too, or the files are not ours to delete (NONE is an optimized move,
    // one the target carried out itself).
    DWORD performed = DROPEFFECT_NONE;
    if (FAILED(GetDataDword(dataObject, g_cfPerformedDropEffect, &performed)) || performed != DROPEFFECT_MOVE)
        return S_OK;
    // A target that copies on a thread of its own is still reading the files:
    // the data object deletes them when that target ends with a move.
    ComPtr<IDataObjectAsyncCapability> async;
    BOOL reading = FALSE;
    if (SUCCEEDED(dataObject->QueryInterface(IID_IDataObjectAsyncCapability, async.putVoid())) &&
        SUCCEEDED(async->InOperation(&reading)) && reading)
        return S_OK;
    ComPtr<CDataObject> ours;
    if (FAILED(dataObject->QueryInterface(IID_CDataObject, ours.putVoid()))) return S_OK;
    const HRESULT hr = ours->ReportMove();  // deletes what the target read whole
    // Only our own object leaves the clipboard, never what the user copied since.
    if (hr == S_OK && OleIsCurrentClipboard(dataObject) == S_OK) return OleSetClipboard(nullptr);
    return hr;
}

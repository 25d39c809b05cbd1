#include "view/CDropSource.h"

#include <string>
#include <vector>

#include "devicefiles/DeviceThread.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "shell/CDataObject.h"

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

HRESULT RunDrag(HWND listWindow, IDataObject* dataObject, DWORD* chosen)
{
    if (!dataObject) return E_INVALIDARG;
    ComPtr<CDropSource> source = MakeComObject<CDropSource>(dataObject, listWindow);
    if (!source) return E_OUTOFMEMORY;
    DWORD effect = DROPEFFECT_NONE;
    HRESULT hr = DoDragDrop(dataObject, source.get(), DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    source.reset();
    if (chosen) *chosen = effect;
    if (FAILED(hr)) return hr;
    HRESULT finished = FinishDrag(dataObject, hr, effect, listWindow);
    return FAILED(finished) ? finished : hr;
}

HRESULT FinishDrag(IDataObject* dataObject, HRESULT dragResult, DWORD effect, HWND window)
{
    if (dragResult != DRAGDROP_S_DROP || effect != DROPEFFECT_MOVE) return S_OK;
    // A target that copies on a thread of its own is still reading the files:
    // the data object deletes them when that target ends with a move.
    ComPtr<IDataObjectAsyncCapability> async;
    BOOL reading = FALSE;
    if (SUCCEEDED(dataObject->QueryInterface(IID_IDataObjectAsyncCapability, async.putVoid())) &&
        SUCCEEDED(async->InOperation(&reading)) && reading)
        return S_OK;
    std::vector<std::string> paths;
    HRESULT hr = GetDataObjectPaths(dataObject, &paths);
    if (FAILED(hr)) return hr;
    for (size_t index = paths.size(); index-- > 0;) {
        const DeviceAnswer answer = DeviceAsk(window, [&](CNotetaker& notetaker) {
            return static_cast<int>(notetaker.FileDelete(paths[index].c_str()));
        });
        if (answer.Failed()) {
            if (window) ShowDeviceRefusal(window, answer.words.c_str());
            return answer.Result();
        }
    }
    return OleSetClipboard(nullptr);
}

#include "view/CDropTarget.h"

#include <commctrl.h>

#include <cstring>

#include "foundation/ScopedHandle.h"
#include "shell/CDataObject.h"

namespace {

// Only a list control shows drop marks; a plain window is never marked.
bool IsListWindow(HWND window)
{
    char name[64] = "";
    return window && GetClassNameA(window, name, sizeof name) && strstr(name, "ListView");
}

// Shift moves, anything else copies, among the effects the source allows:
// a source that only lets its files be copied must not lose them.
DWORD ChooseEffect(DWORD keyState, DWORD allowed)
{
    const DWORD wanted = (keyState & MK_SHIFT) ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
    if (allowed & wanted) return wanted;
    if (allowed & DROPEFFECT_COPY) return DROPEFFECT_COPY;
    return allowed & DROPEFFECT_MOVE;
}

}  // namespace

CDropTarget::CDropTarget(HWND window, IDropSink* sink, LPCITEMIDLIST target, UINT targetSize, HWND owner)
    : window_(window), owner_(window ? window : owner)
{
    if (window_) {
        registered_ = SUCCEEDED(RegisterDragDrop(window_, this));
        // Without the shell's helper the drag works the same, only without an image.
        CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTargetHelper, image_.putVoid());
    }
    if (target && targetSize) target_.reset(ItemIdCopy(target));
    if (sink) sink->AddRef();
    sink_.reset(sink);
}

CDropTarget::~CDropTarget() { Revoke(); }

void CDropTarget::Revoke()
{
    if (registered_) RevokeDragDrop(window_);
    registered_ = false;
}

STDMETHODIMP CDropTarget::QueryInterface(REFIID riid, void** ppv)
{
    static const QiEntry table[] = {QI_ENTRY(CDropTarget, IDropTarget), {nullptr, 0}};
    return QiSearch(this, table, riid, ppv);
}

STDMETHODIMP CDropTarget::DragEnter(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect)
{
    if (!dataObject) return E_INVALIDARG;
    Forget();
    if (QueryPasteFormat(dataObject, &format_) == S_OK) {
        hasFormat_ = true;
        dataObject->AddRef();
        dataObject_.reset(dataObject);
    }
    POINT at{point.x, point.y};
    if (image_) image_->DragEnter(window_, dataObject, &at, effect ? *effect : DROPEFFECT_NONE);
    return DragOver(keyState, point, effect);
}

STDMETHODIMP CDropTarget::DragOver(DWORD keyState, POINTL point, DWORD* effect)
{
    if (!effect) return E_INVALIDARG;
    if (dataObject_ && hasFormat_) {
        *effect = ChooseEffect(keyState, *effect);
        Highlight(&point);
    } else {
        *effect = DROPEFFECT_NONE;
        Highlight(nullptr);
    }
    POINT at{point.x, point.y};
    if (image_) image_->DragOver(&at, *effect);
    return S_OK;
}

STDMETHODIMP CDropTarget::DragLeave()
{
    Forget();
    if (image_) image_->DragLeave();
    Highlight(nullptr);
    return S_OK;
}

STDMETHODIMP CDropTarget::Drop(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect)
{
    HRESULT hr = DragOver(keyState, point, effect);
    if (FAILED(hr)) return hr;
    POINT at{point.x, point.y};
    if (image_) image_->Drop(dataObject, &at, *effect);
    if (!dataObject) return E_INVALIDARG;
    if (!hasFormat_) {
        Highlight(nullptr);
        return E_UNEXPECTED;
    }
    DropRequest request{};
    request.dataObject = dataObject;
    request.format = format_;
    request.keyState = keyState;
    request.effect = effect;
    request.point = point;
    request.mediumValid = 1;
    request.target = target_.get();
    request.targetSize = ItemIdSize(target_.get());
    request.owner = owner_;
    Forget();
    ScopedMedium medium;  // the request borrows it
    hr = dataObject->GetData(&request.format, medium.put());
    if (SUCCEEDED(hr)) {
        request.medium = *medium;
        hr = sink_ ? sink_->DropData(&request) : E_UNEXPECTED;
    }
    Highlight(nullptr);
    return hr;
}

void CDropTarget::Highlight(const POINTL* point) const
{
    if (!IsListWindow(window_)) return;
    ListView_SetItemState(window_, -1, 0, LVIS_DROPHILITED);
    if (!point) return;
    LVHITTESTINFO hit{};
    hit.pt = POINT{point->x, point->y};
    if (!ScreenToClient(window_, &hit.pt)) return;
    int item = ListView_HitTest(window_, &hit);
    if (item >= 0) ListView_SetItemState(window_, item, LVIS_DROPHILITED, LVIS_DROPHILITED);
}

void CDropTarget::Forget()
{
    dataObject_.reset();
    hasFormat_ = false;
}

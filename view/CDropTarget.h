#pragma once
// Receives OLE drags of PC files: on the view's list window, where it marks
// the item under the pointer, or handed out by the folder for a device
// folder shown elsewhere. What is dropped goes to its sink.
#include <windows.h>
#include <oleidl.h>
#include <shlobj.h>

#include "shell/ComBase.h"
#include "shell/ItemId.h"
#include "shell/Paste.h"

class CDropTarget final : public IDropTarget, public RefCounted {
public:
    // With a window, registers itself for it; the target identifier (relative
    // to the device root, may be null) is copied and goes into each request.
    // `owner`, for a target without a window: the window of whoever asked for
    // it, which owns the dropped paste's progress and boxes (may be null).
    CDropTarget(HWND window, IDropSink* sink, LPCITEMIDLIST target, UINT targetSize, HWND owner = nullptr);
    // OLE holds a reference while the window is registered, so the owner of
    // the window revokes it before letting the target go.
    void Revoke();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    // IDropTarget
    STDMETHODIMP DragEnter(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect) override;

private:
    ~CDropTarget() override;
    // Marks the list item under the point (screen coordinates) as the drop
    // target; none clears every mark.
    void Highlight(const POINTL* point) const;
    void Forget();

    HWND window_ = nullptr;
    HWND owner_ = nullptr;
    bool registered_ = false;
    ComPtr<IDataObject> dataObject_;
    ComPtr<IDropTargetHelper> image_;
    bool hasFormat_ = false;
    FORMATETC format_{};
    ComPtr<IDropSink> sink_;
    ItemIdHolder target_;
};

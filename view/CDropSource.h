#pragma once
// The source side of a drag of device items out of the view: it ends the
// drag on Esc or when the left button is let go, with the shell's image of
// the dragged items where the platform has it.
#include <windows.h>
#include <oleidl.h>
#include <shlobj.h>

#include "shell/ComBase.h"

class CDropSource final : public IDropSource, public RefCounted {
public:
    // Holds the dragged data object; the image is taken from the window.
    CDropSource(IDataObject* dataObject, HWND window);

    // IUnknown; IID_IDataObject gives the dragged data object.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    // IDropSource
    STDMETHODIMP QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    ~CDropSource() override = default;

    ComPtr<IDataObject> dataObject_;
    ComPtr<IDragSourceHelper> image_;
};

// Drags the data object of device items from the list window, copying or
// moving, and removes the dragged files from the device after a move.
// DRAGDROP_S_DROP or DRAGDROP_S_CANCEL, or the first failure.
HRESULT RunDrag(HWND listWindow, IDataObject* dataObject);

// What follows the drag: when the drop's result and the target's
// "Performed DropEffect" both say move, the data object's folder deletes the
// files the target read whole, last first, up to the first failure, and
// their rows leave the views as each goes; the clipboard is emptied when
// all are gone and it still holds this object. S_FALSE: nothing deleted or
// some files kept.
HRESULT FinishDrag(IDataObject* dataObject, HRESULT dragResult, DWORD effect);

#pragma once
// The shell's enumerator over one device folder: a snapshot listed once,
// on the device thread, before the enumerator is handed out.
#include <windows.h>
#include <shlobj.h>

#include "shell/CItemList.h"
#include "shell/ComBase.h"

class CEnumIDList final : public IEnumIDList, public RefCounted {
public:
    // Lists `folder` (null: the device root) on `device`: 0 or the device's
    // failure. No reference is kept on the device.
    template <class Device>
    int Fill(Device& device, LPCITEMIDLIST folder, DWORD flags)
    {
        return items_.FillFromDevice(device, folder, flags, true, true);
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    STDMETHODIMP Next(ULONG count, LPITEMIDLIST* items, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumIDList** clone) override;

private:
    CItemList items_;
    ULONG position_ = 0;
};

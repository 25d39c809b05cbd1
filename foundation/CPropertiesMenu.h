#pragma once
// The context-menu handler of the extension's own icon: one item that opens
// the settings sheet.
#include <windows.h>
#include <shlobj.h>

#include "foundation/ComBase.h"

class CPropertiesMenu final : public IShellExtInit, public IContextMenu, public RefCounted {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP Initialize(LPCITEMIDLIST folder, IDataObject* data, HKEY progId) override;

    STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHODIMP InvokeCommand(LPCMINVOKECOMMANDINFO info) override;
    STDMETHODIMP GetCommandString(UINT_PTR command, UINT type, UINT* reserved, LPSTR name, UINT size) override;
};

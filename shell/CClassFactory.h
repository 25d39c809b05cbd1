#pragma once
// The class object of the extension: makes root folder objects, and the
// menu handler of the extension's icon for IID_IShellExtInit.
#include <windows.h>
#include <unknwn.h>

#include "shell/ComBase.h"

class CClassFactory final : public IClassFactory, public RefCounted {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;
};

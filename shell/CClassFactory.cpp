#include "shell/CClassFactory.h"

#include <new>

#include "shell/CShellFolder.h"

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    static const QiEntry table[] = {QI_ENTRY(CClassFactory, IClassFactory), {nullptr, 0}};
    return QiSearch(this, table, riid, ppv);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* folder = new (std::nothrow) CShellFolder(nullptr, nullptr);
    if (!folder) return E_OUTOFMEMORY;
    // A failed query leaves no reference, and the object goes.
    HRESULT hr = folder->QueryInterface(riid, ppv);
    folder->Release();
    return hr;
}

STDMETHODIMP CClassFactory::LockServer(BOOL) { return E_NOTIMPL; }

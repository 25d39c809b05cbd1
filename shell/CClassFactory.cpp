#include "shell/CClassFactory.h"

#include <new>

#include "foundation/CPropertiesMenu.h"
#include "shell/CShellFolder.h"

namespace {

// A failed query leaves no reference, and the object goes.
template <class Object>
HRESULT Hand(Object* object, REFIID riid, void** ppv)
{
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

}  // namespace

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
    if (IsEqualIID(riid, IID_IShellExtInit)) return Hand(new (std::nothrow) CPropertiesMenu, riid, ppv);
    return Hand(new (std::nothrow) CShellFolder(nullptr, nullptr), riid, ppv);
}

STDMETHODIMP CClassFactory::LockServer(BOOL) { return E_NOTIMPL; }

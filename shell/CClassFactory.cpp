#include "shell/CClassFactory.h"

#include "foundation/CPropertiesMenu.h"
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
    if (IsEqualIID(riid, IID_IShellExtInit)) return CreateComObject<CPropertiesMenu>(riid, ppv);
    return CreateComObject<CShellFolder>(riid, ppv, nullptr, nullptr);
}

STDMETHODIMP CClassFactory::LockServer(BOOL) { return E_NOTIMPL; }

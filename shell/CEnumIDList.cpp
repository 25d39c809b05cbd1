#include "shell/CEnumIDList.h"

STDMETHODIMP CEnumIDList::QueryInterface(REFIID riid, void** ppv)
{
    static const QiEntry table[] = {QI_ENTRY(CEnumIDList, IEnumIDList), {nullptr, 0}};
    return QiSearch(this, table, riid, ppv);
}

STDMETHODIMP CEnumIDList::Next(ULONG count, LPITEMIDLIST* items, ULONG* fetched)
{
    if ((count > 1 && !fetched) || (count > 0 && !items)) return E_INVALIDARG;
    ULONG copied = 0;
    for (; copied < count && position_ < items_.Count(); ++copied) items[copied] = ItemIdCopy(items_.Item(position_++));
    if (fetched) *fetched = copied;
    return copied == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumIDList::Skip(ULONG count)
{
    position_ = count > items_.Count() - position_ ? items_.Count() : position_ + count;
    return position_ >= items_.Count() ? S_FALSE : S_OK;
}

STDMETHODIMP CEnumIDList::Reset()
{
    position_ = 0;
    return S_OK;
}

STDMETHODIMP CEnumIDList::Clone(IEnumIDList** clone)
{
    if (clone) *clone = nullptr;
    return E_NOTIMPL;
}

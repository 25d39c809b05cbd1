#include "shell/CEnumFormatEtc.h"

#include <new>

CEnumFormatEtc::CEnumFormatEtc(CDataObject* dataObject, UINT index) : dataObject_(dataObject), index_(index)
{
    dataObject_->AddRef();
}

CEnumFormatEtc::~CEnumFormatEtc() { dataObject_->Release(); }

STDMETHODIMP CEnumFormatEtc::QueryInterface(REFIID riid, void** ppv)
{
    static const QiEntry table[] = {QI_ENTRY(CEnumFormatEtc, IEnumFORMATETC), {nullptr, 0}};
    return QiSearch(this, table, riid, ppv);
}

STDMETHODIMP CEnumFormatEtc::Next(ULONG count, FORMATETC* formats, ULONG* fetched)
{
    if (!formats) return E_POINTER;
    if (!fetched && count != 1) return E_INVALIDARG;
    ULONG delivered = 0;
    while (delivered < count && dataObject_->Format(index_, &formats[delivered])) {
        ++delivered;
        ++index_;
    }
    if (fetched) *fetched = delivered;
    return delivered == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumFormatEtc::Skip(ULONG count)
{
    const UINT total = dataObject_->FormatCount();
    if (index_ >= total || count >= total - index_) return S_FALSE;  // index_ + count could wrap
    index_ += count;
    return S_OK;
}

STDMETHODIMP CEnumFormatEtc::Reset()
{
    index_ = 0;
    return S_OK;
}

STDMETHODIMP CEnumFormatEtc::Clone(IEnumFORMATETC** clone)
{
    if (!clone) return E_POINTER;
    return CreateComObject<CEnumFormatEtc>(IID_IEnumFORMATETC, reinterpret_cast<void**>(clone), dataObject_, index_);
}

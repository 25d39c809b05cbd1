#pragma once
// The formats of one data object, walked from an index of its own.
#include <windows.h>
#include <objidl.h>

#include "shell/CDataObject.h"
#include "shell/ComBase.h"

class CEnumFormatEtc final : public IEnumFORMATETC, public RefCounted {
public:
    // Holds a reference on the data object for its whole life.
    CEnumFormatEtc(CDataObject* dataObject, UINT index);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    STDMETHODIMP Next(ULONG count, FORMATETC* formats, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumFORMATETC** clone) override;

private:
    ~CEnumFormatEtc() override;

    CDataObject* dataObject_;
    UINT index_;
};

#include "foundation/ComBase.h"

HRESULT QiSearch(void* object, const QiEntry* table, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const QiEntry* entry = table; entry->iid; ++entry) {
        if (IsEqualIID(riid, *entry->iid) || (entry == table && IsEqualIID(riid, IID_IUnknown))) {
            IUnknown* found = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + entry->offset);
            found->AddRef();
            *ppv = found;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

ULONG RefCounted::ReleaseImpl()
{
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

bool RefCounted::TryAddRefImpl()
{
    for (LONG seen = refs_; seen > 0; seen = refs_)
        if (InterlockedCompareExchange(&refs_, seen + 1, seen) == seen) return true;
    return false;
}

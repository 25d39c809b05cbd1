#pragma once
// The COM plumbing every object of the module shares: one reference count
// that also holds the module lock, one table-driven QueryInterface, one way
// to make and hand out an object, and an owning interface pointer.
#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "foundation/ModuleLock.h"
#include "foundation/Owned.h"

// Base of every COM object: starts at one reference and keeps the module
// loaded while it lives. The count is interlocked: Explorer passes objects
// between its windows' threads and releases views from other threads.
class RefCounted {
public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

protected:
    RefCounted() = default;
    virtual ~RefCounted() = default;
    ULONG AddRefImpl() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    // A reference taken only while the count is above zero: an object found
    // through a list of raw pointers may already be on its way to delete,
    // and must not be revived.
    bool TryAddRefImpl();
    // Out of line, so that the delete is never inlined at a call site.
    ULONG ReleaseImpl();

private:
    volatile LONG refs_ = 1;
    ModuleLockHolder lock_;
};

// One row of an interface table: the id and where that interface sits in
// the object. The first row also answers IID_IUnknown.
struct QiEntry {
    const IID* iid;
    ptrdiff_t offset;
};

template <class Object, class Interface>
ptrdiff_t QiOffset()
{
    // Any non-null address will do; only the pointer arithmetic matters.
    Object* object = reinterpret_cast<Object*>(0x1000);
    return reinterpret_cast<char*>(static_cast<Interface*>(object)) - reinterpret_cast<char*>(object);
}
#define QI_ENTRY(Object, Interface)                     \
    {                                                   \
        &IID_##Interface, QiOffset<Object, Interface>() \
    }

// Finds riid in a table ending with a null row, adds a reference to what it
// hands out, and clears *ppv on failure.
HRESULT QiSearch(void* object, const QiEntry* table, REFIID riid, void** ppv);

template <class T>
struct ComRefTraits {
    using Value = T*;
    static T* Empty() { return nullptr; }
    static bool IsEmpty(T* p) { return p == nullptr; }
    static bool Free(T* p)
    {
        p->Release();
        return true;
    }
};

// Owns one reference to an interface. A reference is handed on with
// detach(), never release(), which reads too much like IUnknown's.
template <class T>
class ComPtr : public Owned<ComRefTraits<T>> {
    using Base = Owned<ComRefTraits<T>>;

public:
    ComPtr() = default;
    // Takes over a reference the caller owns.
    explicit ComPtr(T* owned) : Base(owned) {}

    T* operator->() const { return this->get(); }
    void** putVoid() { return reinterpret_cast<void**>(this->put()); }
    T* detach() { return Base::release(); }

private:
    using Base::release;
};

// A reference of the caller's own on an object it was handed: held across a
// wait, while Explorer may release the object from under the call.
template <class T>
ComPtr<T> NewRef(T* object)
{
    if (object) object->AddRef();
    return ComPtr<T>(object);
}

template <class Object, class = void>
struct HasValid : std::false_type {
};
template <class Object>
struct HasValid<Object, std::void_t<decltype(std::declval<const Object&>().Valid())>> : std::true_type {
};

// The one way an object is made: with its creation reference, or null when
// memory is short or the object could not be made whole (its Valid()).
template <class Object, class... Args>
ComPtr<Object> MakeComObject(Args&&... args)
{
    ComPtr<Object> object(new (std::nothrow) Object(std::forward<Args>(args)...));
    if constexpr (HasValid<Object>::value) {
        if (object && !object->Valid()) object.reset();
    }
    return object;
}

// The one way an object is handed out: made, asked for riid, and the
// creation reference dropped, so a failed query leaves nothing behind.
template <class Object, class... Args>
HRESULT CreateComObject(REFIID riid, void** ppv, Args&&... args)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    ComPtr<Object> object = MakeComObject<Object>(std::forward<Args>(args)...);
    return object ? object->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

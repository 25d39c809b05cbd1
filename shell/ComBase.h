#pragma once
// The COM plumbing every object of the module shares: one reference count
// that also holds the module lock, one table-driven QueryInterface, and an
// owning interface pointer.
#include <windows.h>
#include <objbase.h>

#include <cstddef>

#include "foundation/ModuleLock.h"

// Base of every COM object: starts at one reference and keeps the module
// loaded while it lives.
class RefCounted {
public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

protected:
    RefCounted() = default;
    virtual ~RefCounted() = default;
    ULONG AddRefImpl() { return ++refs_; }
    ULONG ReleaseImpl()
    {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

private:
    ULONG refs_ = 1;  // apartment-threaded: no interlocking needed
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
#define QI_ENTRY(Object, Interface) {&IID_##Interface, QiOffset<Object, Interface>()}

// Finds riid in a table ending with a null row, adds a reference to what it
// hands out, and clears *ppv on failure.
HRESULT QiSearch(void* object, const QiEntry* table, REFIID riid, void** ppv);

// Owns one reference to an interface.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(ComPtr&& other) noexcept : p_(other.detach()) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put()
    {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset(T* p = nullptr)
    {
        if (p_) p_->Release();
        p_ = p;
    }
    T* detach()
    {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};

#pragma once
// Owners of Win32 handles and blocks: each frees its resource with the call
// that belongs to its kind, can be moved, reset and released.
#include <windows.h>
#include <objbase.h>

template <BOOL(WINAPI* CloseFn)(HANDLE)>
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(ScopedHandle&& other) noexcept : h_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }
    void reset(HANDLE h = INVALID_HANDLE_VALUE)
    {
        if (valid()) CloseFn(h_);
        h_ = h;
    }
    HANDLE release()
    {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE h_;
};

using ScopedFind = ScopedHandle<FindClose>;
using ScopedKernelHandle = ScopedHandle<CloseHandle>;

// Owns a resource whose empty value is null and that one call frees: a
// global block until it is handed on, a loaded module, an icon, a menu (with
// its submenus).
template <class T, auto Free>
class ScopedResource {
public:
    explicit ScopedResource(T value = nullptr) : value_(value) {}
    ~ScopedResource() { reset(); }
    ScopedResource(ScopedResource&& other) noexcept : value_(other.release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;

    T get() const { return value_; }
    explicit operator bool() const { return value_ != nullptr; }
    // For the out parameter of a call that opens or allocates one.
    T* put()
    {
        reset();
        return &value_;
    }
    void reset(T value = nullptr)
    {
        if (value_) Free(value_);
        value_ = value;
    }
    T release()
    {
        T value = value_;
        value_ = nullptr;
        return value;
    }

private:
    T value_;
};

using ScopedGlobal = ScopedResource<HGLOBAL, GlobalFree>;
using ScopedModule = ScopedResource<HMODULE, FreeLibrary>;
using ScopedIcon = ScopedResource<HICON, DestroyIcon>;
using ScopedMenu = ScopedResource<HMENU, DestroyMenu>;

// Owns memory from the COM task allocator (strings and lists that COM and
// the shell hand out).
template <class T>
using ScopedTaskMemory = ScopedResource<T, CoTaskMemFree>;

// Owns a storage medium that a data object handed out or that is being
// filled to hand out.
class ScopedMedium {
public:
    ScopedMedium() = default;
    ~ScopedMedium() { reset(); }
    ScopedMedium(ScopedMedium&& other) noexcept : medium_(other.release()) {}
    ScopedMedium& operator=(ScopedMedium&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ScopedMedium(const ScopedMedium&) = delete;
    ScopedMedium& operator=(const ScopedMedium&) = delete;

    STGMEDIUM* get() { return &medium_; }
    const STGMEDIUM& operator*() const { return medium_; }
    const STGMEDIUM* operator->() const { return &medium_; }
    // Empties the medium for the next call that fills it.
    STGMEDIUM* put()
    {
        reset();
        return &medium_;
    }
    void reset(const STGMEDIUM& medium = STGMEDIUM{})
    {
        if (medium_.tymed != TYMED_NULL) ReleaseStgMedium(&medium_);
        medium_ = medium;
    }
    STGMEDIUM release()
    {
        STGMEDIUM medium = medium_;
        medium_ = STGMEDIUM{};
        return medium;
    }

private:
    STGMEDIUM medium_{};
};

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

// Owns a global memory block until it is handed on (release) or freed.
class ScopedGlobal {
public:
    explicit ScopedGlobal(HGLOBAL block = nullptr) : block_(block) {}
    ~ScopedGlobal() { reset(); }
    ScopedGlobal(ScopedGlobal&& other) noexcept : block_(other.release()) {}
    ScopedGlobal& operator=(ScopedGlobal&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ScopedGlobal(const ScopedGlobal&) = delete;
    ScopedGlobal& operator=(const ScopedGlobal&) = delete;

    HGLOBAL get() const { return block_; }
    explicit operator bool() const { return block_ != nullptr; }
    void reset(HGLOBAL block = nullptr)
    {
        if (block_) GlobalFree(block_);
        block_ = block;
    }
    HGLOBAL release()
    {
        HGLOBAL block = block_;
        block_ = nullptr;
        return block;
    }

private:
    HGLOBAL block_;
};

// Owns memory from the COM task allocator (strings and lists that COM and
// the shell hand out).
template <class T>
class ScopedTaskMemory {
public:
    ScopedTaskMemory() = default;
    ~ScopedTaskMemory() { CoTaskMemFree(p_); }
    ScopedTaskMemory(const ScopedTaskMemory&) = delete;
    ScopedTaskMemory& operator=(const ScopedTaskMemory&) = delete;

    T get() const { return p_; }
    T* put()
    {
        CoTaskMemFree(p_);
        p_ = nullptr;
        return &p_;
    }

private:
    T p_ = nullptr;
};

// Owns a storage medium that a data object handed out.
class ScopedMedium {
public:
    ScopedMedium() = default;
    ~ScopedMedium() { reset(); }
    ScopedMedium(const ScopedMedium&) = delete;
    ScopedMedium& operator=(const ScopedMedium&) = delete;

    STGMEDIUM* get() { return &medium_; }
    const STGMEDIUM& operator*() const { return medium_; }
    // Empties the medium for the next call that fills it.
    STGMEDIUM* put()
    {
        reset();
        return &medium_;
    }
    void reset()
    {
        if (medium_.tymed != TYMED_NULL) ReleaseStgMedium(&medium_);
        medium_ = STGMEDIUM{};
    }

private:
    STGMEDIUM medium_{};
};

// Owns a menu and destroys it, with its submenus, at the end.
class ScopedMenu {
public:
    explicit ScopedMenu(HMENU menu) : menu_(menu) {}
    ~ScopedMenu()
    {
        if (menu_) DestroyMenu(menu_);
    }
    ScopedMenu(const ScopedMenu&) = delete;
    ScopedMenu& operator=(const ScopedMenu&) = delete;

    HMENU get() const { return menu_; }

private:
    HMENU menu_;
};

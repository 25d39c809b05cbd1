#pragma once
// Owns one Win32 handle and closes it with the call that belongs to its kind.
#include <windows.h>

template <BOOL(WINAPI* CloseFn)(HANDLE)>
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~ScopedHandle()
    {
        if (valid()) CloseFn(h_);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

using ScopedFind = ScopedHandle<FindClose>;
using ScopedKernelHandle = ScopedHandle<CloseHandle>;

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

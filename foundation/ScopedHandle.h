#pragma once
// Owners of Win32 handles and blocks, each an Owned with the free call that
// belongs to its kind.
#include <windows.h>
#include <objbase.h>

#include "foundation/Owned.h"

// A kernel or find handle: both INVALID_HANDLE_VALUE and null hold nothing.
template <BOOL(WINAPI* CloseFn)(HANDLE)>
struct HandleTraits {
    using Value = HANDLE;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsEmpty(HANDLE h) { return h == INVALID_HANDLE_VALUE || h == nullptr; }
    static bool Free(HANDLE h)
    {
        CloseFn(h);
        return true;
    }
};

template <BOOL(WINAPI* CloseFn)(HANDLE)>
using ScopedHandle = Owned<HandleTraits<CloseFn>>;
using ScopedFind = ScopedHandle<FindClose>;
using ScopedKernelHandle = ScopedHandle<CloseHandle>;

// A resource whose empty value is null and that one call frees: a global
// block until it is handed on, a loaded module, an icon, a menu (with its
// submenus).
template <class T, auto Free>
using ScopedResource = Owned<NullEmptyTraits<T, Free>>;

using ScopedGlobal = ScopedResource<HGLOBAL, GlobalFree>;
using ScopedModule = ScopedResource<HMODULE, FreeLibrary>;
using ScopedIcon = ScopedResource<HICON, DestroyIcon>;
using ScopedMenu = ScopedResource<HMENU, DestroyMenu>;

// Owns memory from the COM task allocator (strings and lists that COM and
// the shell hand out).
template <class T>
using ScopedTaskMemory = ScopedResource<T, CoTaskMemFree>;

struct MediumTraits {
    using Value = STGMEDIUM;
    static STGMEDIUM Empty() { return STGMEDIUM{}; }
    static bool IsEmpty(const STGMEDIUM& medium) { return medium.tymed == TYMED_NULL; }
    static bool Free(STGMEDIUM& medium)
    {
        ReleaseStgMedium(&medium);
        return true;
    }
};

// Owns a storage medium that a data object handed out or that is being
// filled to hand out; read in place.
class ScopedMedium : public Owned<MediumTraits> {
public:
    using Owned::Owned;
    STGMEDIUM* get() { return &held(); }
    const STGMEDIUM& operator*() const { return held(); }
    const STGMEDIUM* operator->() const { return &held(); }
};

#pragma once
// The HTML Help control library, found at run time: loaded on first use,
// once for all threads, and freed when the module may be unloaded.
#include <windows.h>

#include <mutex>

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

// How the library is reached; tests count the calls.
struct HtmlHelpLoader {
    HMODULE(WINAPI* load)(LPCSTR);
    FARPROC(WINAPI* find)(HMODULE, LPCSTR);
    BOOL(WINAPI* free)(HMODULE);
};

class HtmlHelpLibrary {
public:
    explicit HtmlHelpLibrary(const HtmlHelpLoader& loader);
    // Not freed here: the owner is destroyed at process detach, where
    // freeing a library is unsafe. Free() runs before the module unloads.
    ~HtmlHelpLibrary() = default;
    HtmlHelpLibrary(const HtmlHelpLibrary&) = delete;
    HtmlHelpLibrary& operator=(const HtmlHelpLibrary&) = delete;

    // HtmlHelpA, or null when the library or the function is missing.
    HtmlHelpFunction Function();
    // Closes the help windows and frees the library; the next Function()
    // loads it again.
    void Free();

    static const HtmlHelpLoader kSystem;

private:
    HtmlHelpLoader loader_;
    std::mutex lock_;
    bool tried_ = false;
    HMODULE library_ = nullptr;
    HtmlHelpFunction function_ = nullptr;
};

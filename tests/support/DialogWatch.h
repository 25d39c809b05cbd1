#pragma once
// Counts the dialogs ("#32770") this thread creates while it lives, and the last one's owner (none: HWND_BROADCAST).
#include <windows.h>

#include <cstring>

class DialogWatch {
public:
    DialogWatch() { s_count = 0, s_owner = HWND_BROADCAST; }
    ~DialogWatch() { UnhookWindowsHookEx(hook_); }
    int Count() const { return s_count; }
    HWND LastOwner() const { return s_owner; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM w, LPARAM l)
    {
        char name[8] = "";
        if (code == HCBT_CREATEWND && GetClassNameA(reinterpret_cast<HWND>(w), name, sizeof name) &&
            !strcmp(name, "#32770"))
            ++s_count, s_owner = reinterpret_cast<CBT_CREATEWNDA*>(l)->lpcs->hwndParent;
        return CallNextHookEx(nullptr, code, w, l);
    }
    static inline int s_count = 0;
    static inline HWND s_owner = HWND_BROADCAST;
    HHOOK hook_ = SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId());
};

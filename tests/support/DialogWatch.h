#pragma once
// Watches the dialogs (class "#32770") the calling thread creates while it
// lives: how many, and the owner of the last (HWND_BROADCAST for none).
#include <windows.h>

#include <cstring>

class DialogWatch {
public:
    DialogWatch() : hook_(SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId()))
    {
        s_count = 0, s_owner = HWND_BROADCAST;
    }
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
    HHOOK hook_;
};

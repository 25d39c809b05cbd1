#include "devicefiles/UserMessage.h"

namespace {
int RealBox(HWND owner, const char* text, UINT flags) { return MessageBoxA(owner, text, nullptr, flags); }
MessageBoxHook g_box = RealBox;
}  // namespace

int ShowMessageText(HWND owner, const char* text, UINT flags) { return g_box(owner, text, flags); }

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    MessageBoxHook previous = g_box;
    g_box = hook ? hook : RealBox;
    return previous;
}

#include "devicefiles/UserMessage.h"

#include "devicelink/CNotetaker.h"

namespace {
int RealBox(HWND owner, const char* text, UINT flags) { return MessageBoxA(owner, text, nullptr, flags); }
MessageBoxHook g_box = RealBox;
}  // namespace

int ShowMessageText(HWND owner, const char* text, UINT flags) { return g_box(owner, text, flags); }

void ShowDeviceRefusal(HWND owner, CNotetaker& notetaker)
{
    MessageBeep(MB_ICONHAND);
    char text[MAX_PATH] = "";
    if (!notetaker.GetErrorText(text, sizeof text, 0)) notetaker.GetErrorText(text, sizeof text, CNotetaker::ERR_UNKNOWN);
    ShowMessageText(owner, text, MB_ICONERROR | MB_TASKMODAL);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    MessageBoxHook previous = g_box;
    g_box = hook ? hook : RealBox;
    return previous;
}

#include "devicefiles/UserMessage.h"

#include <string>

#include "devicelink/CNotetaker.h"

namespace {
int RealBox(HWND owner, const char* text, UINT flags) { return MessageBoxA(owner, text, nullptr, flags); }
MessageBoxHook g_box = RealBox;
}  // namespace

int ShowMessageText(HWND owner, const char* text, UINT flags) { return g_box(owner, text, flags); }

int ShowMessageTextW(HWND owner, const wchar_t* text, UINT flags)
{
    if (g_box == RealBox) return MessageBoxW(owner, text, nullptr, flags);
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    return g_box(owner, utf8.c_str(), flags);
}

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

#include "devicefiles/UserMessage.h"

#include <string>

#include "devicefiles/DeviceThread.h"
#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "resources/resource.h"

namespace {
int RealBox(HWND owner, const char* caption, const char* text, UINT flags)
{
    return MessageBoxA(owner, text, caption, flags);
}
MessageBoxHook g_box = RealBox;

std::string Caption()
{
    char caption[64] = "";
    LoadResourceText(IDS_PRODUCT_NAME, caption, sizeof caption);
    return caption;
}

// What a box would have answered had nobody been asked: no, cancel, or OK.
int UnaskedAnswer(UINT flags)
{
    switch (flags & MB_TYPEMASK) {
    case MB_YESNO: return IDNO;
    case MB_OK: return IDOK;
    default: return IDCANCEL;
    }
}

// An owner that went while its command waited (Explorer closed the window)
// owns no box: the words are still shown, on their own.
HWND LiveOwner(HWND owner) { return owner && IsWindow(owner) ? owner : nullptr; }
}  // namespace

// Work on the device thread asks the thread that waits for it, which owns
// the window; a caller without a window is answered as if it had declined.
int ShowMessageText(HWND owner, const char* text, UINT flags)
{
    const std::string caption = Caption();
    if (!OnDeviceThread()) return g_box(LiveOwner(owner), caption.c_str(), text, flags);
    const std::string words = text ? text : "";
    return AskCaller([&](HWND caller) { return g_box(caller, caption.c_str(), words.c_str(), flags); },
                     UnaskedAnswer(flags));
}

int ShowMessageTextW(HWND owner, const wchar_t* text, UINT flags)
{
    owner = LiveOwner(owner);
    const std::string caption = Caption();
    if (g_box == RealBox) {
        WCHAR wideCaption[64] = L"";
        MultiByteToWideChar(CP_ACP, 0, caption.c_str(), -1, wideCaption, ARRAYSIZE(wideCaption));
        return MessageBoxW(owner, text, wideCaption, flags);
    }
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    return g_box(owner, caption.c_str(), utf8.c_str(), flags);
}

void ShowDeviceRefusal(HWND owner, CNotetaker& notetaker)
{
    char text[MAX_PATH] = "";
    if (!notetaker.GetErrorText(text, sizeof text, 0))
        notetaker.GetErrorText(text, sizeof text, CNotetaker::ERR_UNKNOWN);
    ShowDeviceRefusal(owner, text);
}

void ShowDeviceRefusal(HWND owner, const char* words)
{
    MessageBeep(MB_ICONHAND);
    ShowMessageText(owner, words, MB_ICONERROR | MB_TASKMODAL);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    MessageBoxHook previous = g_box;
    g_box = hook ? hook : RealBox;
    return previous;
}

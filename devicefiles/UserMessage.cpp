#include "devicefiles/UserMessage.h"

#include <cstdio>
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

struct ReplaceQuestion {
    const char* text;
    bool offerAll;
    bool all;
};

INT_PTR CALLBACK ReplaceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        const ReplaceQuestion* question = reinterpret_cast<const ReplaceQuestion*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        SetWindowTextA(dialog, Caption().c_str());
        SetDlgItemTextA(dialog, IDC_REPLACE_TEXT, question->text);
        if (!question->offerAll) ShowWindow(GetDlgItem(dialog, IDC_REPLACE_ALL), SW_HIDE);
        MessageBeep(MB_ICONWARNING);
        return TRUE;  // the focus on the default button: Skip
    }
    const WORD id = LOWORD(wParam);
    if (message != WM_COMMAND || (id != IDYES && id != IDNO && id != IDCANCEL)) return FALSE;
    ReplaceQuestion* question = reinterpret_cast<ReplaceQuestion*>(GetWindowLongPtrA(dialog, DWLP_USER));
    question->all = id != IDCANCEL && IsDlgButtonChecked(dialog, IDC_REPLACE_ALL) == BST_CHECKED;
    EndDialog(dialog, id);
    return TRUE;
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

ReplaceAnswer AskReplace(HWND owner, const char* devicePath, bool* forAll)
{
    char format[128] = "", text[MAX_PATH + 128];
    LoadResourceText(IDS_CONFIRM_REPLACE, format, sizeof format);
    snprintf(text, sizeof text, format, devicePath);
    ReplaceQuestion question{text, forAll != nullptr, false};
    INT_PTR answer;
    if (g_box == RealBox)
        answer = DialogBoxParamA(OwnModule(), MAKEINTRESOURCEA(IDD_REPLACE), LiveOwner(owner), ReplaceProc,
                                 reinterpret_cast<LPARAM>(&question));
    else
        answer = g_box(LiveOwner(owner), Caption().c_str(), text,
                       (forAll ? MB_YESNOCANCEL : MB_YESNO) | MB_DEFBUTTON2 | MB_ICONWARNING | MB_TASKMODAL);
    if (forAll) *forAll = question.all;
    return answer == IDYES ? ReplaceAnswer::Replace : answer == IDNO ? ReplaceAnswer::Skip : ReplaceAnswer::Stop;
}

void ShowSharedDevicePath(HWND owner, const char* pcFirst, const char* pcSecond, const char* devicePath)
{
    char format[256] = "", text[3 * MAX_PATH + 256];
    LoadResourceText(IDS_SHARED_DEVICE_NAME, format, sizeof format);
    snprintf(text, sizeof text, format, pcFirst, pcSecond, devicePath);
    ShowDeviceRefusal(owner, text);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    MessageBoxHook previous = g_box;
    g_box = hook ? hook : RealBox;
    return previous;
}

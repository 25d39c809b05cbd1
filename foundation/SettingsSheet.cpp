#include "foundation/SettingsSheet.h"

#include <commctrl.h>
#include <shellapi.h>

#include "foundation/CReg.h"
#include "foundation/DbgLog.h"
#include "foundation/BackupFolderPicker.h"
#include "foundation/ResourceText.h"
#include "foundation/SettingsPages.h"
#include "foundation/SheetHost.h"
#include "resources/resource.h"

namespace {

constexpr UINT kHelpDisplayToc = 1;  // HH_DISPLAY_TOC
constexpr WORD kFromAccelerator = 1;

void ShowPageHelp(HWND owner, SettingsPage page)
{
    SheetHost* host = RegisteredSheetHost();
    if (host) host->SheetHelp(owner, MAKEINTRESOURCEA(IDS_HELP_CONNECTION + page), kHelpDisplayToc);
}

void ShowError(HWND owner, const char* textOrId)
{
    SheetHost* host = RegisteredSheetHost();
    if (host) host->SheetMessage(owner, textOrId, MB_ICONHAND | MB_TASKMODAL);
}

void MarkChanged(HWND page) { PropSheet_Changed(GetParent(page), page); }

SettingsPage PageOf(HWND page) { return static_cast<SettingsPage>(GetWindowLongPtrA(page, DWLP_USER) - 1); }

// Wine's sheet changes pages on no Ctrl+Tab and offers its pages no keyboard
// messages to translate (F1 reaches the page as WM_HELP instead). A hook on
// the sheet's thread sees every page key first and asks the page to check,
// once the sheet has had the key, whether the page changed; only where it did
// not does the page change it.
constexpr UINT kPageKeyFollowUp = WM_APP + 1;
HWND g_sheet = nullptr;

int PageStep(const MSG& message)
{
    if (message.message != WM_KEYDOWN || !(GetKeyState(VK_CONTROL) & 0x8000)) return 0;
    switch (message.wParam) {
    case VK_TAB: return (GetKeyState(VK_SHIFT) & 0x8000) ? -1 : 1;
    case VK_NEXT: return 1;
    case VK_PRIOR: return -1;
    default: return 0;
    }
}

LRESULT CALLBACK PageKeyHook(int code, WPARAM removal, LPARAM data)
{
    const MSG& message = *reinterpret_cast<const MSG*>(data);
    if (code == HC_ACTION && removal == PM_REMOVE && g_sheet && IsChild(g_sheet, message.hwnd)) {
        if (const int step = PageStep(message)) {
            HWND page = PropSheet_GetCurrentPageHwnd(g_sheet);
            PostMessageA(page, kPageKeyFollowUp, step, PropSheet_HwndToIndex(g_sheet, page));
        }
    }
    return CallNextHookEx(nullptr, code, removal, data);
}

void FollowUpPageKey(int step, int pageBefore)
{
    if (PropSheet_HwndToIndex(g_sheet, PropSheet_GetCurrentPageHwnd(g_sheet)) != pageBefore) return;
    PropSheet_SetCurSel(g_sheet, nullptr, (pageBefore + step + kPageCount) % kPageCount);
    // The sheet took the key for a plain Tab and moved the focus: into the new page with it.
    HWND page = PropSheet_GetCurrentPageHwnd(g_sheet);
    if (HWND first = GetNextDlgTabItem(page, nullptr, FALSE)) SetFocus(first);
}

class PageKeys {
public:
    PageKeys() : hook_(SetWindowsHookExA(WH_GETMESSAGE, PageKeyHook, nullptr, GetCurrentThreadId())) {}
    ~PageKeys()
    {
        if (hook_) UnhookWindowsHookEx(hook_);
        g_sheet = nullptr;
    }
    PageKeys(const PageKeys&) = delete;
    PageKeys& operator=(const PageKeys&) = delete;

private:
    HHOOK hook_;
};

HACCEL PageAccelerators()
{
    static HACCEL table = LoadAcceleratorsA(OwnModule(), MAKEINTRESOURCEA(IDA_PROPERTIES));
    return table;
}

ShellExecuteFn g_shellExecute = ShellExecuteExA;

// The shell would show the folder as the device while "desktop.ini" makes it
// so. The open completes before it returns (ShellExecuteA may return first),
// so that switching "desktop.ini" back on afterwards cannot reach the window.
void OpenBackupFolder(HWND page)
{
    const CReg* reg = Settings();
    if (!reg) return;
    const bool shown = reg->isUnderMyDocs();
    if (shown) reg->SetUnderMyDocs(false);
    SHELLEXECUTEINFOA open{sizeof open};
    open.fMask = SEE_MASK_NOASYNC;
    open.hwnd = page;
    open.lpVerb = "open";
    open.lpFile = reg->m_szBackupPath;
    open.nShow = SW_SHOWNORMAL;
    if (!g_shellExecute(&open)) {
        char text[512] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetLastError(),
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
        ShowError(page, text);
    }
    if (shown) reg->SetUnderMyDocs(true);
}

void RestoreDefaultBackupPath(HWND page)
{
    char path[MAX_PATH];
    if (CReg::getDefaultBackupPath(path)) SetDlgItemTextA(page, IDC_BACKUP_PATH, path);
}

void OnButton(HWND page, int id)
{
    switch (id) {
    case IDC_UNDER_MYDOCS:
    case IDC_LOG_ENABLE:
    case IDC_LOG_YMODEM:
    case IDC_LOG_COMPORT:
    case IDC_LOG_NOTETAKER:
    case IDC_INTEGRITY:
        UpdateLogControls(page);
        MarkChanged(page);
        break;
    case IDC_BACKUP_DEFAULT: RestoreDefaultBackupPath(page); break;
    case IDC_BACKUP_MOVE: {
        char chosen[MAX_PATH];
        if (Settings() && PickBackupFolder(page, Settings()->m_szBackupPath, chosen))
            SetDlgItemTextA(page, IDC_BACKUP_PATH, chosen);
        break;
    }
    case IDC_BACKUP_FIND: OpenBackupFolder(page); break;
    case IDC_LOG_RESET: DbgReset(); break;
    default: break;
    }
}

void OnCommand(HWND page, WORD id, WORD code)
{
    if (code == kFromAccelerator) {
        if (id == IDM_PAGE_HELP) ShowPageHelp(page, PageOf(page));
        else MarkChanged(page);
    } else if (code == EN_CHANGE || (id == IDC_PORT_LIST && code == LBN_SELCHANGE)) {
        MarkChanged(page);
    } else if (code == BN_CLICKED) {
        OnButton(page, id);
    }
}

// Apply pressed from the keyboard is disabled once applied, with the focus
// still on it: no key would reach the sheet again. The focus goes to OK.
void KeepFocusOffApply(HWND sheet)
{
    constexpr int kApplyButton = 0x3021;
    if (GetFocus() == GetDlgItem(sheet, kApplyButton))
        PostMessageA(sheet, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(sheet, IDOK)), TRUE);
}

// The value the notification answers with, through DWLP_MSGRESULT.
LONG_PTR OnNotify(HWND page, const PSHNOTIFY& notice)
{
    switch (notice.hdr.code) {
    case PSN_APPLY: StorePage(page, PageOf(page)), KeepFocusOffApply(notice.hdr.hwndFrom); return PSNRET_NOERROR;
    case PSN_HELP: ShowPageHelp(notice.hdr.hwndFrom, PageOf(page)); return 0;
    case PSN_TRANSLATEACCELERATOR: {
        MSG* message = reinterpret_cast<MSG*>(notice.lParam);
        return TranslateAcceleratorA(page, PageAccelerators(), message) ? PSNRET_MESSAGEHANDLED : PSNRET_NOERROR;
    }
    default: return 0;  // activation and cancelling are allowed as they come
    }
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        const SettingsPage which = IdentifyPage(page);
        LoadPage(page, which);
        // Set only now, so that the loading's own EN_CHANGE does not mark the sheet changed.
        SetWindowLongPtrA(page, DWLP_USER, which + 1);
        g_sheet = GetParent(page);
        return TRUE;
    }
    case WM_HELP:
        if (PageOf(page) == kPageNone) return FALSE;
        ShowPageHelp(page, PageOf(page));
        return TRUE;
    case kPageKeyFollowUp: FollowUpPageKey(static_cast<int>(wParam), static_cast<int>(lParam)); return TRUE;
    case WM_COMMAND:
        if (PageOf(page) == kPageNone) return FALSE;
        OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        if (PageOf(page) == kPageNone) return FALSE;
        SetWindowLongPtrA(page, DWLP_MSGRESULT, OnNotify(page, *reinterpret_cast<PSHNOTIFY*>(lParam)));
        return TRUE;
    default: return FALSE;
    }
}

}  // namespace

HRESULT ShowSettingsSheet(HWND owner)
{
    static const WORD kTemplates[kPageCount] = {IDD_PAGE_CONNECTION, IDD_PAGE_PATHS, IDD_PAGE_LOG, IDD_PAGE_ADVANCED};
    PROPSHEETPAGEA pages[kPageCount] = {};
    for (int i = 0; i < kPageCount; ++i) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].dwFlags = PSP_HASHELP;
        pages[i].hInstance = OwnModule();
        pages[i].pszTemplate = MAKEINTRESOURCEA(kTemplates[i]);
        pages[i].pfnDlgProc = PageProc;
    }
    PROPSHEETHEADERA sheet{};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_PROPTITLE | PSH_HASHELP;
    sheet.hwndParent = owner;
    sheet.hInstance = OwnModule();
    sheet.pszCaption = MAKEINTRESOURCEA(IDS_PRODUCT_NAME);
    sheet.nPages = kPageCount;
    sheet.nStartPage = 0;
    sheet.ppsp = pages;
    // The pages' spins and the sheet's tabs, wherever the host has not asked for them.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    PageKeys keys;
    SetLastError(0);
    if (PropertySheetA(&sheet) < 0) return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

ShellExecuteFn SetSheetShellExecute(ShellExecuteFn execute)
{
    const ShellExecuteFn previous = g_shellExecute;
    g_shellExecute = execute ? execute : ShellExecuteExA;
    return previous;
}

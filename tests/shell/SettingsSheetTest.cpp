// The settings sheet opened from its menu item, driven from inside the sheet's own message loop.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <functional>
#include <string>

#include "devicefiles/DeviceThread.h"
#include "devicelink/CNotetaker.h"
#include "foundation/CReg.h"
#include "foundation/DbgLog.h"
#include "foundation/Registry.h"
#include "foundation/SerialPorts.h"
#include "foundation/SettingsSheet.h"
#include "resources/resource.h"
#include "shell/CClassFactory.h"
#include "shell/CModule.h"
#include "shell/ComBase.h"
#include "shell/Guids.h"
#include "tests/support/TempDir.h"

namespace {

// Steps run once their window (the sheet, or one of that title) is up, one per tick of a
// thread timer the modal loops dispatch: a posted button press acts before the next step.
struct Step {
    template <class Act>
    Step(Act act, const char* title = nullptr) : title(title), act(std::move(act))
    {
    }
    const char* title;  // null: the sheet
    std::function<void(HWND)> act;
};
std::vector<Step> g_steps;
size_t g_next = 0;
int g_waited = 0;

BOOL CALLBACK FindSheet(HWND window, LPARAM found)
{
    if (!IsWindowVisible(window) || !FindWindowExA(window, nullptr, WC_TABCONTROLA, nullptr)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Cancels whatever the thread shows, so that a step that finds nothing ends the test.
BOOL CALLBACK CancelWindow(HWND window, LPARAM)
{
    if (IsWindowVisible(window)) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

void CALLBACK RunStep(HWND, UINT, UINT_PTR, DWORD)
{
    constexpr int kMostTicks = 200;        // ten seconds for one window to come up
    if (g_next == g_steps.size()) return;  // the sheet is closing
    if (++g_waited > kMostTicks) {
        ADD_FAILURE() << "no window for step " << g_next;
        g_next = g_steps.size();
        EnumThreadWindows(GetCurrentThreadId(), CancelWindow, 0);
        return;
    }
    const Step& step = g_steps[g_next];
    HWND target = step.title ? FindWindowA(nullptr, step.title) : nullptr;
    if (!step.title) EnumThreadWindows(GetCurrentThreadId(), FindSheet, reinterpret_cast<LPARAM>(&target));
    if (!target || !IsWindowVisible(target)) return;
    g_waited = 0;
    ++g_next;
    step.act(target);
}

HWND ShowPage(HWND sheet, int page)
{
    PropSheet_SetCurSel(sheet, nullptr, page);
    return PropSheet_GetCurrentPageHwnd(sheet);
}

void Click(HWND page, int id) { SendDlgItemMessageA(page, id, BM_CLICK, 0, 0); }

std::string Text(HWND page, int id)
{
    char text[MAX_PATH] = "";
    GetDlgItemTextA(page, id, text, sizeof text);
    return text;
}

DWORD StoredDword(const char* name) { return ReadRegDword(CReg::kKey, name, 0xFFFFFFFF); }  // none: not written

std::string StoredText(const char* name)
{
    char text[MAX_PATH];
    ReadRegText(CReg::kKey, name, text, sizeof text, "<missing>");
    return text;
}

class SettingsSheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegTree(HKEY_CURRENT_USER, "Software\\Vostrel");
        ASSERT_TRUE(CreateSettings(CLSID_Pellor));
        g_module = &module_;  // for the message boxes
        ComPtr<CClassFactory> factory{new CClassFactory};
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init_.putVoid()), S_OK);
        ASSERT_EQ(init_->QueryInterface(IID_IContextMenu, menu_.putVoid()), S_OK);
    }
    void TearDown() override
    {
        menu_.reset();
        init_.reset();
        g_module = nullptr;
        DestroySettings();
        DbgClose();
        DeleteRegTree(HKEY_CURRENT_USER, "Software\\Vostrel");
    }

    // Opens the sheet through the menu item and runs the steps on it.
    HRESULT RunSheet(std::vector<Step> steps)
    {
        g_steps = std::move(steps);
        g_next = 0;
        g_waited = 0;
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, RunStep);
        CMINVOKECOMMANDINFO info{sizeof info};
        info.lpVerb = MAKEINTRESOURCEA(0);
        const HRESULT hr = menu_->InvokeCommand(&info);
        KillTimer(nullptr, timer);
        return hr;
    }

    CModule module_{GetModuleHandleA(nullptr), IDA_VIEW};  // the test program carries the resources
    ComPtr<IShellExtInit> init_;
    ComPtr<IContextMenu> menu_;
};

// Numbers above the spins are stored, other text keeps the old value, an empty path is not
// stored, the log's switch selects its outputs; the values reach the next note-taker.
TEST_F(SettingsSheetTest, AppliedValuesReachRegistryAndTheNextNotetaker)
{
    lstrcpyA(Settings()->m_szBackupPath, "C:\\old\\");
    Settings()->m_dwDebugFlags = 0;
    ASSERT_EQ(RunSheet({[](HWND sheet) {
                            HWND log = ShowPage(sheet, 2);
                            Click(log, IDC_LOG_ENABLE);
                            Click(log, IDC_LOG_YMODEM);
                            SetDlgItemTextA(log, IDC_LOG_SIZE, "0");
                            HWND advanced = ShowPage(sheet, 3);
                            SetDlgItemTextA(advanced, IDC_TIMEOUT, "9999");  // above the spin's 5000
                            SetDlgItemTextA(advanced, IDC_RETRIES, "");
                            SetDlgItemTextA(ShowPage(sheet, 1), IDC_BACKUP_PATH, "");
                            PropSheet_PressButton(sheet, PSBTN_APPLYNOW);
                        },
                        [](HWND sheet) {
                            EXPECT_EQ(StoredDword("Retries"), 5u);
                            // Saved by the Connection page, which every Apply applies too.
                            EXPECT_EQ(StoredText("Backup Path"), "C:\\old\\") << "an empty path is not stored";
                            SetDlgItemTextA(PropSheet_GetCurrentPageHwnd(sheet), IDC_BACKUP_PATH, "C:\\backups\\");
                            SetDlgItemTextA(ShowPage(sheet, 3), IDC_RETRIES, "25");
                            PropSheet_PressButton(sheet, PSBTN_OK);
                        }}),
              S_OK);
    EXPECT_EQ(StoredText("Backup Path"), "C:\\backups\\");
    EXPECT_EQ(StoredDword("Timeout"), 9999u) << "the spin's range bounds only its arrows";
    EXPECT_EQ(StoredDword("Retries"), 25u);
    EXPECT_EQ(StoredDword("Debug Flags"), 0x2302u);
    EXPECT_EQ(StoredDword("Log Size"), 0u) << "0 means the log is never cut";

    DeviceThreadAcquire();
    EXPECT_EQ(DeviceRun(nullptr, [](CNotetaker& made) { return static_cast<int>(made.ReplyTimeout()); }), 9999);
    DeviceThreadRelease();
}

// Autodetect and every present port by its label, the last answered one marked and a chosen one that is not
// plugged in shown chosen; chosen with the keyboard and written back.
TEST_F(SettingsSheetTest, TheConnectionPageListsThePortsAndWritesTheKeyboardsChoiceBack)
{
    struct : IPortList {
        std::vector<SerialPort> Ports() override { return {{1, "Communications Port"}, {12, "USB Serial Port"}}; }
    } ports;
    IPortList* previous = SetPortList(&ports);
    CReg::WriteLastPort(11, 115200);
    lstrcpyA(Settings()->m_szPort, "COM40");
    std::string lines;
    ASSERT_EQ(RunSheet({[&](HWND sheet) {
                  HWND list = GetDlgItem(ShowPage(sheet, 0), IDC_PORT_LIST);
                  char line[MAX_PATH];
                  for (int i = 0; SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line)) > 0; ++i)
                      lines += line + std::string(i == SendMessageA(list, LB_GETCURSEL, 0, 0) ? "*|" : "|");
                  for (WPARAM key : {VK_HOME, VK_DOWN, VK_DOWN}) SendMessageA(list, WM_KEYDOWN, key, 0);
                  HWND apply = GetDlgItem(sheet, 0x3021);  // Alt+A: the focus on Apply, which the sheet then disables
                  SetFocus(apply);
                  SendMessageA(apply, BM_CLICK, 0, 0);
              },
              [](HWND sheet) {
                  EXPECT_EQ(StoredText("Port"), "COM12");
                  EXPECT_EQ(GetFocus(), GetDlgItem(sheet, IDOK)) << "keys must still reach the sheet";
                  PropSheet_PressButton(sheet, PSBTN_OK);
              }}),
              S_OK);
    SetPortList(previous);
    EXPECT_EQ(lines,
              "Autodetect|COM1, Communications Port|COM12, USB Serial Port (the note-taker answered here last)|"
              "COM40 (not connected)*|");
    EXPECT_EQ(StoredText("Port"), "COM12");
}

// A log category box sets only its own bit; changes after the last Apply go with Cancel.
TEST_F(SettingsSheetTest, LogBoxesKeepOtherFlagBitsAndCancelStoresNothing)
{
    Settings()->m_dwDebugFlags = 0x4302;
    ASSERT_EQ(RunSheet({[](HWND sheet) {
                            Click(ShowPage(sheet, 2), IDC_LOG_COMPORT);
                            PropSheet_PressButton(sheet, PSBTN_APPLYNOW);
                        },
                        [](HWND sheet) {
                            Click(PropSheet_GetCurrentPageHwnd(sheet), IDC_LOG_ENABLE);
                            SetDlgItemTextA(ShowPage(sheet, 3), IDC_TIMEOUT, "100");
                            PropSheet_PressButton(sheet, PSBTN_CANCEL);
                        }}),
              S_OK);
    EXPECT_EQ(StoredDword("Debug Flags"), 0x4303u);
    EXPECT_EQ(StoredDword("Timeout"), 3000u) << "as the Apply stored it";
}

TEST_F(SettingsSheetTest, FolderPickerRefusesATypedNameThatIsNoFolderAndTheMenuItemsTexts)
{
    TempDir target;
    std::string refusal, chosen;
    auto typeIntoPicker = [](const std::string& name) {
        return Step(
            [name](HWND picker) {
                SetWindowTextA(FindWindowExA(picker, nullptr, "Edit", nullptr), name.c_str());
                PostMessageA(picker, WM_COMMAND, IDOK, 0);
            },
            "Browse for Folder");
    };
    ASSERT_EQ(RunSheet({[](HWND sheet) {
                            HWND paths = ShowPage(sheet, 1);
                            PostMessageA(paths, WM_COMMAND, MAKEWPARAM(IDC_BACKUP_MOVE, BN_CLICKED),
                                         reinterpret_cast<LPARAM>(GetDlgItem(paths, IDC_BACKUP_MOVE)));
                        },
                        typeIntoPicker("Z:\\no\\such\\folder"),
                        {[&](HWND box) {
                             refusal = Text(box, 0xFFFF);
                             PostMessageA(box, WM_COMMAND, IDOK, 0);
                         },
                         "Pellor"},
                        typeIntoPicker(target.path()),
                        [&](HWND sheet) {
                            chosen = Text(PropSheet_GetCurrentPageHwnd(sheet), IDC_BACKUP_PATH);
                            PropSheet_PressButton(sheet, PSBTN_CANCEL);
                        }}),
              S_OK);
    EXPECT_EQ(refusal, "Invalid path specified.");
    EXPECT_EQ(chosen, target.path());

    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 1, "Open");
    EXPECT_EQ(menu_->QueryContextMenu(menu, 0, 100, 200, CMF_DEFAULTONLY), E_FAIL);
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    EXPECT_EQ(menu_->QueryContextMenu(menu, 1, 100, 200, CMF_NORMAL), MAKE_HRESULT(0, 0, 2)) << "item and separator";
    char text[64] = "";
    GetMenuStringA(menu, 100, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&Pellor Properties");
    EXPECT_EQ(GetMenuState(menu, 2, MF_BYPOSITION) & MF_SEPARATOR, UINT{MF_SEPARATOR}) << "the separator below it";
    DestroyMenu(menu);

    EXPECT_EQ(menu_->GetCommandString(0, GCS_HELPTEXTA, nullptr, text, 64), S_OK);
    EXPECT_STREQ(text, "Shows dialog for configuring Pellor.");
}

}  // namespace

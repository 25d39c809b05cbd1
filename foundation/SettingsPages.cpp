#include "foundation/SettingsPages.h"

#include <commctrl.h>

#include <cstdio>

#include "foundation/CReg.h"
#include "foundation/DbgLog.h"
#include "foundation/ResourceText.h"
#include "foundation/SerialPorts.h"
#include "resources/resource.h"

namespace {

// A number field: its edit, the spin that shows it, the largest value and
// the digits the edit takes.
struct NumberField {
    int edit;
    int spin;
    DWORD max;
    int digits;
};
constexpr NumberField kLogSize{IDC_LOG_SIZE, IDC_LOG_SIZE_SPIN, 999, 3};
constexpr NumberField kTimeout{IDC_TIMEOUT, IDC_TIMEOUT_SPIN, 5000, 4};
constexpr NumberField kRetries{IDC_RETRIES, IDC_RETRIES_SPIN, 25, 2};
constexpr NumberField kTransferRetries{IDC_TRANSFER_RETRIES, IDC_TRANSFER_RETRIES_SPIN, 9, 1};

constexpr int kTextLimit = MAX_PATH - 1;
// Any of these shows the log as enabled; all of them are what enabling it
// from nothing selects.
constexpr DWORD kLogOutputs = DBG_TO_DEBUGGER | DBG_TO_FILE | DBG_TIMESTAMP;
struct CategoryBox {
    int id;
    DWORD bit;
};
constexpr CategoryBox kCategories[] = {
    {IDC_LOG_COMPORT, DBG_COMPORT}, {IDC_LOG_YMODEM, DBG_YMODEM}, {IDC_LOG_NOTETAKER, DBG_NOTETAKER}};
constexpr int kLogParameterControls[] = {IDC_LOG_GROUP,   IDC_LOG_FILE_LABEL, IDC_LOG_SIZE_LABEL,
                                         IDC_LOG_FILE,    IDC_LOG_SIZE,       IDC_LOG_SIZE_SPIN,
                                         IDC_LOG_COMPORT, IDC_LOG_YMODEM,     IDC_LOG_NOTETAKER};

bool Checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }
void Check(HWND page, int id, bool on) { CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED); }

void ShowText(HWND page, int edit, const char* text)
{
    SendDlgItemMessageA(page, edit, EM_LIMITTEXT, kTextLimit, 0);
    SetDlgItemTextA(page, edit, text);
}

void ShowNumber(HWND page, const NumberField& field, DWORD value)
{
    SendDlgItemMessageA(page, field.edit, EM_LIMITTEXT, field.digits, 0);
    SendDlgItemMessageA(page, field.spin, UDM_SETRANGE32, 0, field.max);
    SetDlgItemInt(page, field.edit, value, FALSE);
}

// Takes the field's number when it is one; else keeps value. The spin's range
// only bounds its arrows: a larger number typed in is stored as typed.
void ReadNumber(HWND page, const NumberField& field, DWORD& value)
{
    BOOL valid = FALSE;
    const UINT number = GetDlgItemInt(page, field.edit, &valid, FALSE);
    if (valid) value = number;
}

// One line of the port list, standing for a port index (-1: Autodetect).
void AddPortLine(HWND list, const char* text, int portIndex)
{
    const LRESULT at = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (at >= 0) SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(at), portIndex);
}

// Autodetect, then every port the PC has now by its label ("COM12, USB Serial
// Port"), which a screen reader reads as it stands; the port the settings name
// stays chosen even while it is not plugged in.
void LoadConnection(HWND page, const CReg& reg)
{
    HWND list = GetDlgItem(page, IDC_PORT_LIST);
    char text[300], format[128];
    LoadResourceText(IDS_PORT_AUTO, text, sizeof text);
    AddPortLine(list, text, -1);
    int lastPort = -1;
    DWORD lastBaud = 0;
    CReg::ReadLastPort(lastPort, lastBaud);
    const int chosen = reg.getPortIndex();
    bool chosenShown = chosen < 0;
    for (const SerialPort& port : PresentPorts()) {
        const std::string label = PortLabel(port);
        LoadResourceText(IDS_PORT_LAST, format, sizeof format);
        if (port.number - 1 == lastPort) snprintf(text, sizeof text, format, label.c_str());
        else lstrcpynA(text, label.c_str(), sizeof text);
        AddPortLine(list, text, port.number - 1);
        chosenShown = chosenShown || port.number - 1 == chosen;
    }
    if (!chosenShown) {
        LoadResourceText(IDS_PORT_ABSENT, format, sizeof format);
        snprintf(text, sizeof text, format, chosen + 1);
        AddPortLine(list, text, chosen);
    }
    const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int line = 0; line < count; ++line) {
        if (static_cast<int>(SendMessageA(list, LB_GETITEMDATA, line, 0)) == chosen)
            SendMessageA(list, LB_SETCURSEL, line, 0);
    }
}

void LoadPaths(HWND page, const CReg& reg)
{
    ShowText(page, IDC_BACKUP_PATH, reg.m_szBackupPath);
    Check(page, IDC_UNDER_MYDOCS, reg.isUnderMyDocs());
}

void LoadLog(HWND page, const CReg& reg)
{
    Check(page, IDC_LOG_ENABLE, (reg.m_dwDebugFlags & kLogOutputs) != 0);
    ShowText(page, IDC_LOG_FILE, reg.m_szLogFile);
    ShowNumber(page, kLogSize, reg.m_dwLogSize);
    for (const CategoryBox& box : kCategories) Check(page, box.id, (reg.m_dwDebugFlags & box.bit) != 0);
    UpdateLogControls(page);
}

void LoadAdvanced(HWND page, const CReg& reg)
{
    Check(page, IDC_INTEGRITY, reg.m_dwTransferIntegrity != 0);
    ShowNumber(page, kTimeout, reg.m_dwTimeout);
    ShowNumber(page, kRetries, reg.m_dwRetries);
    ShowNumber(page, kTransferRetries, reg.m_dwTransferRetries);
}

bool StoreConnection(HWND page, CReg& reg)
{
    const LRESULT line = SendDlgItemMessageA(page, IDC_PORT_LIST, LB_GETCURSEL, 0, 0);
    if (line < 0) return false;
    return reg.setPortIndex(static_cast<int>(SendDlgItemMessageA(page, IDC_PORT_LIST, LB_GETITEMDATA, line, 0)));
}

bool StorePaths(HWND page, CReg& reg)
{
    char path[MAX_PATH];
    if (GetDlgItemTextA(page, IDC_BACKUP_PATH, path, sizeof path) == 0) return false;
    lstrcpynA(reg.m_szBackupPath, path, sizeof reg.m_szBackupPath);
    return reg.SetUnderMyDocs(Checked(page, IDC_UNDER_MYDOCS));
}

bool StoreLog(HWND page, CReg& reg)
{
    char file[MAX_PATH];
    if (GetDlgItemTextA(page, IDC_LOG_FILE, file, sizeof file) > 0)
        lstrcpynA(reg.m_szLogFile, file, sizeof reg.m_szLogFile);
    ReadNumber(page, kLogSize, reg.m_dwLogSize);
    if (!Checked(page, IDC_LOG_ENABLE)) {
        reg.m_dwDebugFlags = 0;
        return true;
    }
    if (reg.m_dwDebugFlags == 0) reg.m_dwDebugFlags = kLogOutputs;
    for (const CategoryBox& box : kCategories) {
        if (Checked(page, box.id)) reg.m_dwDebugFlags |= box.bit;
        else reg.m_dwDebugFlags &= ~box.bit;
    }
    return true;
}

bool StoreAdvanced(HWND page, CReg& reg)
{
    reg.m_dwTransferIntegrity = Checked(page, IDC_INTEGRITY) ? 1 : 0;
    ReadNumber(page, kTimeout, reg.m_dwTimeout);
    ReadNumber(page, kRetries, reg.m_dwRetries);
    ReadNumber(page, kTransferRetries, reg.m_dwTransferRetries);
    return true;
}

}  // namespace

SettingsPage IdentifyPage(HWND page)
{
    static const int kMarks[kPageCount] = {IDC_PORT_GROUP, IDC_BACKUP_GROUP, IDC_LOG_GROUP, IDC_TIMEOUT_LABEL};
    for (int which = 0; which < kPageCount; ++which) {
        if (GetDlgItem(page, kMarks[which])) return static_cast<SettingsPage>(which);
    }
    return kPageNone;
}

void LoadPage(HWND page, SettingsPage which)
{
    const CReg* reg = Settings();
    if (!reg) return;
    switch (which) {
    case kPageConnection: LoadConnection(page, *reg); break;
    case kPagePaths: LoadPaths(page, *reg); break;
    case kPageLog: LoadLog(page, *reg); break;
    case kPageAdvanced: LoadAdvanced(page, *reg); break;
    default: break;
    }
}

bool StorePage(HWND page, SettingsPage which)
{
    CReg* reg = Settings();
    if (!reg) return false;
    bool stored = false;
    switch (which) {
    case kPageConnection: stored = StoreConnection(page, *reg); break;
    case kPagePaths: stored = StorePaths(page, *reg); break;
    case kPageLog: stored = StoreLog(page, *reg); break;
    case kPageAdvanced: stored = StoreAdvanced(page, *reg); break;
    default: break;
    }
    if (!stored) return false;
    reg->save();  // a failed save is not reported: the values stay in memory
    UpdateLogControls(page);
    return true;
}

void UpdateLogControls(HWND page)
{
    if (!GetDlgItem(page, IDC_LOG_ENABLE)) return;
    const bool enabled = Checked(page, IDC_LOG_ENABLE);
    for (int id : kLogParameterControls) EnableWindow(GetDlgItem(page, id), enabled);
}

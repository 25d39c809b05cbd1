// The transfer job: every row of the transfer list moved in one direction on
// the device thread, behind a modal progress dialog on the asking window's thread.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "devicefiles/DeviceName.h"
#include "devicefiles/DeviceThread.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/FolderPath.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "foundation/DbgLog.h"
#include "resources/resource.h"

namespace {

constexpr UINT_PTR kTimer = 1;
constexpr UINT kTimerPeriod = 500;
// Posted by the device thread after the last row, so that the dialog closes at
// once instead of at its next tick; the tick stays as the fallback.
constexpr UINT kWorkerEnded = WM_APP + 1;
constexpr BYTE kTxReady = 0x05;
constexpr int kLineLength = 50;  // terminator included

enum ProgressControl { IDC_SOURCE = 102, IDC_DESTINATION = 103, IDC_BAR = 104, IDC_BYTES = 105 };

// The caller's window, or else the window active on this thread now. Never
// one remembered from an earlier job: it may be gone, or belong to another
// Explorer window than the one the user is in.
HWND DialogOwner(HWND given)
{
    if (given && IsWindow(given)) return given;
    const HWND active = GetActiveWindow();
    return active && IsWindow(active) ? active : nullptr;
}

// A result that says the device no longer answers: no reply to the
// command, no "C" to a send, a transfer fallen silent.
bool DeviceFellSilent(int result)
{
    return result == CComPort::ERR_NODATA || result == CYModem::ERR_TIMEDOUT || result == CYModem::ERR_NOSTARTUPCHAR;
}

HRESULT PlatformError()
{
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : S_OK;
}

// The header fields of a classic or an extended dialog template.
void TraceTemplate(const void* data)
{
    const WORD* words = static_cast<const WORD*>(data);
    DWORD style, exStyle;
    WORD count;
    short x, y, cx, cy;
    if (words[0] == 1 && words[1] == 0xFFFF) {
        const BYTE* p = static_cast<const BYTE*>(data) + 8;  // version, signature, help id
        memcpy(&exStyle, p, 4);
        memcpy(&style, p + 4, 4);
        memcpy(&count, p + 8, 2);
        memcpy(&x, p + 10, 2), memcpy(&y, p + 12, 2), memcpy(&cx, p + 14, 2), memcpy(&cy, p + 16, 2);
    } else {
        const DLGTEMPLATE* t = static_cast<const DLGTEMPLATE*>(data);
        style = t->style, exStyle = t->dwExtendedStyle, count = t->cdit;
        x = t->x, y = t->y, cx = t->cx, cy = t->cy;
    }
    DbgPrint("TEMPLATE: Style=0x%X, ExStyle=0x%X, cdit=0x%X, (x,y)=(%d,%d), (cx,cy)=(%d,%d)",
             static_cast<unsigned>(style), static_cast<unsigned>(exStyle), count, x, y, cx, cy);
}

void SetLine(HWND control, UINT formatId, const char* path)
{
    if (!control) return;
    char compact[kLineLength] = "";
    PathCompactPathExA(compact, path, kLineLength, 0);
    char format[128] = "", line[256];
    LoadResourceText(formatId, format, sizeof format);
    snprintf(line, sizeof line, format, compact);
    SetWindowTextA(control, line);
}

// Adds a heading and the rows whose status `listed` picks, while the text
// is shorter than 511 characters.
void AppendFileList(char (&text)[1024], UINT heading, const std::vector<DeviceEntry>& rows, bool (*listed)(int))
{
    if (std::none_of(rows.begin(), rows.end(), [listed](const DeviceEntry& row) { return listed(row.nType); })) return;
    size_t used = strlen(text);
    if (used >= 511) return;
    if (used) text[used++] = '\n';
    LoadResourceText(heading, text + used, static_cast<int>(sizeof text - used));
    for (const DeviceEntry& row : rows) {
        if (!listed(row.nType)) continue;
        used = strlen(text);
        if (used >= 511) break;
        char reason[160] = "";
        if (row.nType == DeviceEntry::ROW_NAMESAKE) LoadResourceText(IDS_NAMESAKE_REASON, reason, sizeof reason);
        snprintf(text + used, sizeof text - used, "\n%s%s%s", row.sName.c_str(), reason[0] ? " " : "", reason);
    }
}

}  // namespace

HRESULT CNotetaker::transfer(HWND, int mode)
{
    if (mode != DCMD_TX && mode != DCMD_RX) return E_INVALIDARG;
    m_job.mode = mode;
    char unknown[64];
    if (trace())
        DbgPrint("CNotetaker::transfer(%s) %d files", CommandName(mode, unknown),
                 static_cast<int>(m_transferList.size()));
    setError(0);
    m_job.cancelled = 0;
    m_job.dialog = nullptr;
    m_job.ready.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    m_job.rowsEnded.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!m_job.ready.valid() || !m_job.rowsEnded.valid()) return ErrorHResult(setError(ERR_SYSTEM));
    // The rows run on this thread, which is the device thread (or the
    // console's only one); the dialog, on the thread of the window that asked.
    if (!BeginAskCaller([this](HWND owner) { return static_cast<int>(showProgress(owner)); }, S_OK)) {
        runTransferList();
        return LastResult() < 0 ? ErrorHResult(LastResult()) : S_OK;
    }
    HANDLE up[] = {m_job.ready.get(), CallerUiEnded()};
    WaitForMultipleObjects(2, up, FALSE, INFINITE);
    const HWND dialog = m_job.dialog;
    // The user who pressed Cancel has control back as soon as the rows stop;
    // the device thread tells the device afterwards (EndOwedCancel).
    OweCancelExchange(true);
    if (dialog) runTransferList();
    OweCancelExchange(false);
    SetEvent(m_job.rowsEnded.get());
    if (dialog) PostMessageA(dialog, kWorkerEnded, 0, 0);
    const HRESULT shown = static_cast<HRESULT>(EndAskCaller());
    if (!dialog && FAILED(shown)) return shown;
    // The asking window went away before its dialog could come up: the rows
    // still run, without one, rather than fail for want of a window.
    if (!dialog) runTransferList();
    return LastResult() < 0 ? ErrorHResult(LastResult()) : S_OK;
}

// On the asking window's thread: the dialog, modal to `owner`, until the rows end.
HRESULT CNotetaker::showProgress(HWND owner)
{
    owner = DialogOwner(owner);
    if (trace()) DbgTraceWindow(owner, false);
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const HRESULT hr = runProgressDialog(owner);
    SetEvent(m_job.ready.get());  // for a dialog that never came up
    return hr;
}

// Our own dialog, never the shell library's undocumented one: that one's
// texts and keys are not ours to make readable, and it may go in any update.
HRESULT CNotetaker::runProgressDialog(HWND owner)
{
    HRSRC found = FindResourceA(OwnModule(), MAKEINTRESOURCEA(IDD_PROGRESS), MAKEINTRESOURCEA(5));
    if (trace()) DbgPrint("TEMPLATE: our own progress dialog");
    SetLastError(0);
    HGLOBAL loaded = found ? LoadResource(OwnModule(), found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return PlatformError();
    if (trace()) TraceTemplate(data);

    SetLastError(0);
    const INT_PTR ended = DialogBoxIndirectParamA(OwnModule(), static_cast<LPCDLGTEMPLATEA>(data), owner,
                                                  _progressDlgProc, reinterpret_cast<LPARAM>(this));
    if (ended > 0) return LastResult() < 0 ? ErrorHResult(LastResult()) : S_OK;
    if (trace()) DbgPrint("\tDialogBoxIndirectParam FAILED");
    const DWORD error = GetLastError();
    if (error) return HRESULT_FROM_WIN32(error);
    setError(ERR_UNKNOWN);
    return ErrorHResult(ERR_UNKNOWN);
}

INT_PTR CALLBACK CNotetaker::_progressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        reinterpret_cast<CNotetaker*>(lParam)->startJob(dialog);
        return TRUE;
    }
    CNotetaker* self = reinterpret_cast<CNotetaker*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!self) return FALSE;
    switch (message) {
    case WM_TIMER:
        if (wParam == kTimer) self->watchWorker(dialog);
        return TRUE;
    case kWorkerEnded: self->watchWorker(dialog); return TRUE;
    case WM_COMMAND:
        // Enter is Cancel too: the dialog has nothing else to confirm.
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
            if (self->trace()) DbgPrint("CNotetaker:: transfer aborted");
            InterlockedExchange(&self->m_job.cancelled, 1);
            self->RequestCancel();
            char stopping[64] = "";
            LoadResourceText(IDS_STOPPING, stopping, sizeof stopping);
            SetDlgItemTextA(dialog, IDC_BYTES, stopping);
        }
        return TRUE;
    case WM_DESTROY: self->m_job.dialog = nullptr; return FALSE;
    default: return FALSE;
    }
}

void CNotetaker::startJob(HWND dialog)
{
    m_job.dialog = dialog;
    m_job.timer = SetTimer(dialog, kTimer, kTimerPeriod, nullptr);
    if (!m_job.timer) {
        DbgPrint("NO TIMERS REMAINING!");
        // Without a timer nobody would notice the worker's end: close now.
        setError(ERR_SYSTEM);
        EndDialog(dialog, 1);
        return;
    }
    const UINT title = m_job.mode == DCMD_TX   ? IDS_TITLE_SENDING
                       : m_job.mode == DCMD_RX ? IDS_TITLE_RECEIVING
                                               : IDS_TITLE_TRANSFERRING;
    char text[128] = "";
    LoadResourceText(title, text, sizeof text);
    SetWindowTextA(dialog, text);
    SetEvent(m_job.ready.get());  // the device thread runs the rows now
}

void CNotetaker::EndOwedCancel()
{
    if (!CancelOwed()) return;
    const int result = LastResult();
    PayCancel();
    serialClose();
    ForgetDeviceType();
    setError(result);
}

void CNotetaker::watchWorker(HWND dialog)
{
    if (WaitForSingleObject(m_job.rowsEnded.get(), 0) == WAIT_TIMEOUT) return;
    KillTimer(dialog, kTimer);
    m_job.timer = 0;
    EndDialog(dialog, 1);
}

// One port opening serves every row of the job; the job leaves it closed and
// the device to be identified again by the next command that asks.
int CNotetaker::runTransferList()
{
    const int result = transferRows();
    const DWORD winError = WinError();
    if (!CancelOwed()) serialClose();  // the owed CANs go out on it
    ForgetDeviceType();
    restoreError(result, winError);
    if (trace()) DbgPrint("Exiting transfer thread with %d", result);
    return result;
}

int CNotetaker::transferRows()
{
    ProgressLines lines;
    for (int id = IDC_SOURCE; id <= IDC_BYTES; ++id) lines.control[id - IDC_SOURCE] = GetDlgItem(m_job.dialog, id);

    int last = 0;
    for (DeviceEntry& row : m_transferList) {
        if (m_job.cancelled) return setError(ERR_ABORTED);  // this row and the rest stay "not attempted"
        if (trace()) DbgPrint("transferring %s <-> %s", row.sName.c_str(), row.sPcName.c_str());
        const int result = transferRow(row, lines);
        if (result == ERR_ABORTED) {
            row.nType = ERR_ABORTED;
            return setError(ERR_ABORTED);
        }
        row.nType = result < 0 ? result : 0;
        if (row.nType == 0 && m_job.rowDone) m_job.rowDone(row);
        if (trace()) DbgPrint("done with %s <-> %s: Code=%d", row.sName.c_str(), row.sPcName.c_str(), row.nType);
        last = result;
        // Each row would spend its own repeats and retries on a device that
        // is gone: the rows after this one stay "not attempted".
        if (DeviceFellSilent(result)) break;
    }
    return setError(last);
}

int CNotetaker::transferRow(DeviceEntry& row, ProgressLines& lines)
{
    const DWORD attempts = std::max<DWORD>(1, TransferRetries());
    int started = ERR_UNKNOWN;
    for (DWORD attempt = 0; attempt < attempts && !m_job.cancelled; ++attempt) {
        started = startRow(row);
        if (started >= 0) break;
    }
    if (started < 0 && m_job.cancelled) return ERR_ABORTED;
    if (started >= 0) {
        if (m_job.cancelled) RequestCancel();  // pressed while the command went out
        const bool sending = m_job.mode == DCMD_TX;
        SetLine(lines.control[0], IDS_LINE_SOURCE, sending ? row.sPcName.c_str() : row.sName.c_str());
        if (!row.sName.empty())
            SetLine(lines.control[1], IDS_LINE_DESTINATION, sending ? row.sName.c_str() : row.sPcName.c_str());
        if (lines.control[3]) SetWindowTextA(lines.control[3], "");
        lines.lastPacket = -1;
        lines.total = 0;
        int step;
        while ((step = progressStep(lines)) > 0) {
        }
        if (step == ERR_ABORTED || LastResult() == ERR_ABORTED) return ERR_ABORTED;
        started = LastResult();
    }
    // The next row goes out on the open port. A failed row may have left the
    // device mid-exchange: the port is closed, and so its queues emptied,
    // before the next row.
    if (started < 0) {
        serialClose();
        ForgetDeviceType();
    }
    return started;
}

int CNotetaker::startRow(const DeviceEntry& row)
{
    if (m_job.mode == DCMD_TX) {
        // The file is opened by its own path and sent under its mapped name:
        // the mapped path names no file where the volume keeps no short names.
        std::string name = row.sName.substr(row.sName.find_last_of('\\') + 1);
        if (!m_job.deviceNames && !DeviceFileName(row.sPcName, name))
            return setError(ERR_INVALIDPATH);  // before the device hears of it
        unsigned char ready = 0;
        const int sent = serialCmd(row.sName.c_str(), DCMD_TX, &ready, 1);
        if (sent < 0) return sent;
        if (ready != kTxReady) return setError(ERR_RESPONSE);
        RxClear();
        return TxStart(row.sPcName.c_str(), name.c_str());
    }
    const int namesake = refuseNamesake(row.sName.c_str());
    if (namesake < 0) return namesake;
    const int sent = serialCmd(FolderPathToSend(row.sName.c_str()).c_str(), DCMD_RX, nullptr, 0);
    if (sent < 0) return sent;
    return RxStart(row.sPcName.c_str(), row.nSize);
}

int CNotetaker::progressStep(ProgressLines& lines)
{
    const int step = Process();
    if (step <= 0) return step;
    const int packet = GetParameter(PAR_PACKET);
    if (packet < 0) return packet;
    if (packet <= lines.lastPacket) return step;
    lines.lastPacket = packet;
    HWND bar = lines.control[2];
    if (packet == 0) {
        lines.total = 0;
        if (bar) SendMessageA(bar, PBM_SETPOS, 0, 0);
    }
    if (packet == 1) {
        lines.total = static_cast<DWORD>(GetParameter(PAR_FILESIZE));
        if (bar) SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(lines.total));
    }
    if (packet >= 1 && bar) SendMessageA(bar, PBM_DELTAPOS, static_cast<WPARAM>(GetParameter(PAR_PACKETSIZE)), 0);
    if (lines.control[3] || m_job.observer) {
        const DWORD done = static_cast<DWORD>(GetParameter(PAR_BYTESDONE));
        char doneText[kLineLength], totalText[kLineLength], format[128] = "", text[256];
        StrFormatByteSizeA(done, doneText, kLineLength);
        StrFormatByteSizeA(lines.total, totalText, kLineLength);
        const int percent = lines.total ? static_cast<int>(std::min<ULONGLONG>(100, done * 100ULL / lines.total)) : 0;
        LoadResourceText(m_job.mode == DCMD_TX ? IDS_LINE_SENT : IDS_LINE_RECEIVED, format, sizeof format);
        snprintf(text, sizeof text, format, doneText, totalText, percent);
        if (lines.control[3]) SetWindowTextA(lines.control[3], text);
        if (m_job.observer) m_job.observer(text);
    }
    return step;
}

int CNotetaker::ShowErrorFiles(HWND hwnd)
{
    char text[1024] = "";
    AppendFileList(text, IDS_FAILED_FILES, m_transferList, [](int status) { return status < 0; });
    // Rows left after a cancel were never tried; a special entry that a
    // backup leaves out is named among them.
    AppendFileList(text, IDS_NOT_ATTEMPTED, m_transferList, [](int status) { return status > 0; });
    if (!text[0]) return 0;
    if (trace()) DbgPrint("CNotetaker::ShowErrorFiles()=%s", text);
    ShowMessageText(hwnd ? hwnd : GetActiveWindow(), text, MB_ICONERROR | MB_TASKMODAL);
    return 0;
}

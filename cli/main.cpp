// pellor: the note-taker's files from a console, for users without Explorer
// and for scripts. Every operation is the extension's own code.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "devicefiles/DeviceName.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/FolderPath.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "foundation/CReg.h"
#include "foundation/DbgLog.h"
#include "foundation/SerialPorts.h"
#include "shell/Guids.h"

namespace {

const char kUsage[] =
    "usage: pellor [--port COMn] [--yes] COMMAND [ARGUMENTS]\n"
    "  ports [--probe]               the PC's serial ports; --probe: which one the note-taker answers on\n"
    "  ident                         which note-taker answers, on which port\n"
    "  ls [-r] [DEVICE-FOLDER]       list a folder (\\ is the root); -r: and every folder in it\n"
    "  get DEVICE-FILE [PC-PATH]     copy a file from the note-taker\n"
    "  put PC-FILE... DEVICE-FOLDER  copy files into a folder of the note-taker, such as R:\\\n"
    "  rm DEVICE-FILE                delete a file on the note-taker\n"
    "  mkdir DEVICE-FOLDER           make a folder on the note-taker\n"
    "  mv DEVICE-PATH NEW-PATH       rename (a bare new name stays in the same folder)\n"
    "  backup PC-FOLDER              copy every file of the note-taker into a folder\n"
    "  restore PC-FOLDER             send a backup back to the note-taker\n"
    "Without --port (COM1 to COM256) the port from the settings is used, or the\n"
    "note-taker is looked for on the PC's serial ports, where it answered last first.\n"
    "--yes answers every question with yes. Exit status 0 when everything asked\n"
    "was done, 1 otherwise (a failure, a file not copied, a No).\n";

struct Options {
    int port = 0;  // 1-based; 0 takes the settings
    bool yes = false;
    std::vector<std::string> words;
};

bool g_answerYes = false;

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--port" && i + 1 < argc) {
            options.port = PortNumber(argv[++i]);
            if (!options.port) return false;
        } else if (word == "--yes" || word == "-y") {
            options.yes = true;
        } else if (word == "--help" || word == "-h") {
            return false;
        } else {
            options.words.push_back(word);
        }
    }
    return !options.words.empty();
}

bool g_progressShown = false;

void ShowProgress(const char* line)
{
    fprintf(stderr, "\r%-60s", line);
    g_progressShown = true;
}

// The job counts a block only once the next begins, so the last line would
// show less than was moved: it goes once the job ends.
void EndProgress()
{
    if (g_progressShown) fprintf(stderr, "\r%-60s\r", "");
    g_progressShown = false;
}

int g_portIndex = -1;  // the port asked for; negative: found among the PC's ports

int Say(const std::string& subject, const std::string& words)
{
    fprintf(stderr, "pellor: %s: %s\n", subject.c_str(), words.c_str());
    return 1;
}

// Before the device was found, a failure is the port's: which port, and why.
int PortFailure(CNotetaker& nt)
{
    const std::string port = g_portIndex < 0 ? "the PC's serial ports" : PortName(g_portIndex + 1);
    const int code = nt.LastResult();
    const DWORD winError = nt.WinError();
    if (code == CComPort::ERR_SYSTEM && (winError == ERROR_FILE_NOT_FOUND || winError == ERROR_PATH_NOT_FOUND))
        return Say(port, g_portIndex < 0 ? "no serial port found" : "there is no such serial port");
    if (code == CNotetaker::ERR_NOANSWER) {  // the words name the ports tried
        fprintf(stderr, "pellor: %s\n", nt.GetErrorString(code).c_str());
        return 1;
    }
    return Say(port, nt.GetErrorString(code));
}

// Names what failed, the port, the PC path or the device path, and why. A
// platform call that failed once the device answered was about the PC path.
int Fail(CNotetaker& nt, const std::string& devicePath, const std::string& pcPath = std::string(), HRESULT hr = S_OK)
{
    if (!nt.Detected()) return PortFailure(nt);
    const int code = nt.LastResult();
    std::string words = nt.GetErrorString(code);
    if (words.empty()) {
        // A failure outside the device (no window for the progress dialog,
        // say) leaves no device error: then the system's words for the HRESULT.
        char text[512] = "";
        if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(hr),
                            0, text, sizeof text, nullptr))
            snprintf(text, sizeof text, "error 0x%08lX", static_cast<unsigned long>(hr));
        words = text;
    }
    if (code == CComPort::ERR_NODATA || code == CYModem::ERR_TIMEDOUT) words += " (the note-taker stopped answering)";
    if (code == CComPort::ERR_SYSTEM && !pcPath.empty()) return Say(pcPath, words);
    return Say(devicePath.empty() ? std::string("the note-taker") : devicePath, words);
}

// S_FALSE: the user said No, so nothing asked was done.
int Done(CNotetaker& nt, HRESULT hr, const char* what, const std::string& devicePath = std::string(),
         const std::string& pcPath = std::string())
{
    EndProgress();
    const std::vector<DeviceEntry>& rows = nt.TransferList();
    const bool oneRow = rows.size() <= 1;
    if (FAILED(hr) && oneRow) return Fail(nt, devicePath, pcPath, hr);
    if (hr == S_FALSE) {
        fprintf(stderr, "pellor: %s: nothing done\n", what);
        return 1;
    }
    bool failedRows = FAILED(hr);
    for (const DeviceEntry& row : rows) {
        if (row.nType == DeviceEntry::ROW_SKIPPED)
            fprintf(stderr, "pellor: not backed up (special entry): %s\n", row.sName.c_str());
        if (row.nType == 0 || row.nType == DeviceEntry::ROW_SKIPPED) continue;
        if (row.nType > 0) fprintf(stderr, "pellor: not attempted: %s\n", row.sName.c_str());
        else fprintf(stderr, "pellor: failed: %s: %s\n", row.sName.c_str(), nt.GetErrorString(row.nType).c_str());
        failedRows = true;
    }
    if (FAILED(hr)) Fail(nt, devicePath, pcPath, hr);
    return failedRows ? 1 : 0;
}

// A device path with its drive: a bare folder name is on R:, as for a send.
std::string Qualified(const std::string& path)
{
    if (path == "\\" || path.find(':') != std::string::npos) return path;
    return "R:\\" + path;
}

// What the listing of the folder that holds `path` says of it: a folder
// (the root and the drives are), a file with its entry, or nothing.
enum class Found { Folder, File, Special, Missing, Failed };

Found Lookup(CNotetaker& nt, std::string path, DeviceEntry& entry)
{
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    if (path == "\\" || (path.size() <= 3 && path.size() >= 2 && path[1] == ':')) return Found::Folder;
    const size_t slash = path.find_last_of('\\');
    const bool top = slash == 2 && path[1] == ':';
    const std::string parent = top ? "\\" : path.substr(0, slash), name = path.substr(slash + 1);
    const int count = nt.EnumFolder(parent.c_str());
    if (count < 0) return Found::Failed;
    for (int i = 0; i < count; ++i) {
        nt.GetEntry(static_cast<size_t>(i), entry);
        const bool folder = entry.nType == DeviceEntry::TYPE_FOLDER_R || entry.nType == DeviceEntry::TYPE_FOLDER_F;
        if (folder && _stricmp(entry.sName.c_str(), path.c_str()) == 0) return Found::Folder;
        if (!folder && !top && _stricmp(entry.sName.c_str(), name.c_str()) == 0) return Found::File;
        if (entry.nType == DeviceEntry::TYPE_SPECIAL && top && _stricmp(entry.sName.c_str(), name.c_str()) == 0)
            return Found::Special;
    }
    return Found::Missing;
}

// The device folder to list or send into, or 1 with words when it is none.
int CheckFolder(CNotetaker& nt, const std::string& folder)
{
    DeviceEntry entry;
    switch (Lookup(nt, folder, entry)) {
    case Found::Folder: return 0;
    case Found::Failed: return Fail(nt, folder);
    case Found::Missing: return Say(folder, "no such folder on the note-taker");
    case Found::Special: return Say(folder, "is the note-taker's own entry, not a folder");
    default: return Say(folder, "is a file, not a folder");
    }
}

std::string LastComponent(const std::string& path)
{
    const size_t slash = path.find_last_of("\\:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsFolder(const std::string& path)
{
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FullPcPath(const std::string& path)
{
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return n && n < MAX_PATH ? full : path;
}

int Ident(CNotetaker& nt)
{
    char name[32] = "";
    const DWORD model = nt.GetDeviceType();
    if (model == 0) return Fail(nt, "");
    nt.GetDeviceName(name, sizeof name);
    const WORD firmware = nt.FirmwareVersion();
    printf("model %lu, name %s, firmware %u.%u, COM%d at %d baud\n", model, name, firmware >> 8, firmware & 0xFF,
           nt.GetParameter(CComPort::PAR_PORT) + 1, nt.GetParameter(CComPort::PAR_BAUDRATE));
    return 0;
}

// The present ports; with `probe`, which one the note-taker answers on.
int Ports(CNotetaker& nt, bool probe)
{
    const std::vector<SerialPort> ports = PresentPorts();
    if (ports.empty()) printf("no serial port present\n");
    for (const SerialPort& port : ports)
        printf("%-7s %-40s %s\n", PortName(port.number).c_str(), port.friendly.empty() ? "-" : port.friendly.c_str(),
               PortKindName(port.kind));
    if (!probe) return 0;
    if (nt.GetDeviceType() == 0) return Fail(nt, "");
    printf("the note-taker answers on COM%d at %d baud\n", nt.GetParameter(CComPort::PAR_PORT) + 1,
           nt.GetParameter(CComPort::PAR_BAUDRATE));
    return 0;
}

// With `recursive`, every folder below is listed after its own line, and
// files are named by their whole device path; `seen` holds the folders of the walk.
int List(CNotetaker& nt, const std::string& folder, bool recursive, std::set<std::string>& seen)
{
    if (recursive && !WalkInto(seen, folder.c_str())) {
        nt.refuseWalk(folder.c_str());
        return Fail(nt, folder);
    }
    std::vector<DeviceEntry> entries;
    if (nt.ListFolder(folder, entries) < 0) return Fail(nt, folder);
    const bool root = folder == "\\";
    for (const DeviceEntry& entry : entries) {
        const SYSTEMTIME& t = entry.stTime;
        const bool special = entry.nType == DeviceEntry::TYPE_SPECIAL;
        const bool folderEntry = entry.nType == DeviceEntry::TYPE_FOLDER_R || entry.nType == DeviceEntry::TYPE_FOLDER_F;
        const bool whole = recursive && entry.nType == DeviceEntry::TYPE_FILE && !root;
        const std::string name = whole ? folder + "\\" + entry.sName : entry.sName;
        // The root's special entry is the note-taker's own, such as its clock:
        // no file or folder, and a backup leaves it out.
        const char* kind = special ? "<special>" : folderEntry ? "<folder>" : nullptr;
        printf("%04u-%02u-%02u %02u:%02u  %10s  %s%s\n", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
               kind ? kind : std::to_string(entry.nSize).c_str(), name.c_str(),
               special       ? "  (the note-taker's own entry, not a file; not backed up)"
               : folderEntry ? "\\"
                             : "");
        if (recursive && folderEntry && List(nt, entry.sName, true, seen) != 0) return 1;
    }
    return 0;
}

int ListFolder(CNotetaker& nt, const std::string& folder, bool recursive)
{
    const int checked = CheckFolder(nt, folder);
    std::set<std::string> seen;
    return checked ? checked : List(nt, folder, recursive, seen);
}

// The file's folder is listed first: the size it gives is the file's true
// length where the device's first block carries none.
int Get(CNotetaker& nt, const std::string& devicePath, std::string pcPath)
{
    DeviceEntry entry;
    switch (Lookup(nt, devicePath, entry)) {
    case Found::File: break;
    case Found::Failed: return Fail(nt, devicePath);
    case Found::Missing: return Say(devicePath, "no such file on the note-taker");
    case Found::Special: return Say(devicePath, "is the note-taker's own entry, not a file");
    default: return Say(devicePath, "is a folder; get copies one file");
    }
    if (pcPath.empty()) pcPath = ".";
    if (IsFolder(pcPath)) pcPath += "\\" + LastComponent(devicePath);
    pcPath = FullPcPath(pcPath);
    return Done(nt, nt.FileGet(nullptr, pcPath.c_str(), devicePath.c_str(), entry.nSize), "get", devicePath, pcPath);
}

// Two files that one device name would hold are refused, both named, before
// anything is sent; a name taken in the folder is replaced only on a Yes.
int Put(CNotetaker& nt, const std::vector<std::string>& pcFiles, const std::string& folder)
{
    const int checked = CheckFolder(nt, folder);
    if (checked) return checked;
    std::vector<std::string> pcPaths, devicePaths, names;
    for (const std::string& file : pcFiles) {
        std::string name;
        pcPaths.push_back(FullPcPath(file));
        if (!DeviceFileName(pcPaths.back(), name))
            return Say(pcPaths.back(), nt.GetErrorString(CNotetaker::ERR_INVALIDPATH));
        devicePaths.push_back(folder + (folder.back() == '\\' ? "" : "\\") + name);
        names.push_back(name);
    }
    size_t first = 0, second = 0;
    if (FindSharedDevicePath(devicePaths, first, second)) {
        ShowSharedDevicePath(nullptr, pcPaths[first].c_str(), pcPaths[second].c_str(), devicePaths[first].c_str());
        return 1;
    }
    std::vector<std::string> taken;
    if (nt.TakenNames(folder.c_str(), taken) < 0) return Fail(nt, folder);
    int status = 0;
    for (size_t i = 0; i < pcPaths.size(); ++i) {
        if (NameTaken(taken, names[i]) &&
            AskReplace(nullptr, devicePaths[i].c_str(), nullptr) != ReplaceAnswer::Replace) {
            fprintf(stderr, "pellor: %s: not replaced\n", devicePaths[i].c_str());
            status = 1;
            continue;
        }
        status |= Done(nt, nt.FilePut(nullptr, pcPaths[i].c_str(), folder.c_str(), 0), "put", folder, pcPaths[i]);
    }
    return status;
}

int Rename(CNotetaker& nt, const std::string& from, std::string to)
{
    if (to.find('\\') == std::string::npos && to.find(':') == std::string::npos) {
        const size_t slash = from.find_last_of('\\');
        to = (slash == std::string::npos ? std::string() : from.substr(0, slash + 1)) + to;
    }
    return Done(nt, nt.Rename(from.c_str(), to.c_str(), 0), "mv", to);
}

int Run(CNotetaker& nt, const std::vector<std::string>& w)
{
    const std::string& command = w[0];
    const char* arg1 = w.size() > 1 ? w[1].c_str() : nullptr;
    const std::string arg2 = w.size() > 2 ? w[2] : std::string();
    if (command == "ident") return Ident(nt);
    if (command == "ports") return Ports(nt, arg1 && strcmp(arg1, "--probe") == 0);
    if (command == "ls") {
        const bool recursive = arg1 && strcmp(arg1, "-r") == 0;
        const char* folder = recursive ? (w.size() > 2 ? w[2].c_str() : nullptr) : arg1;
        return ListFolder(nt, Qualified(folder ? folder : "\\"), recursive);
    }
    if (!arg1 || (command == "put" && w.size() < 3)) {
        fputs(kUsage, stderr);
        return 1;
    }
    if (command == "get") return Get(nt, Qualified(arg1), arg2);
    if (command == "put") return Put(nt, std::vector<std::string>(w.begin() + 1, w.end() - 1), Qualified(w.back()));
    if (command == "rm") return Done(nt, nt.FileDelete(arg1), "rm", arg1);
    if (command == "mkdir") return Done(nt, nt.FolderCreate(arg1), "mkdir", arg1);
    if (command == "mv" && !arg2.empty()) return Rename(nt, arg1, arg2);
    const std::string folder = FullPcPath(arg1);
    if (command == "backup") return Done(nt, nt.Backup(nullptr, folder.c_str()), "backup", "", folder);
    if (command == "restore") return Done(nt, nt.Restore(nullptr, folder.c_str()), "restore", "", folder);
    fputs(kUsage, stderr);
    return 1;
}

// Questions are answered on the console, each box type with its own yes and
// no; without a terminal to answer on, and without --yes, the answer is No.
int ConsoleBox(HWND, const char*, const char* text, UINT flags)
{
    const UINT type = flags & MB_TYPEMASK;
    if (type == MB_OK) {
        fprintf(stderr, "%s\n", text);
        return IDOK;
    }
    const bool yesNo = type == MB_YESNO || type == MB_YESNOCANCEL;
    const int yes = yesNo ? IDYES : type == MB_RETRYCANCEL ? IDRETRY : IDOK, no = yesNo ? IDNO : IDCANCEL;
    fprintf(stderr, "%s [y/N] ", text);
    DWORD mode = 0;  // a console reads keys; NUL, a file or a pipe is no one to ask
    if (g_answerYes || !GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) {
        fprintf(stderr, "%s\n", g_answerYes ? "y" : "N");
        return g_answerYes ? yes : no;
    }
    char answer[16] = "";
    if (!fgets(answer, sizeof answer, stdin)) fputc('\n', stderr);
    return answer[0] == 'y' || answer[0] == 'Y' ? yes : no;
}

// The object whose transfer Ctrl+C stops, while there is one.
std::atomic<CNotetaker*> g_stoppable{nullptr};

// Runs on a thread of its own: the engine's cancel is the one call that may
// cross threads. The transfer then ends as a cancelled one does, its part
// file removed, and the exit status is 1. Only a transfer hears the cancel:
// a second Ctrl+C ends the process, as without the handler (a long ls -r).
BOOL WINAPI OnCtrlC(DWORD event)
{
    static std::atomic<int> presses{0};
    if ((event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) || presses++ > 0) return FALSE;
    if (CNotetaker* nt = g_stoppable.load()) nt->RequestCancel();
    return TRUE;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        fputs(kUsage, argc > 1 && strcmp(argv[1], "--help") && strcmp(argv[1], "-h") ? stderr : stdout);
        return argc > 1 && (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h")) ? 0 : 1;
    }
    CreateSettings(CLSID_Pellor);
    const CReg* reg = Settings();
    DbgOpen(reg->m_dwDebugFlags, reg->m_szLogFile, reg->m_dwLogSize * 1024);
    SetMessageBoxHook(ConsoleBox);
    g_answerYes = options.yes;

    NotetakerSettings s = CurrentNotetakerSettings();
    if (options.port) s.portIndex = options.port - 1;
    g_portIndex = s.portIndex;
    int status;
    {
        // The console owns its note-taker object on its one thread: nothing
        // else in this process touches the port, so it needs no device thread;
        // transfers run here and report through the observer.
        CNotetaker nt(s.portIndex, s.timeout, s.retries, s.transferRetries);
        nt.SetProgressObserver(ShowProgress);
        g_stoppable = &nt;
        SetConsoleCtrlHandler(OnCtrlC, TRUE);
        status = Run(nt, options.words);
        SetConsoleCtrlHandler(OnCtrlC, FALSE);
        g_stoppable = nullptr;
    }
    DbgClose();
    return status;
}

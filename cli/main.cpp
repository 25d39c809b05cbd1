// pellor: the note-taker's files from a console, for users without Explorer
// and for scripts. Every operation is the extension's own code.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "foundation/CReg.h"
#include "foundation/DbgLog.h"
#include "shell/Guids.h"

namespace {

const char kUsage[] =
    "usage: pellor [--port COMn] [--yes] COMMAND [ARGUMENTS]\n"
    "  ident                         which note-taker answers, on which port\n"
    "  ls [-r] [DEVICE-FOLDER]       list a folder (\\ is the root); -r: and every folder in it\n"
    "  get DEVICE-FILE [PC-PATH]     copy a file from the note-taker\n"
    "  put PC-FILE [DEVICE-FOLDER]   copy a file to the note-taker (R:\\ by default)\n"
    "  rm DEVICE-FILE                delete a file on the note-taker\n"
    "  mkdir DEVICE-FOLDER           make a folder on the note-taker\n"
    "  mv DEVICE-PATH NEW-PATH       rename (a bare new name stays in the same folder)\n"
    "  backup PC-FOLDER              copy every file of the note-taker into a folder\n"
    "  restore PC-FOLDER             send a backup back to the note-taker\n"
    "Without --port the port from the settings is used, or the note-taker is found\n"
    "on COM1 to COM8. --yes answers every question with yes. Exit status 0 when\n"
    "everything asked was done, 1 otherwise (a failure, a file not copied, a No).\n";

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
            const char* name = argv[++i];
            if (_strnicmp(name, "COM", 3) == 0) name += 3;
            options.port = atoi(name);
            if (options.port < 1 || options.port > 255) return false;
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

int Fail(CNotetaker& nt, const char* what, HRESULT hr = S_OK)
{
    char text[512] = "";
    // A failure outside the device (no window for the progress dialog, say)
    // leaves no device error: then the system's words for the HRESULT.
    if (!nt.GetErrorText(text, sizeof text, 0) &&
        !FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(hr), 0,
                        text, sizeof text, nullptr))
        snprintf(text, sizeof text, "error 0x%08lX", static_cast<unsigned long>(hr));
    fprintf(stderr, "pellor: %s: %s\n", what, text);
    return 1;
}

// S_FALSE: the user said No, so nothing asked was done.
int Done(CNotetaker& nt, HRESULT hr, const char* what)
{
    EndProgress();
    if (FAILED(hr)) return Fail(nt, what, hr);
    if (hr == S_FALSE) {
        fprintf(stderr, "pellor: %s: nothing done\n", what);
        return 1;
    }
    bool failedRows = false;
    for (const DeviceEntry& row : nt.TransferList()) {
        if (row.nType == DeviceEntry::ROW_SKIPPED) fprintf(stderr, "pellor: not backed up (special entry): %s\n", row.sName.c_str());
        if (row.nType == 0 || row.nType == DeviceEntry::ROW_SKIPPED) continue;
        fprintf(stderr, "pellor: failed: %s\n", row.sName.c_str());
        failedRows = true;
    }
    return failedRows ? 1 : 0;
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
    if (model == 0) return Fail(nt, "ident");
    nt.GetDeviceName(name, sizeof name);
    const WORD firmware = nt.FirmwareVersion();
    printf("model %lu, name %s, firmware %u.%u, COM%d at %d baud\n", model, name, firmware >> 8, firmware & 0xFF,
           nt.GetParameter(CComPort::PAR_PORT) + 1, nt.GetParameter(CComPort::PAR_BAUDRATE));
    return 0;
}

// With `recursive`, every folder below is listed after its own line, and
// files are named by their whole device path.
int List(CNotetaker& nt, const char* folder, bool recursive)
{
    const int count = nt.EnumFolder(folder);
    if (count < 0) return Fail(nt, "ls");
    std::vector<DeviceEntry> entries(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) nt.GetEntry(static_cast<size_t>(i), entries[static_cast<size_t>(i)]);
    const bool root = strcmp(folder, "\\") == 0;
    for (const DeviceEntry& entry : entries) {
        const SYSTEMTIME& t = entry.stTime;
        const bool folderEntry = entry.nType != DeviceEntry::TYPE_FILE;
        const std::string name = recursive && !folderEntry && !root ? std::string(folder) + "\\" + entry.sName : entry.sName;
        printf("%04u-%02u-%02u %02u:%02u  %10s  %s%s\n", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
               folderEntry ? "<folder>" : std::to_string(entry.nSize).c_str(), name.c_str(), folderEntry ? "\\" : "");
        const bool walk = entry.nType == DeviceEntry::TYPE_FOLDER_R || entry.nType == DeviceEntry::TYPE_FOLDER_F;
        if (recursive && walk && List(nt, entry.sName.c_str(), true) != 0) return 1;
    }
    return 0;
}

int Get(CNotetaker& nt, const std::string& devicePath, std::string pcPath)
{
    if (pcPath.empty()) pcPath = ".";
    if (IsFolder(pcPath)) pcPath += "\\" + LastComponent(devicePath);
    return Done(nt, nt.FileGet(nullptr, FullPcPath(pcPath).c_str(), devicePath.c_str(), 0), "get");
}

int Rename(CNotetaker& nt, const std::string& from, std::string to)
{
    if (to.find('\\') == std::string::npos && to.find(':') == std::string::npos) {
        const size_t slash = from.find_last_of('\\');
        to = (slash == std::string::npos ? std::string() : from.substr(0, slash + 1)) + to;
    }
    return Done(nt, nt.Rename(from.c_str(), to.c_str(), 0), "mv");
}

int Run(CNotetaker& nt, const std::vector<std::string>& w)
{
    const std::string& command = w[0];
    const char* arg1 = w.size() > 1 ? w[1].c_str() : nullptr;
    const std::string arg2 = w.size() > 2 ? w[2] : std::string();
    if (command == "ident") return Ident(nt);
    if (command == "ls") {
        const bool recursive = arg1 && strcmp(arg1, "-r") == 0;
        const char* folder = recursive ? (w.size() > 2 ? w[2].c_str() : nullptr) : arg1;
        return List(nt, folder ? folder : "\\", recursive);
    }
    if (!arg1) {
        fputs(kUsage, stderr);
        return 1;
    }
    if (command == "get") return Get(nt, arg1, arg2);
    if (command == "put") return Done(nt, nt.FilePut(nullptr, FullPcPath(arg1).c_str(), arg2.c_str(), 0), "put");
    if (command == "rm") return Done(nt, nt.FileDelete(arg1), "rm");
    if (command == "mkdir") return Done(nt, nt.FolderCreate(arg1), "mkdir");
    if (command == "mv" && !arg2.empty()) return Rename(nt, arg1, arg2);
    if (command == "backup") return Done(nt, nt.Backup(nullptr, FullPcPath(arg1).c_str()), "backup");
    if (command == "restore") return Done(nt, nt.Restore(nullptr, FullPcPath(arg1).c_str()), "restore");
    fputs(kUsage, stderr);
    return 1;
}

// Questions (replace an existing backup?) are answered on the console.
int ConsoleBox(HWND, const char* text, UINT flags)
{
    fprintf(stderr, "%s\n", text);
    if ((flags & MB_TYPEMASK) != MB_OKCANCEL || g_answerYes) return IDOK;
    fprintf(stderr, "[y/N] ");
    char answer[16] = "";
    return fgets(answer, sizeof answer, stdin) && (answer[0] == 'y' || answer[0] == 'Y') ? IDOK : IDCANCEL;
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
    int status;
    {
        // The console owns its note-taker object on its one thread: nothing
        // else in this process touches the port, so it needs no device thread;
        // transfers run here and report through the observer.
        CNotetaker nt(s.portIndex, s.timeout, s.retries, s.transferRetries);
        nt.SetProgressObserver(ShowProgress);
        status = Run(nt, options.words);
    }
    DbgClose();
    return status;
}

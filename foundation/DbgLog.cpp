#include "foundation/DbgLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

#include "foundation/ScopedHandle.h"

namespace {

constexpr size_t kMessageSize = 1024;
constexpr DWORD kCutChunk = 16384;

struct LogState {
    volatile uint32_t flags = 0;
    uint32_t sizeLimit = 0;
    ScopedKernelHandle file;
};

LogState g_log;
DbgDebuggerOutput g_debuggerOutput = OutputDebugStringA;

void ToDebugger(const char* text) { g_debuggerOutput(text); }

// The lock lives from first use until the module goes, not from open to
// close: the settings save closes and reopens the log while other threads
// (a transfer's worker) may be writing a line.
class LogLock {
public:
    constexpr LogLock() = default;
    ~LogLock()
    {
        BOOL pending = FALSE;
        if (InitOnceBeginInitialize(&once_, INIT_ONCE_CHECK_ONLY, &pending, nullptr)) DeleteCriticalSection(&section_);
    }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

    CRITICAL_SECTION& Get()
    {
        InitOnceExecuteOnce(&once_, Create, &section_, nullptr);
        return section_;
    }

private:
    static BOOL CALLBACK Create(PINIT_ONCE, PVOID section, PVOID*)
    {
        InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(section));
        ToDebugger("InitializeCriticalSection\n");
        return TRUE;
    }

    INIT_ONCE once_ = INIT_ONCE_STATIC_INIT;
    CRITICAL_SECTION section_{};
};

LogLock g_lock;

class LockHolder {
public:
    LockHolder() : cs_(g_lock.Get()) { EnterCriticalSection(&cs_); }
    ~LockHolder() { LeaveCriticalSection(&cs_); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

bool Seek(HANDLE file, LONGLONG offset, DWORD method = FILE_BEGIN)
{
    LARGE_INTEGER li;
    li.QuadPart = offset;
    return SetFilePointerEx(file, li, nullptr, method) != FALSE;
}

// Moves the newest `limit` bytes to the front of the file and ends it there.
bool CutToLimit(HANDLE file, uint32_t limit)
{
    if (limit == 0) return true;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return false;
    if (size.QuadPart <= static_cast<LONGLONG>(limit)) return true;

    if (!LockFile(file, 0, 0, size.LowPart, static_cast<DWORD>(size.HighPart))) return false;
    bool ok = true;
    static char buffer[kCutChunk];  // used under the log lock only
    LONGLONG readAt = size.QuadPart - limit;
    LONGLONG writeAt = 0;
    while (ok && readAt < size.QuadPart) {
        DWORD got = 0, put = 0;
        ok = Seek(file, readAt) && ReadFile(file, buffer, kCutChunk, &got, nullptr);
        if (!ok || got == 0) break;
        ok = Seek(file, writeAt) && WriteFile(file, buffer, got, &put, nullptr) && put == got;
        readAt += got;
        writeAt += got;
    }
    if (ok) ok = Seek(file, limit) && SetEndOfFile(file);
    UnlockFile(file, 0, 0, size.LowPart, static_cast<DWORD>(size.HighPart));
    return ok;
}

void OpenFile(uint32_t flags, const char* name, uint32_t newLimit)
{
    const bool fresh = (flags & DBG_NEWFILE) != 0;
    ScopedKernelHandle file(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        fresh ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return;
    if (!fresh) CutToLimit(file.get(), g_log.sizeLimit);
    g_log.file = std::move(file);
    g_log.sizeLimit = newLimit;
}

// Writes finished text as one line; the text is never read as a format again.
void WriteLine(const char* message)
{
    const uint32_t flags = g_log.flags;
    if (!(flags & (DBG_TO_DEBUGGER | DBG_TO_FILE))) return;

    char line[kMessageSize + 128];
    if (flags & DBG_TIMESTAMP) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        char date[64] = "", time[64] = "";
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date);
        GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_FORCE24HOURFORMAT, &now, nullptr, time, sizeof time);
        snprintf(line, sizeof line, "[%s %s] 0x%lX: %s\n", date, time, GetCurrentThreadId(), message);
    } else {
        snprintf(line, sizeof line, "0x%lX: %s\n", GetCurrentThreadId(), message);
    }

    if (flags & DBG_TO_DEBUGGER) ToDebugger(line);
    if (flags & DBG_TO_FILE) {
        LockHolder hold;
        if (!g_log.file.valid()) return;
        DWORD written = 0;
        const DWORD length = static_cast<DWORD>(strlen(line));
        if (Seek(g_log.file.get(), 0, FILE_END) && WriteFile(g_log.file.get(), line, length, &written, nullptr) &&
            (flags & DBG_FLUSH))
            FlushFileBuffers(g_log.file.get());
    }
}

bool Enabled() { return (g_log.flags & (DBG_TO_DEBUGGER | DBG_TO_FILE)) != 0; }

void SystemText(DWORD code, DWORD language, char* buffer, DWORD size)
{
    buffer[0] = 0;
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, language, buffer,
                        size, nullptr))
        buffer[0] = 0;
}

void AppendItem(char* line, size_t& used, const char* item)
{
    const size_t room = kMessageSize - 1 - used;
    const size_t n = strnlen(item, room);
    memcpy(line + used, item, n);
    used += n;
    line[used] = 0;
}

uint32_t ReadLittleEndian(const uint8_t* p, int size)
{
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

void FormatItem(const uint8_t* p, int unit, char* item, size_t size)
{
    switch (unit) {
    case -1:
        if (isalnum(*p) || ispunct(*p) || *p == ' ') snprintf(item, size, "%c", *p);
        else snprintf(item, size, "\\0x%02X", *p);
        break;
    case 2: snprintf(item, size, "0x%04X ", ReadLittleEndian(p, 2)); break;
    case 4: snprintf(item, size, "0x%08X ", ReadLittleEndian(p, 4)); break;
    case -2: snprintf(item, size, "%u ", ReadLittleEndian(p, 2)); break;
    case -4: snprintf(item, size, "%d ", static_cast<int32_t>(ReadLittleEndian(p, 4))); break;
    default: snprintf(item, size, "0x%02X ", *p); break;
    }
}

int UnitSize(int unit)
{
    switch (unit) {
    case 2:
    case -2: return 2;
    case 4:
    case -4: return 4;
    default: return 1;
    }
}

}  // namespace

bool DbgOpen(uint32_t flags, const char* fileName, uint32_t sizeLimit)
{
    LockHolder hold;
    g_log.flags = flags;
    if (!g_log.file.valid() && fileName && *fileName && (flags & DBG_TO_FILE)) OpenFile(flags, fileName, sizeLimit);
    return true;
}

void DbgClose()
{
    LockHolder hold;
    if (!g_log.file.valid()) return;
    CutToLimit(g_log.file.get(), g_log.sizeLimit);
    g_log.file.reset();
}

bool DbgReset()
{
    if (!g_log.file.valid()) return false;
    LockHolder hold;
    return g_log.file.valid() && Seek(g_log.file.get(), 0) && SetEndOfFile(g_log.file.get());
}

void DbgPrint(const char* format, ...)
{
    if (!Enabled()) return;
    char message[kMessageSize];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    WriteLine(message);
}

void DbgEnter(const char* format, ...)
{
    if (!Enabled()) return;
    char entered[kMessageSize];
    snprintf(entered, sizeof entered, "+Entered %s", format);
    char message[kMessageSize];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, entered, args);
    va_end(args);
    WriteLine(message);
}

void DbgDump(const void* data, size_t count, int unit)
{
    if (!Enabled() || count == 0) return;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    const int step = UnitSize(unit);
    char line[kMessageSize] = "";
    size_t used = 0;
    size_t lineStart = 0;
    for (size_t at = 0; at + step <= count; at += step) {
        char item[32];
        FormatItem(bytes + at, unit, item, sizeof item);
        AppendItem(line, used, item);
        if ((at + step) % 64 == 0) {
            DbgPrint("%04u: %s", static_cast<unsigned>(lineStart), line);
            line[0] = 0;
            used = 0;
            lineStart = at + step;
        }
    }
    if (used) DbgPrint("%04u: %s", static_cast<unsigned>(lineStart), line);
}

DWORD DbgSystemError(DWORD code)
{
    if (!Enabled()) return code;
    char text[512];
    SystemText(code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text);
    WriteLine(text);
    return code;
}

char* DbgHresultText(HRESULT hr, char* buffer)
{
    static const struct {
        HRESULT value;
        const char* name;
    } kNames[] = {
        {static_cast<HRESULT>(0x00000000), "S_OK"},
        {static_cast<HRESULT>(0x00000001), "S_FALSE"},
        {static_cast<HRESULT>(0x80004001), "E_NOTIMPL"},
        {static_cast<HRESULT>(0x80004002), "E_NOINTERFACE"},
        {static_cast<HRESULT>(0x8007000E), "E_OUTOFMEMORY"},
        {static_cast<HRESULT>(0x80040111), "CLASS_E_CLASSNOTAVAILABLE"},
        {static_cast<HRESULT>(0x80070057), "E_INVALIDARG"},
    };
    for (const auto& entry : kNames) {
        if (entry.value == hr) {
            strcpy(buffer, entry.name);
            return buffer;
        }
    }
    char text[400];
    SystemText(static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), text, sizeof text);
    snprintf(buffer, 512, "SEVERITY_%s, %s, 0x%X, Desc: %s", hr < 0 ? "ERROR" : "SUCCESS", DbgFacilityName(hr),
             static_cast<unsigned>(hr & 0xFFFF), text);
    size_t n = strlen(buffer);
    if (n && buffer[n - 1] == '\n') buffer[n - 1] = 0;
    return buffer;
}

const char* DbgFacilityName(HRESULT hr)
{
    static const struct {
        unsigned code;
        const char* name;
    } kFacilities[] = {
        {0, "FACILITY_NULL"},
        {1, "FACILITY_RPC"},
        {2, "FACILITY_DISPATCH"},
        {3, "FACILITY_STORAGE"},
        {4, "FACILITY_ITF"},
        {7, "FACILITY_WIN32"},
        {8, "FACILITY_WINDOWS"},
        {9, "FACILITY_SECURITY"},
        {10, "FACILITY_CONTROL"},
        {11, "FACILITY_CERT"},
        {12, "FACILITY_INTERNET"},
        {13, "FACILITY_MEDIASERVER"},
        {14, "FACILITY_MSMQ"},
        {15, "FACILITY_SETUPAPI"},
        {16, "FACILITY_SCARD"},
        {17, "FACILITY_COMPLUS"},
        {18, "FACILITY_AAF"},
        {19, "FACILITY_URT"},
        {20, "FACILITY_ACS"},
        {21, "FACILITY_DPLAY"},
        {22, "FACILITY_UMI"},
        {23, "FACILITY_SXS"},
        {24, "FACILITY_WINDOWS_CE"},
        {25, "FACILITY_HTTP"},
        {32, "FACILITY_BACKGROUNDCOPY"},
        {33, "FACILITY_CONFIGURATION"},
    };
    const unsigned facility = (static_cast<unsigned>(hr) >> 16) & 0x1FFF;
    for (const auto& entry : kFacilities)
        if (entry.code == facility) return entry.name;
    return "<Unknown Facility>";
}

void DbgLeaving(HRESULT hr)
{
    if (!Enabled()) return;
    char text[512];
    DbgPrint("Leaving with HRESULT[0x%08X] = %s", static_cast<unsigned>(hr), DbgHresultText(hr, text));
}

const char* DbgHkeyName(HKEY key)
{
    static const struct {
        HKEY key;
        const char* name;
    } kRoots[] = {
        {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
        {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
        {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
        {HKEY_USERS, "HKEY_USERS"},
        {HKEY_PERFORMANCE_DATA, "HKEY_PERFORMANCE_DATA"},
        {HKEY_PERFORMANCE_TEXT, "HKEY_PERFORMANCE_TEXT"},
        {HKEY_PERFORMANCE_NLSTEXT, "HKEY_PERFORMANCE_NLSTEXT"},
        {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
        {HKEY_DYN_DATA, "HKEY_DYN_DATA"},
    };
    for (const auto& entry : kRoots)
        if (entry.key == key) return entry.name;
    return "<Unknown HKEY>";
}

namespace {
BOOL CALLBACK TraceChild(HWND child, LPARAM)
{
    char text[260] = "";
    GetWindowTextA(child, text, sizeof text);
    DbgPrint("\tchild window[0x%08X : %s]", static_cast<unsigned>(reinterpret_cast<uintptr_t>(child)), text);
    return TRUE;
}
}  // namespace

void DbgTraceWindow(HWND hwnd, bool withChildren)
{
    if (!hwnd) {
        DbgPrint("!!! NULL WINDOW !!!");
        return;
    }
    char text[260] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    DbgPrint("Tracing window[0x%08X : %s]:", static_cast<unsigned>(reinterpret_cast<uintptr_t>(hwnd)), text);
    if (withChildren) EnumChildWindows(hwnd, TraceChild, 0);
}

uint32_t DbgFlags() { return g_log.flags; }

DbgDebuggerOutput DbgSetDebuggerOutput(DbgDebuggerOutput output)
{
    DbgDebuggerOutput previous = g_debuggerOutput;
    g_debuggerOutput = output ? output : OutputDebugStringA;
    return previous;
}

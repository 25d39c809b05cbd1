#include "shell/Registration.h"

#include <olectl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cctype>
#include <cstring>

#include "foundation/DbgLog.h"
#include "foundation/Registry.h"
#include "resources/resource.h"
#include "foundation/ScopedHandle.h"
#include "shell/Guids.h"
#include "shell/ShellIdList.h"

namespace {

enum class Platform { Any, NtOnly };
enum class OnUnregister { Nothing, DeleteTree, DeleteValue };

// A text in the table: a literal, or a string id of the module.
struct Text {
    const char* literal;
    UINT id;
};
constexpr Text kNone{nullptr, 0};
constexpr Text Literal(const char* text) { return {text, 0}; }
constexpr Text String(UINT id) { return {nullptr, id}; }

struct Row {
    HKEY root;
    const char* keyPath;
    Text valueName;  // kNone: the key's default value
    DWORD type;      // REG_NONE: the key only
    Text data;
    DWORD number;  // the REG_DWORD data
    Platform platform;
    OnUnregister onUnregister;
};

constexpr DWORD kMobileDevice = 21;  // SHDID_MOBILE_DEVICE

const Row kRows[] = {
    {HKEY_CLASSES_ROOT, "CLSID\\%CLSID%", kNone, REG_SZ, String(IDS_FOLDER_NAME), 0, Platform::Any,
     OnUnregister::DeleteTree},
    {HKEY_CLASSES_ROOT, "CLSID\\%CLSID%", Literal("InfoTip"), REG_SZ, String(IDS_FOLDER_INFOTIP), 0, Platform::Any,
     OnUnregister::Nothing},
    {HKEY_CLASSES_ROOT, "CLSID\\%CLSID%\\DefaultIcon", kNone, REG_SZ, Literal("%MODULE%,0"), 0, Platform::Any,
     OnUnregister::Nothing},
    {HKEY_CLASSES_ROOT, "CLSID\\%CLSID%\\InprocServer32", kNone, REG_SZ, Literal("%MODULE%"), 0, Platform::Any,
     OnUnregister::Nothing},
    {HKEY_CLASSES_ROOT, "CLSID\\%CLSID%\\InprocServer32", Literal("ThreadingModel"), REG_SZ, Literal("Apartment"), 0,
     Platform::Any, OnUnregister::Nothing},
    {HKEY_CLASSES_ROOT, "CLSID\\%CLSID%\\ShellEx\\ContextMenuHandlers\\%CLSID%", kNone, REG_NONE, kNone, 0,
     Platform::Any, OnUnregister::Nothing},
    // This PC groups a namespace item by this value: SHDID_MOBILE_DEVICE puts the note-taker beside phones
    // and cameras, where users look for it, rather than under "Other".
    {HKEY_CLASSES_ROOT, "CLSID\\%CLSID%", Literal("DescriptionID"), REG_DWORD, kNone, kMobileDevice, Platform::Any,
     OnUnregister::Nothing},
    // SFGAO_HASSUBFOLDER | SFGAO_FOLDER | SFGAO_BROWSABLE | SFGAO_DROPTARGET, and SFGAO_ISSLOW so that Explorer
    // does not read the device to decorate the folder (its own thumbnails and overlays).
    {HKEY_CLASSES_ROOT, "CLSID\\%CLSID%\\ShellFolder", Literal("Attributes"), REG_DWORD, kNone, 0xA8004100,
     Platform::Any, OnUnregister::Nothing},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace\\%CLSID%",
     kNone, REG_SZ, String(IDS_FOLDER_NAME), 0, Platform::Any, OnUnregister::DeleteTree},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", Literal("%CLSID%"),
     REG_SZ, String(IDS_FOLDER_NAME), 0, Platform::NtOnly, OnUnregister::DeleteValue},
};

constexpr DWORD kPlatformNt = VER_PLATFORM_WIN32_NT;

struct Context {
    HINSTANCE instance;
    const char* module;
    DWORD platformId;
    char clsid[64];
};

bool Append(char*& out, char* end, const char* text, size_t length)
{
    if (length >= static_cast<size_t>(end - out)) return false;
    memcpy(out, text, length);
    out += length;
    *out = '\0';
    return true;
}

const char* PlaceholderValue(const char* name, size_t length, const char* clsid, const char* module)
{
    if (length == 5 && strncmp(name, "CLSID", 5) == 0) return clsid;
    if (length == 6 && strncmp(name, "MODULE", 6) == 0) return module;
    return nullptr;
}

// Substitutes one "%NAME%" or "%NAME=default%" at `text` (after its '%').
bool SubstituteOne(const char*& text, char*& out, char* end, const char* clsid, const char* module)
{
    const char* name = text;
    while (isalnum(static_cast<unsigned char>(*text)) || *text == '_') ++text;
    size_t nameLength = text - name;
    const char* fallback = nullptr;
    size_t fallbackLength = 0;
    if (*text == '=') {
        fallback = ++text;
        while (*text && *text != '%') ++text;
        fallbackLength = text - fallback;
    }
    if (*text != '%') return false;
    ++text;
    const char* value = PlaceholderValue(name, nameLength, clsid, module);
    if (value) return Append(out, end, value, strlen(value));
    return fallback && Append(out, end, fallback, fallbackLength);
}

bool TextOf(const Context& context, const Text& text, char* out, size_t size)
{
    char raw[MAX_PATH] = "";
    if (text.id) {
        if (LoadStringA(context.instance, text.id, raw, sizeof raw) <= 0) return false;
    } else if (text.literal) {
        lstrcpynA(raw, text.literal, sizeof raw);
    }
    return SubstitutePlaceholders(raw, out, size, context.clsid, context.module);
}

bool PlatformMatches(const Context& context, const Row& row)
{
    return row.platform == Platform::Any || context.platformId == kPlatformNt;
}

bool ClsidText(char* out, size_t size)
{
    ScopedTaskMemory<LPOLESTR> wide;
    if (FAILED(StringFromIID(CLSID_Pellor, wide.put()))) return false;
    return WideCharToMultiByte(CP_ACP, 0, wide.get(), -1, out, static_cast<int>(size), nullptr, nullptr) > 0;
}

// Writes the row's value into the open key; false on a bad text or a failed write.
bool WriteValue(const Context& context, const Row& row, HKEY key, const char* keyPath)
{
    char name[MAX_PATH], data[MAX_PATH];
    if (!TextOf(context, row.valueName, name, sizeof name)) return false;
    LONG result;
    if (row.type == REG_DWORD) {
        result = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&row.number), sizeof row.number);
        DbgPrint("RegSetValue(%ld):\t%s\\%s [%s]", result, DbgHkeyName(row.root), keyPath, name);
    } else {
        if (!TextOf(context, row.data, data, sizeof data)) return false;
        result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                                static_cast<DWORD>(strlen(data) + 1));
        DbgPrint("RegSetValue(%ld):\t%s\\%s [%s=%s]", result, DbgHkeyName(row.root), keyPath, name, data);
    }
    if (result != ERROR_SUCCESS) DbgSystemError(result);
    return result == ERROR_SUCCESS;
}

bool WriteRow(const Context& context, const Row& row)
{
    char keyPath[MAX_PATH];
    if (!SubstitutePlaceholders(row.keyPath, keyPath, sizeof keyPath, context.clsid, context.module)) return false;
    RegKey key;
    const LONG result = key.create(row.root, keyPath, KEY_WRITE);
    DbgPrint("RegCreateKey(%ld):\t%s\\%s", result, DbgHkeyName(row.root), keyPath);
    if (result != ERROR_SUCCESS) {
        DbgSystemError(result);
        return false;
    }
    return row.type == REG_NONE || WriteValue(context, row, key.get(), keyPath);
}

bool RemoveRow(const Context& context, const Row& row)
{
    char keyPath[MAX_PATH], name[MAX_PATH];
    if (!SubstitutePlaceholders(row.keyPath, keyPath, sizeof keyPath, context.clsid, context.module)) return false;
    LONG result;
    if (row.onUnregister == OnUnregister::DeleteTree) {
        result = DeleteRegTree(row.root, keyPath);
        DbgPrint("RegDeleteKey(%ld):\t%s\\%s", result, DbgHkeyName(row.root), keyPath);
    } else {
        if (!TextOf(context, row.valueName, name, sizeof name)) return false;
        result = SHDeleteValueA(row.root, keyPath, name);
        DbgPrint("RegDeleteValue(%ld):\t%s\\%s [%s]", result, DbgHkeyName(row.root), keyPath, name);
    }
    if (result != ERROR_SUCCESS) DbgSystemError(result);
    return result == ERROR_SUCCESS;
}

void NotifyMyComputer()
{
    ShellIdList drives;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, drives.put()))) return;
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, drives.get(), nullptr);
}

bool MakeContext(Context& context, HINSTANCE instance, const char* module, DWORD platformId)
{
    context.instance = instance;
    context.module = module;
    context.platformId = platformId;
    return ClsidText(context.clsid, sizeof context.clsid);
}

}  // namespace

bool SubstitutePlaceholders(const char* text, char* out, size_t size, const char* clsid, const char* module)
{
    if (!out || size == 0) return false;
    char* cursor = out;
    char* end = out + size;
    *cursor = '\0';
    while (*text) {
        const char* percent = strchr(text, '%');
        size_t plain = percent ? static_cast<size_t>(percent - text) : strlen(text);
        if (!Append(cursor, end, text, plain)) return false;
        text += plain;
        if (!percent) break;
        ++text;
        if (!SubstituteOne(text, cursor, end, clsid, module)) return false;
    }
    return true;
}

HRESULT RegisterServer(HINSTANCE instance, const char* modulePath, DWORD platformId)
{
    DbgPrint("DllRegisterServer");
    Context context;
    if (!MakeContext(context, instance, modulePath, platformId)) return SELFREG_E_CLASS;
    for (const Row& row : kRows) {
        if (PlatformMatches(context, row) && !WriteRow(context, row)) return SELFREG_E_CLASS;
    }
    NotifyMyComputer();
    return S_OK;
}

HRESULT UnregisterServer(HINSTANCE instance, const char* modulePath, DWORD platformId)
{
    DbgPrint("DllUnregisterServer");
    Context context;
    if (!MakeContext(context, instance, modulePath, platformId)) return SELFREG_E_CLASS;
    for (const Row& row : kRows) {
        if (row.onUnregister == OnUnregister::Nothing || !PlatformMatches(context, row)) continue;
        if (!RemoveRow(context, row)) return SELFREG_E_CLASS;
    }
    NotifyMyComputer();
    return S_OK;
}

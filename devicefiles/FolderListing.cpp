// Listing one device folder: a count, then one 31-byte record per entry,
// each fetched with "C", asked again with "R", the exchange ended with "X".
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "devicefiles/FolderPath.h"
#include "devicelink/CNotetaker.h"
#include "foundation/DbgLog.h"

namespace {

constexpr int kRecordSize = 31;
constexpr size_t kDrive = 3;  // "R:\\"
constexpr int kNameField = 21;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

WORD Clamp(int value, int low, int high) { return static_cast<WORD>(value < low ? low : value > high ? high : value); }

// A device clock is not trusted: every field is brought into range.
SYSTEMTIME DecodeTime(const unsigned char* r)
{
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(r[30] < 80 ? 1980 + r[30] : 1900 + r[30]);
    t.wMonth = Clamp(r[28], 1, 12);
    t.wDay = Clamp(r[29], 1, DaysInMonth(t.wYear, t.wMonth));
    t.wHour = Clamp(r[26], 0, 23);
    t.wMinute = Clamp(r[27], 0, 59);
    return t;
}

// A name no folder entry may have: it would name the folder itself, its
// parent, or a path of several levels, and control characters reach the
// screen reader as noise.
bool IsBadName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..") return true;
    return std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F || c == '\\' || c == '/' || c == ':';
    });
}

// The name for the log: control characters as \xNN.
std::string Printable(const std::string& name)
{
    std::string shown;
    for (const char c : name) {
        char escaped[8];
        const auto byte = static_cast<unsigned char>(c);
        snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        shown += byte < 0x20 || byte == 0x7F ? std::string(escaped) : std::string(1, c);
    }
    return shown;
}

enum class Record { Good, BadName, Damaged };

// A folder's entry carries its whole device path, so that the walks of a
// backup and of the console list it like one at the root. The shell's item
// ids keep only its last component, their own name.
Record DecodeRecord(const unsigned char* r, const std::string& listed, DeviceEntry& entry)
{
    const int type = r[21];
    if (type < DeviceEntry::TYPE_FILE || type > DeviceEntry::TYPE_SPECIAL) return Record::Damaged;
    const std::string name(reinterpret_cast<const char*>(r), strnlen(reinterpret_cast<const char*>(r), kNameField));
    entry.sName = name;
    if (IsBadName(name)) return Record::BadName;
    const size_t drive = listed.size() >= 2 && listed[1] == ':' ? std::min<size_t>(3, listed.size()) : 0;
    const std::string below = listed == "\\" || listed.size() == drive ? std::string() : listed.substr(drive) + "\\";
    if (type == DeviceEntry::TYPE_FOLDER_R) entry.sName = "R:\\" + below + name;
    else if (type == DeviceEntry::TYPE_FOLDER_F) entry.sName = "F:\\" + below + name;
    else entry.sName = name;
    entry.sPcName.clear();
    entry.nType = type;
    entry.nSize = static_cast<DWORD>(r[22] | r[23] << 8 | r[24] << 16 | static_cast<DWORD>(r[25]) << 24);
    entry.stTime = DecodeTime(r);
    return Record::Good;
}

// The drive letter of a drive-qualified device path, upper case; 0 without one.
char DriveOf(const std::string& path)
{
    if (path.size() < kDrive || path[1] != ':' || path[2] != '\\') return 0;
    return static_cast<char>(toupper(static_cast<unsigned char>(path[0])));
}

// The first folder below the drive: "letters" for F:\\letters\\ann.txt.
std::string TopFolder(const std::string& path) { return path.substr(kDrive, path.find('\\', kDrive) - kDrive); }

bool IsFolderOf(const DeviceEntry& entry, int type, const std::string& name)
{
    return entry.nType == type && entry.sName.size() > kDrive &&
           _stricmp(entry.sName.c_str() + kDrive, name.c_str()) == 0;
}

}  // namespace

// The folder as the device knows it: no trailing backslash, and no drive,
// for F: as for R:. A folder of F: named like one of R: is therefore named
// alike on the wire; refuseNamesake keeps such a folder from being read.
std::string FolderPathToSend(const char* path)
{
    if (!path || strcmp(path, "\\") == 0) return "\\";
    std::string sent = path;
    const char drive = sent.size() >= 2 ? static_cast<char>(toupper(static_cast<unsigned char>(sent[0]))) : '\0';
    if ((drive == 'R' || drive == 'F') && sent[1] == ':') sent.erase(0, sent.size() < 3 ? sent.size() : 3);
    if (!sent.empty() && sent.back() == '\\') sent.pop_back();
    return sent;
}

bool WalkInto(std::set<std::string>& seen, const char* path)
{
    std::string key = FolderPathToSend(path);
    const size_t depth = static_cast<size_t>(std::count(key.begin(), key.end(), '\\')) + 1;
    CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));  // the device's names ignore case
    return depth <= kMaxWalkDepth && seen.insert(key).second;
}

int CNotetaker::refuseWalk(const char* folder)
{
    lstrcpynA(m_szWalkStop, folder, sizeof m_szWalkStop);
    DbgPrint("Walk stopped at %s", m_szWalkStop);
    return setError(ERR_FOLDERLOOP);
}

DWORD EntryAttributes(int type)
{
    switch (type) {
    case DeviceEntry::TYPE_FILE: return FILE_ATTRIBUTE_NORMAL;
    case DeviceEntry::TYPE_FOLDER_R: return FILE_ATTRIBUTE_DIRECTORY;
    case DeviceEntry::TYPE_FOLDER_F: return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM;
    case DeviceEntry::TYPE_SPECIAL: return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_OFFLINE;
    default: return 0;
    }
}

int EntryTypeOf(DWORD attributes)
{
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeviceEntry::TYPE_FILE;
    if (attributes & FILE_ATTRIBUTE_SYSTEM) return DeviceEntry::TYPE_FOLDER_F;
    if (attributes & FILE_ATTRIBUTE_OFFLINE) return DeviceEntry::TYPE_SPECIAL;
    return DeviceEntry::TYPE_FOLDER_R;
}

int CNotetaker::EnumFolder(const char* path)
{
    m_listing.clear();
    const std::string sent = FolderPathToSend(path);
    const bool root = path && strcmp(path, "\\") == 0;
    const int namesake = refuseNamesake(path);
    if (namesake < 0) return namesake;
    if (trace()) DbgPrint("CNotetaker::EnumFolder(%s)", sent.c_str());
    m_leftOut.clear();

    // The device sometimes answers the root with no entries before it is ready.
    DWORD count = 0;
    for (DWORD attempt = 0;; ++attempt) {
        unsigned char reply[2];
        const int asked = serialCmd(sent.c_str(), DCMD_ENUM, reply, sizeof reply);
        if (asked < 0) return asked;
        count = reply[0] | reply[1] << 8;
        if (trace()) DbgPrint("CNotetaker::EnumFolder nCount=%d", static_cast<int>(count));
        if (!root || count >= 1) break;
        const int stopped = serialEnumCmd(ENUM_STOP, nullptr, 0);
        if (stopped < 0) return stopped;
        if (attempt >= m_dwRetries) return setError(ERR_RESPONSE);
    }
    if (count == 0) {
        serialEnumCmd(ENUM_STOP, nullptr, 0);
        return setError(0);
    }

    DWORD budget = m_dwRetries;
    int request = ENUM_NEXT;
    for (DWORD received = 0; received < count;) {
        if (m_listingCancel && *m_listingCancel) {
            serialEnumCmd(ENUM_STOP, nullptr, 0);
            return setError(ERR_ABORTED);
        }
        unsigned char record[kRecordSize] = {};
        const int got = serialEnumCmd(request, record, kRecordSize);
        if (got < 0) return got;
        if (got == 0) return setError(ERR_RESPONSE);
        DeviceEntry entry;
        const Record decoded = got == kRecordSize ? DecodeRecord(record, sent, entry) : Record::Damaged;
        if (decoded != Record::Damaged) {
            // A bad name comes back the same when asked again, and would
            // fail the whole folder: it is left out, and said.
            if (decoded == Record::Good) m_listing.push_back(entry);
            else leaveOut(sent, entry.sName);
            ++received;
            budget = m_dwRetries;
            request = ENUM_NEXT;
            continue;
        }
        request = ENUM_AGAIN;
        if (budget == 0) return setError(ERR_RESPONSE);
        --budget;
    }
    serialEnumCmd(ENUM_STOP, nullptr, 0);
    if (root) {
        m_root = m_listing;
        m_bRootKnown = true;
    }
    return setError(static_cast<int>(m_listing.size()));
}

void CNotetaker::leaveOut(const std::string& folder, const std::string& name)
{
    const std::string shown = Printable(name);
    DbgPrint("Left out of %s: an entry named \"%s\"", folder.c_str(), shown.c_str());
    m_leftOut.push_back(shown);
}

// The root listing, kept from the last time the root was listed, or listed
// now (`fresh`, or never yet), leaving the current listing as it was.
int CNotetaker::knowRoot(bool fresh)
{
    if (m_bRootKnown && !fresh) return 0;
    std::vector<DeviceEntry> kept;
    kept.swap(m_listing);
    const int count = EnumFolder("\\");
    m_listing.swap(kept);
    return count < 0 ? count : 0;
}

// The device takes a drive-less path for R: first, so a folder of F: named
// like one of R: would show R:'s files as F:'s: it is not read at all.
int CNotetaker::refuseNamesake(const char* path)
{
    if (!path || DriveOf(path) != 'F') return 0;
    const std::string top = TopFolder(path);
    if (top.empty()) return 0;
    const int known = knowRoot(false);
    if (known < 0) return known;
    for (const DeviceEntry& entry : m_root)
        if (IsFolderOf(entry, DeviceEntry::TYPE_FOLDER_R, top)) return setError(ERR_NAMESAKE);
    return 0;
}

// A folder made or renamed at the root of one drive under the name of a
// folder of the other would make one of the two unreadable.
int CNotetaker::refuseSharedName(const char* path)
{
    const char drive = path ? DriveOf(path) : 0;
    if (drive != 'R' && drive != 'F') return 0;
    const std::string top = TopFolder(path), below = path + kDrive + top.size();
    if (top.empty() || (!below.empty() && below != "\\")) return 0;
    // An empty device's root listing is refused (it looks like a device not
    // yet ready); with no folder there, no name can be shared.
    if (knowRoot(true) < 0) return 0;
    const int other = drive == 'R' ? DeviceEntry::TYPE_FOLDER_F : DeviceEntry::TYPE_FOLDER_R;
    for (const DeviceEntry& entry : m_root)
        if (IsFolderOf(entry, other, top)) return setError(ERR_NAMETAKEN);
    return 0;
}

int CNotetaker::GetEntry(size_t index, DeviceEntry& out)
{
    out = DeviceEntry();
    if (index >= m_listing.size()) return setError(ERR_BADPARAM);
    out = m_listing[index];
    return setError(0);
}

int CNotetaker::ListFolder(const std::string& path, std::vector<DeviceEntry>& entries)
{
    const int count = EnumFolder(path.c_str());
    entries.resize(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) GetEntry(static_cast<size_t>(i), entries[static_cast<size_t>(i)]);
    return count;
}

const DeviceEntry* CNotetaker::FindListedFile(FolderListings& listed, const std::string& folder,
                                              const std::string& name, int& error)
{
    auto found = listed.find(folder);
    if (found == listed.end()) {
        found = listed.emplace(folder, std::vector<DeviceEntry>()).first;
        error = ListFolder(folder, found->second);
        if (error < 0) return nullptr;
    }
    for (const DeviceEntry& entry : found->second)
        if (entry.nType == DeviceEntry::TYPE_FILE && _stricmp(entry.sName.c_str(), name.c_str()) == 0) return &entry;
    return nullptr;
}

#include "devicefiles/BackupIndex.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "devicefiles/PcName.h"
#include "devicelink/CNotetaker.h"
#include "foundation/DurableFile.h"
#include "foundation/ScopedHandle.h"

const char kBackupIndexName[] = "backup-restore.index";
const char kRemovedFolderName[] = "Removed from the note-taker";

namespace {

const char kVersionLine[] = "Pellor backup index 3";
const char kVersion2Line[] = "Pellor backup index 2";
constexpr size_t kVersionWords = sizeof "Pellor backup index " - 1;
const char* const kKindWords[] = {"file", "recent", "folder"};
constexpr size_t kReadWindow = MAX_PATH - 1;

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The part of a device path after its drive: R:\letters\a.txt gives letters\a.txt.
std::string BelowDrive(const std::string& devicePath)
{
    const size_t colon = devicePath.find(':');
    return SafePcRelativePath(devicePath.substr(std::min(devicePath.size(), colon + 2)));
}

std::string DriveFolder(const std::string& devicePath)
{
    const size_t colon = devicePath.find(':');
    if (colon == 0 || colon == std::string::npos) return std::string();
    return SafePcName(devicePath.substr(colon - 1, 1));
}

bool WriteAll(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

int ReadWhole(const std::string& path, std::string& text)
{
    constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    ScopedKernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, kShared, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) return CComPort::ERR_SYSTEM;
    char chunk[4096];
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) return CComPort::ERR_SYSTEM;
        if (got == 0) return 0;
        text.append(chunk, got);
    }
}

std::string Parent(const std::string& path)
{
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// "a_b" numbered: "a_b (2)"; the number goes before an extension.
std::string Numbered(const std::string& name, int n)
{
    const size_t dot = name.find_last_of('.');
    const size_t at = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, at) + " (" + std::to_string(n) + ")" + name.substr(at);
}

// The copy's path below the backup folder.
std::string BelowFolder(const std::string& folder, const IndexLine& line)
{
    const std::string prefix = Join(folder, "");
    if (line.pcPath.compare(0, prefix.size(), prefix) == 0) return line.pcPath.substr(prefix.size());
    return BackupPcPath(std::string(), line.devicePath);
}

std::string LineText(const std::string& folder, const IndexLine& line)
{
    const SYSTEMTIME& t = line.time;
    char head[64];
    snprintf(head, sizeof head, "%s %lu %04u%02u%02u%02u%02u ", kKindWords[line.kind],
             static_cast<unsigned long>(line.size), t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
    return head + BelowFolder(folder, line) + "|" + line.devicePath + "\r\n";
}

// A version 3 line's path is "copy|device path"; the copy must be a path
// this program could have made, so that no index can name a file outside
// the backup folder.
bool ParseLine(const std::string& folder, const std::string& text, bool withCopy, IndexLine& line)
{
    char kind[16] = "";
    unsigned long size = 0;
    unsigned year, month, day, hour, minute;
    int pathAt = 0;
    // The path is all after the one blank that follows the time: a name may start with a blank.
    if (sscanf(text.c_str(), "%15s %lu %4u%2u%2u%2u%2u%n", kind, &size, &year, &month, &day, &hour, &minute, &pathAt) !=
            7 ||
        text.size() <= static_cast<size_t>(pathAt) || text[static_cast<size_t>(pathAt)] != ' ')
        return false;
    const auto word =
        std::find_if(std::begin(kKindWords), std::end(kKindWords), [&](const char* w) { return strcmp(w, kind) == 0; });
    if (word == std::end(kKindWords)) return false;
    line.kind = static_cast<IndexLine::Kind>(word - std::begin(kKindWords));
    line.size = static_cast<DWORD>(size);
    line.time = SYSTEMTIME{};
    line.time.wYear = static_cast<WORD>(year), line.time.wMonth = static_cast<WORD>(month);
    line.time.wDay = static_cast<WORD>(day), line.time.wHour = static_cast<WORD>(hour);
    line.time.wMinute = static_cast<WORD>(minute);
    line.devicePath = text.substr(static_cast<size_t>(pathAt) + 1);
    line.pcPath = BackupPcPath(folder, line.devicePath);
    if (withCopy) {
        const size_t bar = line.devicePath.find('|');
        const std::string copy = line.devicePath.substr(0, bar);
        if (bar == std::string::npos || copy.empty() || SafePcRelativePath(copy) != copy) return false;
        line.pcPath = Join(folder, copy);
        line.devicePath.erase(0, bar + 1);
    }
    return line.devicePath.find(':') != std::string::npos;
}

// Complete lines only: the last one may have been cut off by the end of the process.
int ReadCurrent(const std::string& folder, const std::string& text, bool version3, std::vector<IndexLine>& lines)
{
    std::map<std::string, size_t> at;  // device path (version 2: lower-case): its line
    for (size_t start = text.find("\r\n") + 2, end; (end = text.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
        IndexLine line;
        if (!ParseLine(folder, text.substr(start, end - start), version3, line))
            return CNotetaker::ERR_INVALIDINDEXFILE;
        const auto known = at.emplace(version3 ? line.devicePath : Lower(line.devicePath), lines.size());
        if (known.second) lines.push_back(line);
        else lines[known.first->second] = line;
    }
    return 0;
}

// The copy's own size and time stand for what the device had.
void DescribeCopy(IndexLine& line)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    if (!GetFileAttributesExA(line.pcPath.c_str(), GetFileExInfoStandard, &data)) return;
    line.size = data.nFileSizeLow;
    if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local)) FileTimeToSystemTime(&local, &line.time);
}

int ReadOlder(const std::string& folder, const std::string& text, std::vector<IndexLine>& lines)
{
    int result = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t window = std::min(kReadWindow, text.size() - at);
        const size_t cr = text.find('\r', at);
        if (cr == std::string::npos || cr - at >= window) {
            result = CNotetaker::ERR_INVALIDINDEXFILE;
            break;
        }
        IndexLine line;
        line.devicePath = text.substr(at, cr - at);
        at = cr + 2;
        if (line.devicePath.find(':') == std::string::npos) {
            result = CNotetaker::ERR_INVALIDINDEXFILE;
            break;
        }
        lines.push_back(line);
    }
    const bool trees = std::any_of(lines.begin(), lines.end(),
                                   [&](const IndexLine& l) { return Exists(BackupPcPath(folder, l.devicePath)); });
    for (IndexLine& line : lines) {
        line.pcPath = trees ? BackupPcPath(folder, line.devicePath) : Join(folder, BelowDrive(line.devicePath));
        DescribeCopy(line);
    }
    return result;
}

int ReadIndexFile(const std::string& folder, const std::string& name, std::vector<IndexLine>& lines, bool* current)
{
    std::string text;
    const int read = ReadWhole(Join(folder, name), text);
    if (read < 0) return read;
    auto startsWith = [&](const char* version) {
        return text.compare(0, strlen(version) + 2, version + std::string("\r\n")) == 0;
    };
    const bool version3 = startsWith(kVersionLine);
    const bool versioned = version3 || startsWith(kVersion2Line);
    if (current) *current = versioned;
    // An index of a later version than ours is not guessed at.
    if (!versioned && text.compare(0, kVersionWords, kVersionLine, kVersionWords) == 0)
        return CNotetaker::ERR_INVALIDINDEXFILE;
    return versioned ? ReadCurrent(folder, text, version3, lines) : ReadOlder(folder, text, lines);
}

// Writes a hidden file whole and on the disk; a failed one is removed.
bool WriteHidden(const std::string& path, const std::string& text)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ScopedKernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file.valid()) return false;
    if (WriteAll(file.get(), text) && FlushAndClose(file, path.c_str())) return true;
    file.reset();
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return false;
}

}  // namespace

std::string BackupPcPath(const std::string& folder, const std::string& devicePath)
{
    return Join(Join(folder, DriveFolder(devicePath)), BelowDrive(devicePath));
}

ULONGLONG DeviceMinute(const SYSTEMTIME& t)
{
    return (((t.wYear * 100ULL + t.wMonth) * 100 + t.wDay) * 100 + t.wHour) * 100 + t.wMinute;
}

bool HoldsBackupIndex(const std::string& folder)
{
    const DWORD a = GetFileAttributesA(Join(folder, kBackupIndexName).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// A damaged index (a disk that lost its last writes) gives way to the one before it.
int ReadBackupIndex(const std::string& folder, std::vector<IndexLine>& lines, bool* current)
{
    const int read = ReadIndexFile(folder, kBackupIndexName, lines, current);
    if (read == 0) return 0;
    std::vector<IndexLine> before;
    bool beforeCurrent = false;
    if (ReadIndexFile(folder, std::string(kBackupIndexName) + ".bak", before, &beforeCurrent) != 0) return read;
    lines.swap(before);
    if (current) *current = beforeCurrent;
    return 0;
}

bool WriteBackupIndex(const std::string& folder, const std::vector<IndexLine>& lines)
{
    const std::string index = Join(folder, kBackupIndexName);
    const std::string fresh = index + ".new";
    std::string text = std::string(kVersionLine) + "\r\n";
    for (const IndexLine& line : lines) text += LineText(folder, line);
    if (!WriteHidden(fresh, text)) return false;
    // Only an index that reads is worth keeping as the one before.
    std::vector<IndexLine> before;
    std::string old;
    if (ReadIndexFile(folder, kBackupIndexName, before, nullptr) == 0 && ReadWhole(index, old) == 0)
        WriteHidden(index + ".bak", old);
    // A hidden file is not replaced by a move on every system: unhide it first.
    const DWORD attributes = GetFileAttributesA(index.c_str());
    SetFileAttributesA(index.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (RenameDurably(fresh.c_str(), index.c_str())) return true;
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(index.c_str(), attributes);
    return false;
}

bool AppendBackupIndex(HANDLE index, const std::string& folder, const IndexLine& line)
{
    return SetFilePointer(index, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
           WriteAll(index, LineText(folder, line)) && FlushOpen(index, kBackupIndexName);
}

BackupNames::BackupNames(const std::string& folder, std::map<std::string, IndexLine>& kept,
                         const std::set<std::string>& walked)
    : folder_(folder), kept_(kept), walked_(walked)
{
    for (const auto& line : kept) taken_[Lower(line.second.pcPath)] = line.first;
}

// The index's line for a device path: its own, else one that differs in case
// alone and names no path of this backup (the name's case changed).
std::map<std::string, IndexLine>::iterator BackupNames::keptLine(const std::string& devicePath)
{
    const auto own = kept_.find(devicePath);
    if (own != kept_.end()) return own;
    const auto renamed =
        std::find_if(kept_.begin(), kept_.end(), [&](const std::pair<const std::string, IndexLine>& l) {
            return !walked_.count(l.first) && !given_.count(l.first) &&
                   _stricmp(l.first.c_str(), devicePath.c_str()) == 0;
        });
    if (renamed == kept_.end()) return renamed;
    IndexLine line = renamed->second;
    line.devicePath = devicePath;
    kept_.erase(renamed);
    return kept_.emplace(devicePath, line).first;
}

std::string BackupNames::freeName(const std::string& parentPc, const std::string& name,
                                  const std::string& devicePath) const
{
    std::string path = Join(parentPc, name);
    for (int n = 2;; ++n) {
        const auto holder = taken_.find(Lower(path));
        if (holder == taken_.end() || holder->second == devicePath) return path;
        path = Join(parentPc, Numbered(name, n));
    }
}

std::string BackupNames::PcPath(const std::string& devicePath)
{
    const auto given = given_.find(devicePath);
    if (given != given_.end()) return given->second;
    std::string pc;
    const auto line = keptLine(devicePath);
    if (line != kept_.end()) {
        pc = line->second.pcPath;
    } else {
        const std::string parent = Parent(devicePath);
        const bool top = parent.find('\\') == std::string::npos;  // "R:"
        const std::string parentPc = top ? Join(folder_, DriveFolder(devicePath)) : PcPath(parent);
        pc = freeName(parentPc, SafePcName(devicePath.substr(parent.size() + 1)), devicePath);
    }
    taken_[Lower(pc)] = devicePath;
    given_[devicePath] = pc;
    return pc;
}

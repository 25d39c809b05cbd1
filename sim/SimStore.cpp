#include "sim/SimStore.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "foundation/ScopedHandle.h"

namespace {

constexpr size_t kMaxName = 20;
constexpr uint8_t TYPE_FILE = 1, TYPE_FOLDER_R = 2, TYPE_FOLDER_F = 3, TYPE_SPECIAL = 4;

struct Found {
    std::string name;
    bool folder;
    uint32_t size;
    FILETIME written;
};

std::vector<Found> Contents(const std::string& folder)
{
    std::vector<Found> found;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return found;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        found.push_back(
            {name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, data.nFileSizeLow, data.ftLastWriteTime});
    } while (FindNextFileA(h, &data));
    FindClose(h);
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.name < b.name; });
    return found;
}

// The year byte means 1980 + value below 80 and 1900 + value from 80 on.
uint8_t YearByte(int year)
{
    if (year < 1980) return 0;
    if (year < 2060) return static_cast<uint8_t>(year - 1980);
    return static_cast<uint8_t>(std::min(year - 1900, 255));
}

SimStore::Record MakeRecord(const Found& f, uint8_t type)
{
    SimStore::Record r(SimStore::kRecordSize, 0);
    memcpy(r.data(), f.name.data(), std::min(f.name.size(), kMaxName));
    r[21] = type;
    for (int i = 0; i < 4; ++i) r[22 + i] = static_cast<uint8_t>(f.size >> (8 * i));
    FILETIME local;
    SYSTEMTIME t{};
    FileTimeToLocalFileTime(&f.written, &local);
    FileTimeToSystemTime(&local, &t);
    r[26] = static_cast<uint8_t>(t.wHour);
    r[27] = static_cast<uint8_t>(t.wMinute);
    r[28] = static_cast<uint8_t>(t.wMonth);
    r[29] = static_cast<uint8_t>(t.wDay);
    r[30] = YearByte(t.wYear);
    return r;
}

std::vector<std::string> Split(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool IsFolder(const std::string& path)
{
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool NamesValid(const std::string& devicePath)
{
    const std::vector<std::string> parts =
        Split(devicePath.size() >= 2 && devicePath[1] == ':' ? devicePath.substr(2) : devicePath);
    if (parts.empty()) return false;
    for (const std::string& part : parts)
        if (!SimStore::ValidName(part)) return false;
    return true;
}

int16_t Outcome(BOOL ok) { return ok ? SimStore::ST_OK : SimStore::ST_FAILED; }

}  // namespace

SimStore::SimStore(std::string root) : root_(std::move(root))
{
    while (!root_.empty() && (root_.back() == '\\' || root_.back() == '/')) root_.pop_back();
    for (const char* sub : {"R", "F", "special"}) CreateDirectoryA((root_ + "\\" + sub).c_str(), nullptr);
}

std::string SimStore::drivePath(char drive) const
{
    if (drive == 'F' || drive == 'f') return root_ + "\\F";
    if (drive == 'S') return root_ + "\\special";
    return root_ + "\\R";
}

bool SimStore::ValidName(const std::string& name)
{
    if (name.empty() || name.size() > kMaxName || name == "." || name == "..") return false;
    for (unsigned char c : name)
        if (c < 0x20 || strchr("\\/:*?\"<>|", c)) return false;
    return true;
}

std::string SimStore::resolveParts(const std::string& devicePath, bool mustExist) const
{
    std::string rest = devicePath;
    char drive = 0;
    if (rest.size() >= 2 && rest[1] == ':') {
        drive = static_cast<char>(toupper(static_cast<unsigned char>(rest[0])));
        if (drive != 'R' && drive != 'F') return std::string();
        rest.erase(0, 2);
    }
    const std::vector<std::string> parts = Split(rest);
    if (parts.empty()) return std::string();
    for (const std::string& part : parts)
        if (!ValidName(part)) return std::string();
    std::string tail;
    for (const std::string& part : parts) tail += "\\" + part;
    if (drive) return !mustExist || Exists(drivePath(drive) + tail) ? drivePath(drive) + tail : std::string();
    // Without a drive: R: first, then F:, then a special entry at the root.
    for (char d : {'R', 'F'}) {
        const std::string candidate = drivePath(d) + tail;
        if (Exists(candidate) || (!mustExist && IsFolder(drivePath(d) + "\\" + parts[0]))) return candidate;
    }
    if (parts.size() == 1 && Exists(drivePath('S') + tail)) return drivePath('S') + tail;
    return mustExist ? std::string() : drivePath('R') + tail;
}

std::string SimStore::Resolve(const std::string& devicePath) const { return resolveParts(devicePath, true); }

void SimStore::addFolderRecords(std::vector<Record>& out, const std::string& folder, uint8_t type) const
{
    for (const Found& f : Contents(folder))
        if (f.folder && ValidName(f.name)) out.push_back(MakeRecord({f.name, true, 0, f.written}, type));
}

void SimStore::addFileRecords(std::vector<Record>& out, const std::string& folder, uint8_t type) const
{
    for (const Found& f : Contents(folder))
        if (!f.folder && ValidName(f.name)) out.push_back(MakeRecord(f, type));
}

std::vector<SimStore::Record> SimStore::List(const std::string& devicePath) const
{
    std::vector<Record> records;
    if (devicePath == "\\" || devicePath.empty()) {
        addFolderRecords(records, drivePath('R'), TYPE_FOLDER_R);
        addFolderRecords(records, drivePath('F'), TYPE_FOLDER_F);
        addFileRecords(records, drivePath('S'), TYPE_SPECIAL);
        return records;
    }
    const std::string folder = Resolve(devicePath);
    if (folder.empty() || !IsFolder(folder)) return records;
    // A folder inside a folder is listed as at the root, typed by its drive.
    const bool onF = folder.compare(0, drivePath('F').size() + 1, drivePath('F') + "\\") == 0;
    addFolderRecords(records, folder, onF ? TYPE_FOLDER_F : TYPE_FOLDER_R);
    addFileRecords(records, folder, TYPE_FILE);
    return records;
}

int16_t SimStore::Delete(const std::string& devicePath)
{
    if (!NamesValid(devicePath)) return ST_BAD_NAME;
    const std::string path = Resolve(devicePath);
    if (path.empty()) return ST_NOT_FOUND;
    return Outcome(IsFolder(path) ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str()));
}

int16_t SimStore::MakeFolder(const std::string& devicePath)
{
    std::string rest = devicePath;
    char drive = 'R';
    if (rest.size() >= 2 && rest[1] == ':') {
        drive = static_cast<char>(toupper(static_cast<unsigned char>(rest[0])));
        rest.erase(0, 2);
    }
    const std::vector<std::string> parts = Split(rest);
    if (parts.empty() || (drive != 'R' && drive != 'F')) return ST_BAD_NAME;
    std::string path = drivePath(drive);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!ValidName(parts[i])) return ST_BAD_NAME;
        if (i > 0 && !IsFolder(path)) return ST_NOT_FOUND;  // the folder it goes into
        path += "\\" + parts[i];
    }
    if (Exists(path)) return ST_EXISTS;
    return Outcome(CreateDirectoryA(path.c_str(), nullptr));
}

int16_t SimStore::Rename(const std::string& oldPath, const std::string& newPath)
{
    if (!NamesValid(oldPath) || !NamesValid(newPath)) return ST_BAD_NAME;
    const std::string from = Resolve(oldPath);
    if (from.empty()) return ST_NOT_FOUND;
    const std::vector<std::string> newParts =
        Split(newPath.size() >= 2 && newPath[1] == ':' ? newPath.substr(2) : newPath);
    const std::string to = from.substr(0, from.rfind('\\') + 1) + newParts.back();
    if (Exists(to)) return ST_EXISTS;
    return Outcome(MoveFileA(from.c_str(), to.c_str()));
}

bool SimStore::ReadFile(const std::string& devicePath, std::vector<uint8_t>& data) const
{
    const std::string path = Resolve(devicePath);
    if (path.empty() || IsFolder(path)) return false;
    ScopedKernelHandle file(
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) return false;
    data.assign(GetFileSize(file.get(), nullptr), 0);
    DWORD got = 0;
    return data.empty() ||
           (::ReadFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &got, nullptr) && got == data.size());
}

bool SimStore::WriteFile(const std::string& deviceFolder, const std::string& name, const std::vector<uint8_t>& data)
{
    const std::string folder = resolveParts(deviceFolder, false);
    if (folder.empty() || !IsFolder(folder) || !ValidName(name)) return false;
    ScopedKernelHandle file(
        CreateFileA((folder + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file.valid()) return false;
    if (data.empty()) return true;
    DWORD written = 0;
    return ::WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
           written == data.size();
}

#include "devicefiles/BackupIndex.h"

#include <algorithm>

#include "devicefiles/PcName.h"
#include "devicelink/CNotetaker.h"
#include "foundation/ScopedHandle.h"

const char kBackupIndexName[] = "backup-restore.index";

namespace {

constexpr size_t kReadWindow = MAX_PATH - 1;

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
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

std::string BackedUpCopy(const std::string& folder, const std::string& devicePath)
{
    const std::string now = BackupPcPath(folder, devicePath);
    const std::string before = Join(folder, BelowDrive(devicePath));
    return !Exists(now) && Exists(before) ? before : now;
}

bool WriteAll(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

}  // namespace

std::string BackupPcPath(const std::string& folder, const std::string& devicePath)
{
    return Join(Join(folder, DriveFolder(devicePath)), BelowDrive(devicePath));
}

int ReadBackupIndex(const std::string& folder, HANDLE index, std::vector<DeviceEntry>& rows)
{
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(index, chunk, sizeof chunk, &got, nullptr)) return CComPort::ERR_SYSTEM;
        if (got == 0) break;
        text.append(chunk, got);
    }
    for (size_t at = 0; at < text.size();) {
        const size_t window = std::min(kReadWindow, text.size() - at);
        const size_t cr = text.find('\r', at);
        if (cr == std::string::npos || cr - at >= window) return CNotetaker::ERR_INVALIDINDEXFILE;
        DeviceEntry row;
        row.sName = text.substr(at, cr - at);
        at = cr + 2;
        if (row.sName.find(':') == std::string::npos) return CNotetaker::ERR_INVALIDINDEXFILE;
        row.sPcName = BackedUpCopy(folder, row.sName);
        row.nType = 1;
        rows.push_back(row);
    }
    return 0;
}

bool WriteBackupIndex(const std::string& folder, const std::vector<std::string>& devicePaths)
{
    const std::string index = Join(folder, kBackupIndexName);
    const std::string fresh = index + ".new";
    SetFileAttributesA(fresh.c_str(), FILE_ATTRIBUTE_NORMAL);
    {
        ScopedKernelHandle file(CreateFileA(fresh.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_HIDDEN, nullptr));
        if (!file.valid()) return false;
        std::string text;
        for (const std::string& path : devicePaths)
            if (path.size() <= kMaxIndexLine) text += path + "\r\n";
        if (!WriteAll(file.get(), text)) {
            SetFileAttributesA(fresh.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(fresh.c_str());
            return false;
        }
    }
    // A hidden file is not replaced by a move on every system: unhide it first.
    const DWORD old = GetFileAttributesA(index.c_str());
    SetFileAttributesA(index.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExA(fresh.c_str(), index.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    if (old != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(index.c_str(), old);
    return false;
}

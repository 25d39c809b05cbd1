// Backup of every device file into a PC folder with its hidden index, and
// the restore of what an index (or a folder laid out by type digit) holds.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "devicefiles/DeviceName.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/PcName.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "foundation/DbgLog.h"
#include "foundation/ScopedHandle.h"
#include "resources/resource.h"

namespace {

constexpr char kIndexName[] = "backup-restore.index";
constexpr size_t kMaxLine = MAX_PATH - 1;

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

bool IsAbsolute(const char* path) { return path && *path && !PathIsRelativeA(path); }

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

bool IsFolder(const std::string& path)
{
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool HoldsHiddenIndex(const std::string& folder)
{
    const DWORD a = Attributes(Join(folder, kIndexName));
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) && (a & FILE_ATTRIBUTE_HIDDEN);
}

bool IsTypeDigit(char c) { return c == '1' || c == '2' || c == '3'; }

bool IsDots(const char* name) { return !strcmp(name, ".") || !strcmp(name, ".."); }

// Counts the files of a type-digit layout: -1 when it is broken.
int CountLayout(const std::string& folder, bool top)
{
    WIN32_FIND_DATAA found;
    ScopedFind find(FindFirstFileA(Join(folder, "*").c_str(), &found));
    if (!find.valid()) return top ? 0 : -1;
    int count = 0;
    do {
        if (IsDots(found.cFileName)) continue;
        const bool folderEntry = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!top) {
            if (folderEntry) return -1;
            ++count;
            continue;
        }
        if (!folderEntry || !IsTypeDigit(found.cFileName[0])) return -1;
        const int below = CountLayout(Join(folder, found.cFileName), false);
        if (below < 0) return -1;
        count += below;
    } while (FindNextFileA(find.get(), &found));
    return count;
}

// Removes a folder with everything in it; stops at the first failure.
bool RemoveTree(const std::string& folder)
{
    {
        WIN32_FIND_DATAA found;
        ScopedFind find(FindFirstFileA(Join(folder, "*").c_str(), &found));
        if (find.valid()) {
            do {
                if (IsDots(found.cFileName)) continue;
                const std::string path = Join(folder, found.cFileName);
                const bool ok = found.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY ? RemoveTree(path)
                                                                                    : DeleteFileA(path.c_str()) != FALSE;
                if (!ok) return false;
            } while (FindNextFileA(find.get(), &found));
        }
    }
    return RemoveDirectoryA(folder.c_str()) != FALSE;
}

bool FolderIsEmpty(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    ScopedFind find(FindFirstFileA(Join(folder, "*").c_str(), &found));
    if (!find.valid()) return false;
    do {
        if (!IsDots(found.cFileName)) return false;
    } while (FindNextFileA(find.get(), &found));
    return true;
}

}  // namespace

bool CNotetaker::_isBackupPath(const char* folder, bool top)
{
    if (trace()) DbgPrint("CNotetaker::_isBackupPath(%s) %s", folder ? folder : "", top ? "ROOT" : "");
    if (!IsAbsolute(folder)) return false;
    const DWORD a = GetFileAttributesA(folder);
    if (a != INVALID_FILE_ATTRIBUTES) return (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const DWORD error = GetLastError();
    return top && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
}

int CNotetaker::_isRestorePath(const char* folder, bool top)
{
    if (trace()) DbgPrint("CNotetaker::_isRestorePath(%s) %s", folder ? folder : "", top ? "ROOT" : "");
    if (!IsAbsolute(folder) || !IsFolder(folder)) {
        if (trace()) DbgPrint("CNotetaker::_isRestorePath = -1 (wrong path)");
        return -1;
    }
    if (HoldsHiddenIndex(folder)) {
        if (trace()) DbgPrint("CNotetaker::_isRestorePath = 1 (found index file)");
        return 1;
    }
    const int count = CountLayout(folder, top);
    return count < 0 ? (top ? 0 : -1) : count;
}

HRESULT CNotetaker::Backup(HWND hwnd, const char* folder)
{
    if (!_isBackupPath(folder, true)) return ErrorHResult(setError(ERR_INVALIDPATH));
    const int existing = _isRestorePath(folder, true);
    if (existing != -1 && existing != 0) {
        char question[256] = "";
        LoadResourceText(IDS_CONFIRM_DELETEBACKUP, question, sizeof question);
        if (ShowMessageText(hwnd, question, MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL) != IDOK) return 1;
        BackupRemove(folder);
    }
    DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_BACKINGUP));

    const int made = SHCreateDirectoryExA(nullptr, folder, nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
        SetLastError(static_cast<DWORD>(made));
        return ErrorHResult(setError(ERR_SYSTEM));
    }

    const int rows = getFileNames(folder, nullptr, false);
    if (rows < 1) {
        if (rows == 0) DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_BACKUPDONE));
        ShowErrorFiles(hwnd);
        return ErrorHResult(setError(rows));
    }
    dropRepeatedRows();

    m_job.indexFile = CreateFileA(Join(folder, kIndexName).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (m_job.indexFile == INVALID_HANDLE_VALUE) return ErrorHResult(setError(ERR_INVALIDINDEXFILE));
    const HRESULT hr = transfer(hwnd, DCMD_RX);
    CloseHandle(m_job.indexFile);
    m_job.indexFile = INVALID_HANDLE_VALUE;
    if (SUCCEEDED(hr)) DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_BACKUPDONE));
    ShowErrorFiles(hwnd);
    return hr;
}

// A file of R: and one of F: may be listed under the same path; fetch it once.
void CNotetaker::dropRepeatedRows()
{
    std::set<std::string> seen;
    std::vector<DeviceEntry> kept;
    for (DeviceEntry& row : m_transferList)
        if (seen.insert(row.sName).second) kept.push_back(std::move(row));
    m_transferList.swap(kept);
}

HRESULT CNotetaker::Restore(HWND hwnd, const char* folder)
{
    const int layout = _isRestorePath(folder, true);
    if (layout == -1 || layout == 0) return ErrorHResult(setError(ERR_INVALIDPATH));
    const int rows = getFileNames(folder, Join(folder, kIndexName).c_str(), true);
    if (trace()) DbgPrint("CNotetaker::Restore(%s) %d files", folder, static_cast<int>(m_transferList.size()));
    if (rows < 0) return ErrorHResult(setError(rows));
    DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_RESTORING));
    const HRESULT hr = transfer(hwnd, DCMD_TX);
    if (SUCCEEDED(hr)) DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_RESTOREDONE));
    ShowErrorFiles(hwnd);
    return hr;
}

int CNotetaker::BackupRemove(const char* folder)
{
    if (trace()) DbgPrint("CNotetaker::BackupRemove(%s)", folder);
    const std::string index = Join(folder, kIndexName);
    const DWORD a = Attributes(index);
    if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) {
        getFileNames(folder, index.c_str(), true);
        SetFileAttributesA(index.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(index.c_str());
        for (const DeviceEntry& row : m_transferList) {
            const BOOL deleted = DeleteFileA(row.sPcName.c_str());
            if (trace()) DbgPrint("DeleteFile(%s) = %s", row.sPcName.c_str(), deleted ? "TRUE" : "FALSE");
            char holder[MAX_PATH];
            snprintf(holder, sizeof holder, "%s", row.sPcName.c_str());
            PathRemoveFileSpecA(holder);
            if (IsFolder(holder) && FolderIsEmpty(holder)) {
                if (trace()) DbgPrint("RemoveDirectory(%s)", holder);
                RemoveDirectoryA(holder);
            }
        }
        return 0;
    }
    WIN32_FIND_DATAA found;
    ScopedFind find(FindFirstFileA(Join(folder, "*").c_str(), &found));
    if (!find.valid()) return 0;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTypeDigit(found.cFileName[0]) &&
            !IsDots(found.cFileName))
            RemoveTree(Join(folder, found.cFileName));
    } while (FindNextFileA(find.get(), &found));
    return 0;
}

int CNotetaker::getFileNames(const char* base, const char* name, bool fromPc)
{
    if (trace())
        DbgPrint("CNotetaker::getFileNames(base=%s, name=%s %s)", base ? base : "", name ? name : "",
                 fromPc ? "PC" : "NT");
    const int result = fromPc ? rowsFromPc(base, name) : rowsFromDevice(base, name);
    return result < 0 ? result : static_cast<int>(m_transferList.size());
}

int CNotetaker::rowsFromDevice(const char* base, const char* name)
{
    if (!name) m_transferList.clear();
    const int count = EnumFolder(name ? name : "\\");
    if (count < 0) return count;
    // Walking a sub-folder replaces the listing: keep our own copy.
    std::vector<DeviceEntry> listing(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) GetEntry(static_cast<size_t>(i), listing[static_cast<size_t>(i)]);

    for (auto entry = listing.rbegin(); entry != listing.rend(); ++entry) {
        if (entry->nType == DeviceEntry::TYPE_FOLDER_R || entry->nType == DeviceEntry::TYPE_FOLDER_F) {
            const int below = rowsFromDevice(base, entry->sName.c_str());
            if (below < 0) return below;
            continue;
        }
        const std::string devicePath = Join(name ? name : "", entry->sName);
        const size_t colon = devicePath.find(':');
        if (!name || colon == std::string::npos) return setError(ERR_INVALIDINDEXFILE);
        DeviceEntry row;
        row.sName = devicePath;
        row.sPcName = Join(base, SafePcRelativePath(devicePath.substr(std::min(devicePath.size(), colon + 2))));
        row.nType = 1;
        row.nSize = entry->nSize;
        if (trace()) DbgPrint("sName=%s, sPcName=%s", row.sName.c_str(), row.sPcName.c_str());
        m_transferList.push_back(row);
    }
    return 0;
}

int CNotetaker::rowsFromPc(const char* base, const char* name)
{
    HANDLE index = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (index != INVALID_HANDLE_VALUE) {
        const int result = rowsFromIndex(base, index);
        CloseHandle(index);
        return result;
    }
    return rowsFromLayout(base, IsFolder(name) ? name : base);
}

int CNotetaker::rowsFromIndex(const char* base, HANDLE index)
{
    m_transferList.clear();
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(index, chunk, sizeof chunk, &got, nullptr)) return setError(ERR_SYSTEM);
        if (got == 0) break;
        text.append(chunk, got);
    }
    for (size_t at = 0; at < text.size();) {
        const size_t window = std::min(kMaxLine, text.size() - at);
        const size_t cr = text.find('\r', at);
        if (cr == std::string::npos || cr - at >= window) return setError(ERR_INVALIDINDEXFILE);
        const std::string line = text.substr(at, cr - at);
        at = cr + 2;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) return setError(ERR_INVALIDINDEXFILE);
        DeviceEntry row;
        row.sName = line;
        row.sPcName = Join(base, SafePcRelativePath(line.substr(std::min(line.size(), colon + 2))));
        row.nType = 1;
        if (!PcFileSize(row.sPcName.c_str(), row.nSize)) continue;
        m_transferList.push_back(row);
    }
    return 0;
}

int CNotetaker::rowsFromLayout(const char* base, const std::string& folder)
{
    if (trace()) DbgPrint("searching %s", folder.c_str());
    WIN32_FIND_DATAA found;
    ScopedFind find(FindFirstFileA(Join(folder, "*").c_str(), &found));
    if (!find.valid()) return setError(ERR_INVALIDPATH);
    const size_t baseLength = strlen(base) + (base[strlen(base) - 1] == '\\' ? 0 : 1);
    do {
        if (IsDots(found.cFileName)) continue;
        const std::string path = Join(folder, found.cFileName);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            const int below = rowsFromLayout(base, path);
            if (below < 0) return below;
            continue;
        }
        // base\2letters\note.txt goes to R:\letters\note.txt.
        if (folder.size() <= baseLength) continue;
        const std::string below = folder.substr(baseLength);
        const int type = below[0] - '0';
        char devicePath[MAX_PATH];
        if (type == 1) {
            snprintf(devicePath, sizeof devicePath, "%s", below.substr(1).c_str());
        } else if (!MakeDevicePath(devicePath, type, base, below.substr(1).c_str())) {
            continue;
        }
        DeviceEntry row;
        row.sName = Join(devicePath, found.cFileName);
        row.sPcName = path;
        row.nType = 1;
        if (!PcFileSize(path.c_str(), row.nSize)) continue;
        if (trace()) DbgPrint("sName=%s, sPcName=%s", row.sName.c_str(), row.sPcName.c_str());
        m_transferList.push_back(row);
    } while (FindNextFileA(find.get(), &found));
    return 0;
}

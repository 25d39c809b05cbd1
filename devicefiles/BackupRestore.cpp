// Backup of every device file into a PC folder with its hidden index, and
// the restore of what an index (or a folder laid out by type digit) holds.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "devicefiles/BackupIndex.h"
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

// A changed file is fetched beside its backed-up copy, which it replaces
// only once it has arrived whole.
constexpr char kFetchSuffix[] = ".pellor-new";

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

std::string Parent(const std::string& path)
{
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsAbsolute(const char* path) { return path && *path && !PathIsRelativeA(path); }

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

bool Exists(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path)
{
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool HoldsHiddenIndex(const std::string& folder)
{
    const DWORD a = Attributes(Join(folder, kBackupIndexName));
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

bool Confirm(HWND hwnd, UINT textId)
{
    char question[256] = "";
    LoadResourceText(textId, question, sizeof question);
    return ShowMessageText(hwnd, question, MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL) == IDOK;
}

// The device's clock is local time.
bool DeviceFileTime(const SYSTEMTIME& deviceTime, FILETIME& out)
{
    FILETIME local;
    return SystemTimeToFileTime(&deviceTime, &local) && LocalFileTimeToFileTime(&local, &out);
}

bool SameAsBackedUp(const std::string& pcPath, const DeviceEntry& row)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME device;
    if (!GetFileAttributesExA(pcPath.c_str(), GetFileExInfoStandard, &data)) return false;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || data.nFileSizeHigh || data.nFileSizeLow != row.nSize)
        return false;
    return DeviceFileTime(row.stTime, device) && CompareFileTime(&device, &data.ftLastWriteTime) == 0;
}

// A copy carries the device's time, so that the next backup can tell it unchanged.
void StampDeviceTime(const std::string& pcPath, const SYSTEMTIME& deviceTime)
{
    FILETIME written;
    if (!DeviceFileTime(deviceTime, written)) return;
    ScopedKernelHandle file(
        CreateFileA(pcPath.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.valid()) SetFileTime(file.get(), nullptr, nullptr, &written);
}

// Deletes a backed-up copy and the folders of the backup it leaves empty.
void RemoveCopy(const std::string& folder, const std::string& pcPath, bool traced)
{
    const BOOL deleted = DeleteFileA(pcPath.c_str());
    if (traced) DbgPrint("DeleteFile(%s) = %s", pcPath.c_str(), deleted ? "TRUE" : "FALSE");
    for (std::string holder = Parent(pcPath); holder.size() > folder.size() && IsFolder(holder) && FolderIsEmpty(holder);
         holder = Parent(holder)) {
        if (traced) DbgPrint("RemoveDirectory(%s)", holder.c_str());
        if (!RemoveDirectoryA(holder.c_str())) break;
    }
}

// The rows of the backup in folder, read from its index; none when it has none.
std::vector<DeviceEntry> BackedUpRows(const std::string& folder)
{
    std::vector<DeviceEntry> rows;
    ScopedKernelHandle index(CreateFileA(Join(folder, kBackupIndexName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    if (index.valid()) ReadBackupIndex(folder, index.get(), rows);
    return rows;
}

bool IsBareDrive(const std::string& path) { return path.size() == 2 && path[1] == ':'; }

// The device folders a restore sends into, each after the folders above it.
std::vector<std::string> DeviceFoldersOf(const std::vector<DeviceEntry>& rows)
{
    std::vector<std::string> folders;
    std::set<std::string> seen;
    for (const DeviceEntry& row : rows) {
        std::vector<std::string> chain;
        for (std::string folder = Parent(row.sName); !folder.empty() && !IsBareDrive(folder); folder = Parent(folder))
            chain.push_back(folder);
        for (auto folder = chain.rbegin(); folder != chain.rend(); ++folder)
            if (seen.insert(Lower(*folder)).second) folders.push_back(*folder);
    }
    return folders;
}

bool Lists(const std::vector<DeviceEntry>& listing, const std::string& name, bool folder)
{
    return std::any_of(listing.begin(), listing.end(), [&](const DeviceEntry& e) {
        const bool isFolder = e.nType == DeviceEntry::TYPE_FOLDER_R || e.nType == DeviceEntry::TYPE_FOLDER_F;
        return isFolder == folder && _stricmp(e.sName.c_str(), name.c_str()) == 0;
    });
}

}  // namespace

bool CNotetaker::_isBackupPath(const char* folder, bool top)
{
    if (DbgOn(DBG_NOTETAKER)) DbgPrint("CNotetaker::_isBackupPath(%s) %s", folder ? folder : "", top ? "ROOT" : "");
    if (!IsAbsolute(folder)) return false;
    const DWORD a = GetFileAttributesA(folder);
    if (a != INVALID_FILE_ATTRIBUTES) return (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const DWORD error = GetLastError();
    return top && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
}

int CNotetaker::_isRestorePath(const char* folder, bool top)
{
    if (DbgOn(DBG_NOTETAKER)) DbgPrint("CNotetaker::_isRestorePath(%s) %s", folder ? folder : "", top ? "ROOT" : "");
    if (!IsAbsolute(folder) || !IsFolder(folder)) {
        if (DbgOn(DBG_NOTETAKER)) DbgPrint("CNotetaker::_isRestorePath = -1 (wrong path)");
        return -1;
    }
    if (HoldsHiddenIndex(folder)) {
        if (DbgOn(DBG_NOTETAKER)) DbgPrint("CNotetaker::_isRestorePath = 1 (found index file)");
        return 1;
    }
    const int count = CountLayout(folder, top);
    return count < 0 ? (top ? 0 : -1) : count;
}

// A backup never removes the backup it replaces before the new one is whole:
// an unchanged file is kept, a changed one replaces its copy once it has
// arrived, files gone from the device leave the backup only when every file
// arrived, and the index is written last. Only a folder with the hidden
// index is taken for a backup; any other folder is the user's.
HRESULT CNotetaker::Backup(HWND hwnd, const char* folder)
{
    if (!_isBackupPath(folder, true)) return ErrorHResult(setError(ERR_INVALIDPATH));
    const bool update = HoldsHiddenIndex(folder);
    const bool othersFiles = !update && IsFolder(folder) && !FolderIsEmpty(folder);
    if ((update || othersFiles) && !Confirm(hwnd, update ? IDS_CONFIRM_DELETEBACKUP : IDS_CONFIRM_FOREIGNFOLDER))
        return 1;
    DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_BACKINGUP));

    const int made = SHCreateDirectoryExA(nullptr, folder, nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
        SetLastError(static_cast<DWORD>(made));
        return ErrorHResult(setError(ERR_SYSTEM));
    }

    const std::vector<DeviceEntry> previous = update ? BackedUpRows(folder) : std::vector<DeviceEntry>();
    const int rows = getFileNames(folder, nullptr, false);
    if (rows < 0) {
        ShowErrorFiles(hwnd);
        return ErrorHResult(setError(rows));
    }
    dropRepeatedRows();
    const bool anyFile = std::any_of(m_transferList.begin(), m_transferList.end(),
                                     [](const DeviceEntry& row) { return row.nType == 1; });
    if (!anyFile && !update) {
        DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_BACKUPDONE));
        ShowErrorFiles(hwnd);
        return ErrorHResult(setError(0));
    }
    const HRESULT hr = updateBackup(hwnd, folder, previous);
    if (SUCCEEDED(hr)) DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_BACKUPDONE));
    ShowErrorFiles(hwnd);
    return hr;
}

// Fetches what the backup lacks, then settles the backup and its index.
// The transfer list ends holding every row, for the closing list.
HRESULT CNotetaker::updateBackup(HWND hwnd, const std::string& folder, const std::vector<DeviceEntry>& previous)
{
    std::set<std::string> previousCopies;
    for (const DeviceEntry& row : previous) previousCopies.insert(Lower(row.sPcName));

    std::vector<DeviceEntry> walked;
    walked.swap(m_transferList);
    std::vector<DeviceEntry> settled;  // kept as they are, or not fetched at all
    for (DeviceEntry& row : walked) {
        if (row.nType == 1 && row.sName.size() > kMaxIndexLine) row.nType = ERR_INVALIDPATH;
        if (row.nType == 1 && previousCopies.count(Lower(row.sPcName)) && SameAsBackedUp(row.sPcName, row))
            row.nType = 0;
        (row.nType == 1 ? m_transferList : settled).push_back(row);
    }
    std::vector<std::string> copies;  // where each fetched row belongs
    for (DeviceEntry& row : m_transferList) {
        copies.push_back(row.sPcName);
        if (Exists(row.sPcName)) row.sPcName += kFetchSuffix;
    }
    HRESULT hr = S_OK;
    if (m_transferList.empty()) setError(0);
    else hr = transfer(hwnd, DCMD_RX);

    bool complete = SUCCEEDED(hr);
    std::set<std::string> inBackup;  // device paths, lower case
    for (size_t i = 0; i < m_transferList.size(); ++i) {
        DeviceEntry& row = m_transferList[i];
        const bool fetched =
            row.nType == 0 && (row.sPcName == copies[i] ||
                               MoveFileExA(row.sPcName.c_str(), copies[i].c_str(), MOVEFILE_REPLACE_EXISTING));
        if (fetched) StampDeviceTime(copies[i], row.stTime);
        if (!fetched && row.nType == 0) row.nType = setError(ERR_SYSTEM);
        if (!fetched && row.sPcName != copies[i]) DeleteFileA(row.sPcName.c_str());
        row.sPcName = copies[i];
        complete = complete && fetched;
        // A file that did not arrive keeps its earlier copy in the backup.
        if (fetched || (previousCopies.count(Lower(row.sPcName)) && Exists(row.sPcName)))
            inBackup.insert(Lower(row.sName));
    }
    std::set<std::string> current;
    for (const DeviceEntry& row : settled) {
        if (row.nType == 0) inBackup.insert(Lower(row.sName));
        if (row.nType < 0) complete = false;
    }
    for (const DeviceEntry& row : walked) current.insert(Lower(row.sPcName));
    for (const DeviceEntry& row : previous) {
        if (current.count(Lower(row.sPcName)) || !Exists(row.sPcName)) continue;
        if (complete) RemoveCopy(folder, row.sPcName, trace());
        else inBackup.insert(Lower(row.sName));
    }

    std::vector<std::string> lines;
    std::set<std::string> written;
    auto addLine = [&](const std::string& devicePath) {
        if (inBackup.count(Lower(devicePath)) && written.insert(Lower(devicePath)).second) lines.push_back(devicePath);
    };
    for (const DeviceEntry& row : walked) addLine(row.sName);
    for (const DeviceEntry& row : previous) addLine(row.sName);
    if (!WriteBackupIndex(folder, lines)) hr = ErrorHResult(setError(ERR_INVALIDINDEXFILE));
    m_transferList.insert(m_transferList.begin(), settled.begin(), settled.end());
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

// The list holds this restore's rows alone, the device folders they go into
// are made first, and files on the device are replaced only when the user
// says so, once.
HRESULT CNotetaker::Restore(HWND hwnd, const char* folder)
{
    const int layout = _isRestorePath(folder, true);
    if (layout == -1 || layout == 0) return ErrorHResult(setError(ERR_INVALIDPATH));
    m_transferList.clear();
    const int rows = getFileNames(folder, Join(folder, kBackupIndexName).c_str(), true);
    if (trace()) DbgPrint("CNotetaker::Restore(%s) %d files", folder, static_cast<int>(m_transferList.size()));
    if (rows < 0) return ErrorHResult(setError(rows));

    std::vector<std::string> missing;
    if (replacesDeviceFiles(missing) && !Confirm(hwnd, IDS_CONFIRM_RESTORE)) return 1;
    for (const std::string& deviceFolder : missing) FolderCreate(deviceFolder.c_str());
    DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_RESTORING));
    const HRESULT hr = transfer(hwnd, DCMD_TX);
    if (SUCCEEDED(hr)) DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_RESTOREDONE));
    ShowErrorFiles(hwnd);
    return hr;
}

// Lists the device folders the transfer list sends into: true when a file of
// the list is there already (or a folder cannot be listed, so nobody knows);
// `missing` gets the folders to make, each after the folders above it.
bool CNotetaker::replacesDeviceFiles(std::vector<std::string>& missing)
{
    const std::vector<DeviceEntry> rows = m_transferList;
    std::map<std::string, std::vector<DeviceEntry>> listings;  // lower-case folder: its entries
    std::set<std::string> absent;
    bool replaces = false;
    auto list = [&](const std::string& deviceFolder) -> std::vector<DeviceEntry>* {
        const std::string key = Lower(deviceFolder);
        auto known = listings.find(key);
        if (known != listings.end()) return &known->second;
        const int count = EnumFolder(deviceFolder.c_str());
        if (count < 0) return nullptr;
        std::vector<DeviceEntry>& entries = listings[key];
        entries.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) GetEntry(static_cast<size_t>(i), entries[static_cast<size_t>(i)]);
        return &entries;
    };
    for (const std::string& deviceFolder : DeviceFoldersOf(rows)) {
        std::string above = Parent(deviceFolder);
        if (above.empty() || IsBareDrive(above)) above = "\\";
        const bool aboveAbsent = absent.count(Lower(above)) != 0;
        const std::vector<DeviceEntry>* listing = aboveAbsent ? nullptr : list(above);
        if (listing && Lists(*listing, deviceFolder, true)) continue;
        if (!aboveAbsent && !listing) replaces = true;
        absent.insert(Lower(deviceFolder));
        missing.push_back(deviceFolder);
    }
    for (const DeviceEntry& row : rows) {
        const std::string deviceFolder = Parent(row.sName);
        if (absent.count(Lower(deviceFolder))) continue;
        const std::vector<DeviceEntry>* listing = list(deviceFolder);
        const std::string name = row.sName.substr(deviceFolder.size() + 1);
        if (!listing || Lists(*listing, name, false)) replaces = true;
    }
    m_transferList = rows;
    return replaces;
}

// Removes the backup in folder, the files its hidden index names; a folder
// without that index is the user's and keeps everything.
int CNotetaker::BackupRemove(const char* folder)
{
    if (trace()) DbgPrint("CNotetaker::BackupRemove(%s)", folder);
    if (!HoldsHiddenIndex(folder)) return 0;
    const std::vector<DeviceEntry> rows = BackedUpRows(folder);
    const std::string index = Join(folder, kBackupIndexName);
    SetFileAttributesA(index.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(index.c_str());
    for (const DeviceEntry& row : rows) RemoveCopy(folder, row.sPcName, trace());
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
        DeviceEntry row;
        row.sName = entry->sName;
        row.nSize = entry->nSize;
        row.stTime = entry->stTime;
        if (entry->nType == DeviceEntry::TYPE_FOLDER_R || entry->nType == DeviceEntry::TYPE_FOLDER_F) {
            // A folder path the device could not be sent whole is not walked.
            if (entry->sName.size() > kMaxIndexLine) {
                row.nType = ERR_INVALIDPATH;
                m_transferList.push_back(row);
                continue;
            }
            const int below = rowsFromDevice(base, entry->sName.c_str());
            if (below < 0) return below;
            continue;
        }
        // A special entry at the root is no file of a folder: it is named
        // afterwards among what was not backed up, and the walk goes on.
        if (!name && entry->nType == DeviceEntry::TYPE_SPECIAL) {
            row.nType = DeviceEntry::ROW_SKIPPED;
            m_transferList.push_back(row);
            continue;
        }
        row.sName = Join(name ? name : "", entry->sName);
        if (!name || row.sName.find(':') == std::string::npos) return setError(ERR_INVALIDINDEXFILE);
        row.sPcName = BackupPcPath(base, row.sName);
        row.nType = 1;
        if (trace()) DbgPrint("sName=%s, sPcName=%s", row.sName.c_str(), row.sPcName.c_str());
        m_transferList.push_back(row);
    }
    return 0;
}

int CNotetaker::rowsFromPc(const char* base, const char* name)
{
    ScopedKernelHandle index(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (index.valid()) return rowsFromIndex(base, index.get());
    return rowsFromLayout(base, IsFolder(name) ? name : base);
}

int CNotetaker::rowsFromIndex(const char* base, HANDLE index)
{
    m_transferList.clear();
    std::vector<DeviceEntry> lines;
    const int read = ReadBackupIndex(base, index, lines);
    for (DeviceEntry& row : lines)
        if (PcFileSize(row.sPcName.c_str(), row.nSize)) m_transferList.push_back(row);
    return read < 0 ? setError(read) : 0;
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

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

// A file is fetched beside its backed-up copy, and takes its name only once
// it has arrived whole: no file of a backup is ever half written.
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

// Each question can overwrite or delete files: Cancel is the default button,
// so a stray Return keeps everything.
bool Ask(HWND hwnd, const char* question)
{
    return ShowMessageText(hwnd, question, MB_OKCANCEL | MB_DEFBUTTON2 | MB_ICONQUESTION | MB_TASKMODAL) == IDOK;
}

bool Confirm(HWND hwnd, UINT textId)
{
    char question[256] = "";
    LoadResourceText(textId, question, sizeof question);
    return Ask(hwnd, question);
}

bool ConfirmRestore(HWND hwnd, const RestoreCounts& counts)
{
    char format[256] = "", question[320] = "";
    LoadResourceText(IDS_CONFIRM_RESTORE, format, sizeof format);
    snprintf(question, sizeof question, format, counts.replaced, counts.remade);
    return Ask(hwnd, question);
}

// The device's clock is local time.
bool DeviceFileTime(const SYSTEMTIME& deviceTime, FILETIME& out)
{
    FILETIME local;
    return SystemTimeToFileTime(&deviceTime, &local) && LocalFileTimeToFileTime(&local, &out);
}

// A file the backup holds as the device has it: a copy of the recorded size,
// and no change on the device since. A file recorded as changed in the newest
// minute its backup saw is fetched again, whatever its time says.
bool Unchanged(const IndexLine& line, const DeviceEntry& row)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (line.kind != IndexLine::FILE_SETTLED || line.size != row.nSize) return false;
    if (DeviceMinute(line.time) != DeviceMinute(row.stTime)) return false;
    if (!GetFileAttributesExA(line.pcPath.c_str(), GetFileExInfoStandard, &data)) return false;
    return !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !data.nFileSizeHigh && data.nFileSizeLow == row.nSize;
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
    for (std::string holder = Parent(pcPath);
         holder.size() > folder.size() && IsFolder(holder) && FolderIsEmpty(holder); holder = Parent(holder)) {
        if (traced) DbgPrint("RemoveDirectory(%s)", holder.c_str());
        if (!RemoveDirectoryA(holder.c_str())) break;
    }
}

bool IsBareDrive(const std::string& path) { return path.size() == 2 && path[1] == ':'; }

std::string LastComponent(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

// The device folders a restore sends into, and the folders the index
// recorded, each after the folders above it.
std::vector<std::string> DeviceFoldersOf(const std::vector<DeviceEntry>& rows, const std::vector<IndexLine>& lines)
{
    std::vector<std::string> wanted;
    for (const DeviceEntry& row : rows) wanted.push_back(Parent(row.sName));
    for (const IndexLine& line : lines)
        if (line.kind == IndexLine::FOLDER) wanted.push_back(line.devicePath);
    std::vector<std::string> folders;
    std::set<std::string> seen;
    for (const std::string& deepest : wanted) {
        std::vector<std::string> chain;
        for (std::string folder = deepest; !folder.empty() && !IsBareDrive(folder); folder = Parent(folder))
            chain.push_back(folder);
        for (auto folder = chain.rbegin(); folder != chain.rend(); ++folder)
            if (seen.insert(Lower(*folder)).second) folders.push_back(*folder);
    }
    return folders;
}

bool IsFolderEntry(const DeviceEntry& e)
{
    return e.nType == DeviceEntry::TYPE_FOLDER_R || e.nType == DeviceEntry::TYPE_FOLDER_F;
}

bool Lists(const std::vector<DeviceEntry>& listing, const std::string& name, bool folder)
{
    return std::any_of(listing.begin(), listing.end(), [&](const DeviceEntry& e) {
        return IsFolderEntry(e) == folder && _stricmp(e.sName.c_str(), name.c_str()) == 0;
    });
}

// The cable names a folder to list or fetch without its drive, and the
// device looks such a path up on R: first: a folder of F: whose name R: also
// has at its root cannot be read, and R:'s files must never pass for its.
bool IsNamesakeOfR(const std::vector<DeviceEntry>& root, const std::string& devicePath)
{
    if (devicePath.compare(0, 3, "F:\\") != 0) return false;
    const std::string top = devicePath.substr(3, devicePath.find('\\', 3) - 3);
    return std::any_of(root.begin(), root.end(), [&](const DeviceEntry& e) {
        return e.nType == DeviceEntry::TYPE_FOLDER_R && _stricmp(e.sName.c_str() + 3, top.c_str()) == 0;
    });
}

// The entries of a device folder, or the listing's error.
int ListFolder(CNotetaker& nt, const std::string& path, std::vector<DeviceEntry>& out)
{
    const int count = nt.EnumFolder(path.c_str());
    out.resize(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) nt.GetEntry(static_cast<size_t>(i), out[static_cast<size_t>(i)]);
    return count;
}

IndexLine FolderLine(const std::string& folder, const DeviceEntry& entry)
{
    IndexLine line;
    line.kind = IndexLine::FOLDER;
    line.devicePath = entry.sName;
    line.pcPath = BackupPcPath(folder, entry.sName);
    line.time = entry.stTime;
    return line;
}

// The device's times have minute resolution, and a file may change again
// within the minute after it was fetched, keeping its time. A time written
// before the fetch is a time the device's clock had passed: a file older than
// the newest time the backup's own listing showed cannot change again without
// a newer time. A file of that newest minute is recorded as recent, and the
// next backup fetches it again whatever its time says.
IndexLine FetchedLine(const DeviceEntry& row, ULONGLONG newestMinute)
{
    IndexLine line;
    line.kind = DeviceMinute(row.stTime) >= newestMinute ? IndexLine::FILE_RECENT : IndexLine::FILE_SETTLED;
    line.devicePath = row.sName;
    line.pcPath = row.sPcName;
    line.size = row.nSize;
    line.time = row.stTime;
    return line;
}

std::string WithoutFetchSuffix(const std::string& path)
{
    const size_t n = sizeof kFetchSuffix - 1;
    return path.size() > n && path.compare(path.size() - n, n, kFetchSuffix) == 0 ? path.substr(0, path.size() - n)
                                                                                  : path;
}

// Lines of an older index whose copies lie outside the drive trees are left
// alone: they name files an earlier layout kept, or the user's own.
std::map<std::string, IndexLine> OwnLines(const std::string& folder, const std::vector<IndexLine>& lines)
{
    std::map<std::string, IndexLine> own;
    for (const IndexLine& line : lines) {
        const bool inTree = line.pcPath == BackupPcPath(folder, line.devicePath);
        if (inTree && (line.kind == IndexLine::FOLDER || Exists(line.pcPath))) own[Lower(line.devicePath)] = line;
    }
    return own;
}

std::vector<IndexLine> Values(const std::map<std::string, IndexLine>& lines)
{
    std::vector<IndexLine> values;
    for (const auto& line : lines) values.push_back(line.second);
    return values;
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

// An index counts whatever its attributes: copying tools drop the hidden one.
int CNotetaker::_isRestorePath(const char* folder, bool top)
{
    if (DbgOn(DBG_NOTETAKER)) DbgPrint("CNotetaker::_isRestorePath(%s) %s", folder ? folder : "", top ? "ROOT" : "");
    if (!IsAbsolute(folder) || !IsFolder(folder)) {
        if (DbgOn(DBG_NOTETAKER)) DbgPrint("CNotetaker::_isRestorePath = -1 (wrong path)");
        return -1;
    }
    if (HoldsBackupIndex(folder)) {
        if (DbgOn(DBG_NOTETAKER)) DbgPrint("CNotetaker::_isRestorePath = 1 (found index file)");
        return 1;
    }
    const int count = CountLayout(folder, top);
    return count < 0 ? (top ? 0 : -1) : count;
}

// A backup never removes the backup it replaces before the new one is whole:
// an unchanged file is kept, a changed one replaces its copy once it has
// arrived, and files gone from the device leave the backup only when every
// file arrived. Only what the index names is ever deleted; a folder without
// an index is the user's.
HRESULT CNotetaker::Backup(HWND hwnd, const char* folder)
{
    if (!_isBackupPath(folder, true)) return ErrorHResult(setError(ERR_INVALIDPATH));
    const bool update = HoldsBackupIndex(folder);
    const bool othersFiles = !update && IsFolder(folder) && !FolderIsEmpty(folder);
    if ((update || othersFiles) && !Confirm(hwnd, update ? IDS_CONFIRM_DELETEBACKUP : IDS_CONFIRM_FOREIGNFOLDER))
        return 1;
    DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_BACKINGUP));

    const int made = SHCreateDirectoryExA(nullptr, folder, nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
        SetLastError(static_cast<DWORD>(made));
        return ErrorHResult(setError(ERR_SYSTEM));
    }

    std::vector<IndexLine> previous;
    if (update) ReadBackupIndex(folder, previous);  // the lines before a damaged one still count
    const int rows = getFileNames(folder, nullptr, false);
    if (rows < 0) {
        ShowErrorFiles(hwnd);
        return ErrorHResult(setError(rows));
    }
    dropRepeatedRows();
    const bool anyFile = std::any_of(m_transferList.begin(), m_transferList.end(),
                                     [](const DeviceEntry& row) { return row.nType == 1; });
    if (!anyFile && m_walkFolders.empty() && !update) {
        DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_BACKUPDONE));
        ShowErrorFiles(hwnd);
        return ErrorHResult(setError(0));
    }
    const HRESULT hr = updateBackup(hwnd, folder, OwnLines(folder, previous));
    if (SUCCEEDED(hr)) DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_BACKUPDONE));
    ShowErrorFiles(hwnd);
    return hr;
}

// Fetches what the backup lacks, then settles the backup and its index. The
// index is written before the first fetch and grows by a line as each file
// arrives. The transfer list ends holding every row, for the closing list.
HRESULT CNotetaker::updateBackup(HWND hwnd, const std::string& folder, std::map<std::string, IndexLine> kept)
{
    std::set<std::string> seen;  // lower-case device paths of this walk
    std::vector<DeviceEntry> walked;
    walked.swap(m_transferList);
    std::vector<DeviceEntry> settled;  // kept as they are, or not fetched at all
    for (DeviceEntry& row : walked) {
        if (row.nType == 1 && row.sName.size() > kMaxIndexLine) row.nType = ERR_INVALIDPATH;
        const auto known = kept.find(Lower(row.sName));
        if (row.nType == 1 && known != kept.end() && Unchanged(known->second, row)) {
            row.nType = 0;
            known->second.devicePath = row.sName;  // its case may have changed
        }
        if (row.nType == 1 || row.nType == 0) seen.insert(Lower(row.sName));
        (row.nType == 1 ? m_transferList : settled).push_back(row);
    }
    for (const DeviceEntry& entry : m_walkFolders) {
        const IndexLine line = FolderLine(folder, entry);
        kept[Lower(line.devicePath)] = line;
        seen.insert(Lower(line.devicePath));
    }
    for (DeviceEntry& row : m_transferList) row.sPcName += kFetchSuffix;

    HRESULT hr = S_OK;
    if (!WriteBackupIndex(folder, Values(kept))) hr = ErrorHResult(setError(ERR_INVALIDINDEXFILE));
    else if (m_transferList.empty()) setError(0);
    else hr = fetchIntoBackup(hwnd, folder, kept);

    bool complete = SUCCEEDED(hr);
    for (DeviceEntry& row : m_transferList) {
        const std::string copy = WithoutFetchSuffix(row.sPcName);
        if (row.sPcName != copy) DeleteFileA(row.sPcName.c_str());
        row.sPcName = copy;
        complete = complete && row.nType == 0;
    }
    for (const DeviceEntry& row : settled)
        if (row.nType < 0 || row.nType == DeviceEntry::ROW_NAMESAKE) complete = false;
    if (complete) dropLeftFiles(folder, kept, seen);
    // An empty device folder shows in the backup too.
    for (const DeviceEntry& entry : m_walkFolders)
        SHCreateDirectoryExA(nullptr, BackupPcPath(folder, entry.sName).c_str(), nullptr);
    if (SUCCEEDED(hr) && !WriteBackupIndex(folder, Values(kept))) hr = ErrorHResult(setError(ERR_INVALIDINDEXFILE));
    m_transferList.insert(m_transferList.begin(), settled.begin(), settled.end());
    return hr;
}

// Each file that arrives replaces its copy and gets its line at once, so
// that a backup that is killed keeps what it fetched.
HRESULT CNotetaker::fetchIntoBackup(HWND hwnd, const std::string& folder, std::map<std::string, IndexLine>& kept)
{
    ScopedKernelHandle index(CreateFileA(Join(folder, kBackupIndexName).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    const ULONGLONG newest = m_walkNewest;
    m_job.rowDone = [&](DeviceEntry& row) {
        const std::string copy = WithoutFetchSuffix(row.sPcName);
        if (row.sPcName != copy && !MoveFileExA(row.sPcName.c_str(), copy.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            row.nType = setError(ERR_SYSTEM);
            return;
        }
        row.sPcName = copy;
        StampDeviceTime(copy, row.stTime);
        const IndexLine line = FetchedLine(row, newest);
        kept[Lower(row.sName)] = line;
        if (index.valid()) AppendBackupIndex(index.get(), line);
    };
    const HRESULT hr = transfer(hwnd, DCMD_RX);
    m_job.rowDone = nullptr;
    return hr;
}

// Removes the copies of files, and the empty folders of folders, that left the device.
void CNotetaker::dropLeftFiles(const std::string& folder, std::map<std::string, IndexLine>& kept,
                               const std::set<std::string>& seen)
{
    std::vector<std::string> folders;  // a folder's line comes before its files' lines
    for (auto line = kept.begin(); line != kept.end();) {
        if (seen.count(line->first)) {
            ++line;
            continue;
        }
        if (line->second.kind == IndexLine::FOLDER) folders.push_back(line->second.pcPath);
        else RemoveCopy(folder, line->second.pcPath, trace());
        line = kept.erase(line);
    }
    // Only an empty folder goes: anything the user put there stays.
    for (auto pcFolder = folders.rbegin(); pcFolder != folders.rend(); ++pcFolder) RemoveDirectoryA(pcFolder->c_str());
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
// (and the empty ones the index recorded) are made first, and files on the
// device are replaced only when the user says so, once. A file is sent under
// its device name from the index, not under the name its copy has on the PC.
HRESULT CNotetaker::Restore(HWND hwnd, const char* folder)
{
    const int layout = _isRestorePath(folder, true);
    if (layout == -1 || layout == 0) return ErrorHResult(setError(ERR_INVALIDPATH));
    m_transferList.clear();
    const int rows = getFileNames(folder, Join(folder, kBackupIndexName).c_str(), true);
    if (trace()) DbgPrint("CNotetaker::Restore(%s) %d files", folder, static_cast<int>(m_transferList.size()));
    if (rows < 0) return ErrorHResult(setError(rows));
    const bool indexed = HoldsBackupIndex(folder);
    std::vector<IndexLine> lines;
    if (indexed) ReadBackupIndex(folder, lines);

    std::vector<std::string> missing;
    const RestoreCounts counts = countRestoredFiles(lines, missing);
    if (counts.replaced > 0 && !ConfirmRestore(hwnd, counts)) return 1;
    for (const std::string& deviceFolder : missing) FolderCreate(deviceFolder.c_str());
    DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_RESTORING));
    m_job.deviceNames = indexed;
    const HRESULT hr = transfer(hwnd, DCMD_TX);
    m_job.deviceNames = false;
    if (indexed) recordRestoredTimes(hwnd, folder, lines);
    if (SUCCEEDED(hr)) DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_RESTOREDONE));
    ShowErrorFiles(hwnd);
    return hr;
}

// The device stamps a restored file with its own clock: one listing of each
// folder sent into gives the index those times, so that the next backup
// fetches none of the files again. Where the backup cannot take them, the
// user hears it, and the next backup fetches them.
void CNotetaker::recordRestoredTimes(HWND hwnd, const std::string& folder, std::vector<IndexLine>& lines)
{
    // An index of the one-tree layout is rewritten by the next backup alone.
    if (std::any_of(lines.begin(), lines.end(),
                    [&](const IndexLine& l) { return l.pcPath != BackupPcPath(folder, l.devicePath); }))
        return;
    const std::vector<DeviceEntry>& sent = m_transferList;
    std::map<std::string, IndexLine*> byPath;
    for (IndexLine& line : lines) byPath[Lower(line.devicePath)] = &line;
    std::vector<DeviceEntry> root;
    const bool onF = std::any_of(sent.begin(), sent.end(), [](const DeviceEntry& r) { return r.sName[0] == 'F'; });
    if (onF && ListFolder(*this, "\\", root) < 0) return;
    std::map<std::string, std::vector<DeviceEntry>> listings;  // lower-case folder: its entries, or none
    bool recorded = false;
    for (const DeviceEntry& row : sent) {
        const auto line = byPath.find(Lower(row.sName));
        const std::string deviceFolder = Parent(row.sName);
        if (row.nType != 0 || line == byPath.end() || IsNamesakeOfR(root, row.sName)) continue;
        const auto listed = listings.emplace(Lower(deviceFolder), std::vector<DeviceEntry>());
        if (listed.second && ListFolder(*this, deviceFolder, listed.first->second) < 0) continue;
        for (const DeviceEntry& entry : listed.first->second) {
            if (IsFolderEntry(entry) || _stricmp(entry.sName.c_str(), LastComponent(row.sName).c_str()) != 0) continue;
            line->second->kind = IndexLine::FILE_SETTLED;
            line->second->size = entry.nSize;
            line->second->time = entry.stTime;
            recorded = true;
        }
    }
    if (!recorded || WriteBackupIndex(folder, lines)) return;
    char text[256] = "";
    LoadResourceText(IDS_BACKUP_NOTUPDATED, text, sizeof text);
    ShowMessageText(hwnd, text, MB_ICONWARNING | MB_TASKMODAL);
}

// Lists the device folders the transfer list sends into: the files of the
// list there already (or in a folder that cannot be listed, so nobody knows)
// are counted as replaced, the others as made again; `missing` gets the
// folders to make, each after the folders above it.
RestoreCounts CNotetaker::countRestoredFiles(const std::vector<IndexLine>& lines, std::vector<std::string>& missing)
{
    const std::vector<DeviceEntry> rows = m_transferList;
    std::map<std::string, std::vector<DeviceEntry>> listings;  // lower-case folder: its entries
    std::set<std::string> absent, unknown;
    RestoreCounts counts;
    auto list = [&](const std::string& deviceFolder) -> std::vector<DeviceEntry>* {
        const auto known = listings.emplace(Lower(deviceFolder), std::vector<DeviceEntry>());
        if (!known.second) return &known.first->second;
        if (ListFolder(*this, deviceFolder, known.first->second) >= 0) return &known.first->second;
        listings.erase(known.first);
        return nullptr;
    };
    for (const std::string& deviceFolder : DeviceFoldersOf(rows, lines)) {
        std::string above = Parent(deviceFolder);
        if (above.empty() || IsBareDrive(above)) above = "\\";
        const bool aboveAbsent = absent.count(Lower(above)) != 0;
        const std::vector<DeviceEntry>* listing = aboveAbsent ? nullptr : list(above);
        if (listing && Lists(*listing, deviceFolder, true)) continue;
        (!aboveAbsent && !listing ? unknown : absent).insert(Lower(deviceFolder));
        missing.push_back(deviceFolder);
    }
    for (const DeviceEntry& row : rows) {
        const std::string deviceFolder = Parent(row.sName);
        bool there = unknown.count(Lower(deviceFolder)) != 0;
        if (!there && !absent.count(Lower(deviceFolder))) {
            const std::vector<DeviceEntry>* listing = list(deviceFolder);
            there = !listing || Lists(*listing, row.sName.substr(deviceFolder.size() + 1), false);
        }
        ++(there ? counts.replaced : counts.remade);
    }
    m_transferList = rows;
    return counts;
}

// Removes the backup in folder, the files and empty folders its index names;
// a folder without an index is the user's and keeps everything.
int CNotetaker::BackupRemove(const char* folder)
{
    if (trace()) DbgPrint("CNotetaker::BackupRemove(%s)", folder);
    if (!HoldsBackupIndex(folder)) return 0;
    std::vector<IndexLine> lines;
    ReadBackupIndex(folder, lines);
    const std::string index = Join(folder, kBackupIndexName);
    SetFileAttributesA(index.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(index.c_str());
    std::map<std::string, IndexLine> own = OwnLines(folder, lines);
    dropLeftFiles(folder, own, std::set<std::string>());
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

// Besides the rows, the walk keeps the folders it went through and the
// newest time it saw.
int CNotetaker::rowsFromDevice(const char* base, const char* name)
{
    if (!name) {
        m_transferList.clear();
        m_walkFolders.clear();
        m_walkNewest = 0;
    }
    // Walking a sub-folder replaces the listing: keep our own copy.
    std::vector<DeviceEntry> listing;
    const int count = ListFolder(*this, name ? name : "\\", listing);
    if (count < 0) return count;

    for (auto entry = listing.rbegin(); entry != listing.rend(); ++entry) {
        DeviceEntry row;
        row.sName = entry->sName;
        row.nSize = entry->nSize;
        row.stTime = entry->stTime;
        if (entry->nType != DeviceEntry::TYPE_SPECIAL)
            m_walkNewest = std::max(m_walkNewest, DeviceMinute(entry->stTime));
        if (IsFolderEntry(*entry)) {
            // Left out on purpose, though a folder of the device, so that no
            // file of R: is ever kept as one of F:.
            if (!name && IsNamesakeOfR(listing, entry->sName)) row.nType = DeviceEntry::ROW_NAMESAKE;
            // A folder path the device could not be sent whole is not walked.
            else if (entry->sName.size() > kMaxIndexLine) row.nType = ERR_INVALIDPATH;
            if (row.nType != 0) {
                m_transferList.push_back(row);
                continue;
            }
            m_walkFolders.push_back(*entry);
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
    if (GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES && !IsFolder(name)) return rowsFromIndex(base);
    return rowsFromLayout(base, IsFolder(name) ? name : base);
}

int CNotetaker::rowsFromIndex(const char* base)
{
    m_transferList.clear();
    std::vector<IndexLine> lines;
    const int read = ReadBackupIndex(base, lines);
    for (const IndexLine& line : lines) {
        DeviceEntry row;
        row.sName = line.devicePath;
        row.sPcName = line.pcPath;
        row.nType = 1;
        if (line.kind != IndexLine::FOLDER && PcFileSize(row.sPcName.c_str(), row.nSize)) m_transferList.push_back(row);
    }
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

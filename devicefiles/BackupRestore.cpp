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
#include "devicefiles/FolderPath.h"
#include "devicefiles/PcName.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "foundation/DbgLog.h"
#include "foundation/ScopedHandle.h"
#include "resources/resource.h"

namespace {

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

bool IsRemovedFolder(const char* name) { return !_stricmp(name, kRemovedFolderName); }

// Counts the files of a type-digit layout: -1 when it is broken.
int CountLayout(const std::string& folder, bool top)
{
    WIN32_FIND_DATAA found;
    ScopedFind find(FindFirstFileA(Join(folder, "*").c_str(), &found));
    if (!find.valid()) return top ? 0 : -1;
    int count = 0;
    do {
        if (IsDots(found.cFileName) || (top && IsRemovedFolder(found.cFileName))) continue;
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

// A question may hold one count.
bool Confirm(HWND hwnd, UINT textId, unsigned count = 0)
{
    char format[512] = "", question[512] = "";
    LoadResourceText(textId, format, sizeof format);
    snprintf(question, sizeof question, format, count);
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

// A device minute later than the PC's: the device's clock was set back since,
// and that minute is still to come on it.
bool InFuture(const SYSTEMTIME& deviceTime)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return DeviceMinute(deviceTime) > DeviceMinute(now);
}

// The device's times have minute resolution, and a file may change again
// within the minute after it was fetched, keeping its time. A time written
// before the fetch is a time the device's clock had passed: a file older than
// the newest time the same listings showed cannot change again without a
// newer time. A file of that newest minute, or of a minute still to come, is
// recent, and the next backup fetches it again whatever its time says.
IndexLine::Kind KindOf(const SYSTEMTIME& deviceTime, ULONGLONG newestMinute)
{
    const bool recent = DeviceMinute(deviceTime) >= newestMinute || InFuture(deviceTime);
    return recent ? IndexLine::FILE_RECENT : IndexLine::FILE_SETTLED;
}

// A minute still to come says nothing of where the device's clock is now.
void SeeNewest(ULONGLONG& newestMinute, const DeviceEntry& entry)
{
    if (entry.nType != DeviceEntry::TYPE_SPECIAL && !InFuture(entry.stTime))
        newestMinute = std::max(newestMinute, DeviceMinute(entry.stTime));
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

// This backup's folder for the copies it moves aside, named by the PC's
// minute: never one that an earlier backup filled.
std::string AsideFolderNow(const std::string& folder)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u.%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
    const std::string first = Join(Join(folder, kRemovedFolderName), stamp);
    std::string aside = first;
    for (int n = 2; Exists(aside); ++n) aside = first + " (" + std::to_string(n) + ")";
    return aside;
}

// Takes a copy out of the backup: deleted, or moved to its place in the
// backup's tree below `aside`, never over a file there. The folders of the
// backup it leaves empty go too.
void TakeOutCopy(const std::string& folder, const std::string& pcPath, const std::string& aside, bool traced)
{
    const std::string prefix = Join(folder, "");
    if (pcPath.compare(0, prefix.size(), prefix) != 0) return;
    if (aside.empty()) {
        const BOOL deleted = DeleteFileA(pcPath.c_str());
        if (traced) DbgPrint("DeleteFile(%s) = %s", pcPath.c_str(), deleted ? "TRUE" : "FALSE");
    } else {
        const std::string target = Join(aside, pcPath.substr(prefix.size()));
        SHCreateDirectoryExA(nullptr, Parent(target).c_str(), nullptr);
        const BOOL moved = MoveFileExA(pcPath.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        if (traced) DbgPrint("MoveFile(%s, %s) = %s", pcPath.c_str(), target.c_str(), moved ? "TRUE" : "FALSE");
    }
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

IndexLine FolderLine(const DeviceEntry& entry)
{
    IndexLine line;
    line.kind = IndexLine::FOLDER;
    line.devicePath = entry.sName;
    line.pcPath = entry.sPcName;
    line.time = entry.stTime;
    return line;
}

IndexLine FetchedLine(const DeviceEntry& row, ULONGLONG newestMinute)
{
    IndexLine line;
    line.kind = KindOf(row.stTime, newestMinute);
    line.devicePath = row.sName;
    line.pcPath = row.sPcName;
    line.size = row.nSize;
    line.time = row.stTime;
    return line;
}

// Lines of an older index whose copies lie outside the drive trees are left
// alone: they name files an earlier layout kept, or the user's own. The
// lines are keyed by exact device path.
std::map<std::string, IndexLine> OwnLines(const std::string& folder, const std::vector<IndexLine>& lines, bool current)
{
    std::map<std::string, IndexLine> own;
    for (const IndexLine& line : lines) {
        const bool inTree = current || line.pcPath == BackupPcPath(folder, line.devicePath);
        if (inTree && (line.kind == IndexLine::FOLDER || Exists(line.pcPath))) own[line.devicePath] = line;
    }
    return own;
}

// Gives the walk's folders and files their PC paths, folders first.
void NameCopies(const std::string& folder, std::map<std::string, IndexLine>& kept, std::vector<DeviceEntry>& folders,
                std::vector<DeviceEntry>& rows)
{
    std::set<std::string> walked;
    for (const DeviceEntry& f : folders) walked.insert(f.sName);
    for (const DeviceEntry& row : rows)
        if (row.nType == 1) walked.insert(row.sName);
    BackupNames names(folder, kept, walked);
    for (DeviceEntry& f : folders) f.sPcName = names.PcPath(f.sName);
    for (DeviceEntry& row : rows)
        if (row.nType == 1) row.sPcName = names.PcPath(row.sName);
}

// The device folders that hold, at any depth, what the index names.
std::set<std::string> HeldFolders(const std::map<std::string, IndexLine>& kept)
{
    std::set<std::string> held;
    for (const auto& line : kept)
        for (std::string f = Parent(line.first); !f.empty() && !IsBareDrive(f); f = Parent(f)) held.insert(Lower(f));
    return held;
}

// The copies an update moves aside: those of files the index names and the
// walk did not find. None move when a row failed.
unsigned LeavingCopies(const std::map<std::string, IndexLine>& kept, const std::vector<DeviceEntry>& rows)
{
    std::set<std::string> listed;
    for (const DeviceEntry& row : rows) {
        if (row.nType < 0 || row.nType == DeviceEntry::ROW_NAMESAKE) return 0;
        if (row.nType == 1) listed.insert(row.sName);
    }
    unsigned count = 0;
    for (const auto& line : kept) count += line.second.kind != IndexLine::FOLDER && !listed.count(line.first);
    return count;
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
// arrived, and the copies of files gone from the device move aside (a
// mistaken delete on the device would otherwise lose the file everywhere)
// only when every file arrived. Only what the index names is ever moved; a
// folder without an index is the user's. The question comes after the walk,
// so that it can say how many copies move aside.
HRESULT CNotetaker::Backup(HWND hwnd, const char* folder)
{
    if (!_isBackupPath(folder, true)) return ErrorHResult(setError(ERR_INVALIDPATH));
    const bool update = HoldsBackupIndex(folder);
    const bool othersFiles = !update && IsFolder(folder) && !FolderIsEmpty(folder);
    if (othersFiles && !Confirm(hwnd, IDS_CONFIRM_FOREIGNFOLDER)) return 1;

    std::vector<IndexLine> previous;
    bool current = false;
    if (update) ReadBackupIndex(folder, previous, &current);  // the lines before a damaged one still count
    std::map<std::string, IndexLine> kept = OwnLines(folder, previous, current);
    m_walkHeld = HeldFolders(kept);
    const int rows = getFileNames(folder, nullptr, false);
    m_walkHeld.clear();
    if (rows < 0) {
        ShowErrorFiles(hwnd);
        return ErrorHResult(setError(rows));
    }
    dropRepeatedRows();
    NameCopies(folder, kept, m_walkFolders, m_transferList);
    const unsigned leaving = LeavingCopies(kept, m_transferList);
    if (update && !Confirm(hwnd, leaving ? IDS_CONFIRM_UPDATEMOVES : IDS_CONFIRM_DELETEBACKUP, leaving)) return 1;
    DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_BACKINGUP));

    const int made = SHCreateDirectoryExA(nullptr, folder, nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
        SetLastError(static_cast<DWORD>(made));
        return ErrorHResult(setError(ERR_SYSTEM));
    }

    const bool anyFile = std::any_of(m_transferList.begin(), m_transferList.end(),
                                     [](const DeviceEntry& row) { return row.nType == 1; });
    if (!anyFile && m_walkFolders.empty() && !update) {
        DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_BACKUPDONE));
        ShowErrorFiles(hwnd);
        return ErrorHResult(setError(0));
    }
    bool complete = false;
    const HRESULT hr = updateBackup(hwnd, folder, kept, complete);
    // A row left out (an F: namesake folder) is no complete backup: the device says so as the PC does.
    if (SUCCEEDED(hr)) DevicePrint(MAKEINTRESOURCEA(complete ? IDS_DEVICE_BACKUPDONE : IDS_DEVICE_BACKUPPARTLY));
    ShowErrorFiles(hwnd);
    return hr;
}

// Fetches what the backup lacks, then settles the backup and its index. The
// index is written before the first fetch and grows by a line as each file
// arrives. The transfer list ends holding every row, for the closing list.
HRESULT CNotetaker::updateBackup(HWND hwnd, const std::string& folder, std::map<std::string, IndexLine> kept,
                                 bool& complete)
{
    std::set<std::string> seen;  // device paths of this walk
    std::vector<DeviceEntry> walked;
    walked.swap(m_transferList);
    std::vector<DeviceEntry> settled;  // kept as they are, or not fetched at all
    for (DeviceEntry& row : walked) {
        if (row.nType == 1 && row.sName.size() > kMaxIndexLine) row.nType = ERR_INVALIDPATH;
        const auto known = kept.find(row.sName);
        if (row.nType == 1 && known != kept.end() && Unchanged(known->second, row)) row.nType = 0;
        if (row.nType == 1 || row.nType == 0) seen.insert(row.sName);
        (row.nType == 1 ? m_transferList : settled).push_back(row);
    }
    for (const DeviceEntry& entry : m_walkFolders) {
        kept[entry.sName] = FolderLine(entry);
        seen.insert(entry.sName);
    }

    HRESULT hr = S_OK;
    if (!WriteBackupIndex(folder, Values(kept))) hr = ErrorHResult(setError(ERR_INVALIDINDEXFILE));
    else if (m_transferList.empty()) setError(0);
    else hr = fetchIntoBackup(hwnd, folder, kept);

    complete = SUCCEEDED(hr);
    for (const DeviceEntry& row : m_transferList) complete = complete && row.nType == 0;
    for (const DeviceEntry& row : settled)
        if (row.nType < 0 || row.nType == DeviceEntry::ROW_NAMESAKE) complete = false;
    if (complete) dropLeftFiles(folder, kept, seen, true);
    // An empty device folder shows in the backup too.
    for (const DeviceEntry& entry : m_walkFolders) SHCreateDirectoryExA(nullptr, entry.sPcName.c_str(), nullptr);
    if (SUCCEEDED(hr) && !WriteBackupIndex(folder, Values(kept))) hr = ErrorHResult(setError(ERR_INVALIDINDEXFILE));
    m_transferList.insert(m_transferList.begin(), settled.begin(), settled.end());
    return hr;
}

// Each file that arrives replaces its copy and gets its line at once, so
// that a backup that is killed keeps what it fetched. The receiver writes
// beside the copy and replaces it only once the file is whole and on the
// disk: no copy is ever half written.
HRESULT CNotetaker::fetchIntoBackup(HWND hwnd, const std::string& folder, std::map<std::string, IndexLine>& kept)
{
    ScopedKernelHandle index(CreateFileA(Join(folder, kBackupIndexName).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    const ULONGLONG newest = m_walkNewest;
    m_job.rowDone = [&](DeviceEntry& row) {
        StampDeviceTime(row.sPcName, row.stTime);
        const IndexLine line = FetchedLine(row, newest);
        kept[row.sName] = line;
        if (index.valid()) AppendBackupIndex(index.get(), folder, line);
    };
    const HRESULT hr = transfer(hwnd, DCMD_RX);
    m_job.rowDone = nullptr;
    return hr;
}

// Takes out of the backup the copies of files (moved aside, or deleted), and
// the empty folders of folders, that left the device.
void CNotetaker::dropLeftFiles(const std::string& folder, std::map<std::string, IndexLine>& kept,
                               const std::set<std::string>& seen, bool moveAside)
{
    std::string aside;                 // made for the first copy moved
    std::vector<std::string> folders;  // a folder's line comes before its files' lines
    for (auto line = kept.begin(); line != kept.end();) {
        if (seen.count(line->first)) {
            ++line;
            continue;
        }
        if (line->second.kind == IndexLine::FOLDER) folders.push_back(line->second.pcPath);
        else {
            if (moveAside && aside.empty()) aside = AsideFolderNow(folder);
            TakeOutCopy(folder, line->second.pcPath, aside, trace());
        }
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
// Files whose copy is missing are failed rows, named in the closing list.
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
    bool current = false;
    if (indexed) ReadBackupIndex(folder, lines, &current);

    std::vector<DeviceEntry> copyless;
    const auto sendable = std::stable_partition(m_transferList.begin(), m_transferList.end(),
                                                [](const DeviceEntry& row) { return row.nType == 1; });
    copyless.assign(sendable, m_transferList.end());
    m_transferList.erase(sendable, m_transferList.end());

    std::vector<std::string> missing;
    const RestoreCounts counts = countRestoredFiles(lines, missing);
    if (counts.replaced > 0 && !ConfirmRestore(hwnd, counts)) return 1;
    for (const std::string& deviceFolder : missing) FolderCreate(deviceFolder.c_str());
    DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_RESTORING));
    m_job.deviceNames = indexed;
    const HRESULT hr = m_transferList.empty() ? S_OK : transfer(hwnd, DCMD_TX);
    m_job.deviceNames = false;
    if (indexed) recordRestoredTimes(hwnd, folder, lines, current);
    m_transferList.insert(m_transferList.end(), copyless.begin(), copyless.end());
    if (SUCCEEDED(hr))
        DevicePrint(MAKEINTRESOURCEA(copyless.empty() ? IDS_DEVICE_RESTOREDONE : IDS_DEVICE_RESTOREPARTLY));
    ShowErrorFiles(hwnd);
    return hr;
}

// The device stamps a restored file with its own clock: one listing of each
// folder sent into gives the index those times, so that the next backup
// fetches again only the files of the newest minute, which may still change
// within it. Where the backup cannot take the times, the user hears it, and
// the next backup fetches the files.
void CNotetaker::recordRestoredTimes(HWND hwnd, const std::string& folder, std::vector<IndexLine>& lines, bool current)
{
    // An index of the one-tree layout is rewritten by the next backup alone.
    if (!current && std::any_of(lines.begin(), lines.end(),
                                [&](const IndexLine& l) { return l.pcPath != BackupPcPath(folder, l.devicePath); }))
        return;
    const std::vector<DeviceEntry>& sent = m_transferList;
    std::map<std::string, IndexLine*> byPath;
    for (IndexLine& line : lines) byPath[Lower(line.devicePath)] = &line;
    std::vector<DeviceEntry> root;
    const bool onF = std::any_of(sent.begin(), sent.end(), [](const DeviceEntry& r) { return r.sName[0] == 'F'; });
    if (onF && ListFolder("\\", root) < 0) return;
    std::map<std::string, std::vector<DeviceEntry>> listings;  // lower-case folder: its entries, or none
    std::vector<std::pair<IndexLine*, DeviceEntry>> restored;
    ULONGLONG newest = 0;
    for (const DeviceEntry& row : sent) {
        const auto line = byPath.find(Lower(row.sName));
        const std::string deviceFolder = Parent(row.sName);
        if (row.nType != 0 || line == byPath.end() || IsNamesakeOfR(root, row.sName)) continue;
        const auto listed = listings.emplace(Lower(deviceFolder), std::vector<DeviceEntry>());
        if (listed.second && ListFolder(deviceFolder, listed.first->second) < 0) continue;
        for (const DeviceEntry& entry : listed.first->second) {
            SeeNewest(newest, entry);
            if (!IsFolderEntry(entry) && _stricmp(entry.sName.c_str(), LastComponent(row.sName).c_str()) == 0)
                restored.emplace_back(line->second, entry);
        }
    }
    for (const auto& file : restored) {
        file.first->kind = KindOf(file.second.stTime, newest);
        file.first->size = file.second.nSize;
        file.first->time = file.second.stTime;
    }
    if (restored.empty() || WriteBackupIndex(folder, lines)) return;
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
        if (ListFolder(deviceFolder, known.first->second) >= 0) return &known.first->second;
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
    bool current = false;
    ReadBackupIndex(folder, lines, &current);
    const std::string index = Join(folder, kBackupIndexName);
    for (const std::string& file : {index, index + ".bak"}) {
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
    }
    std::map<std::string, IndexLine> own = OwnLines(folder, lines, current);
    dropLeftFiles(folder, own, std::set<std::string>(), false);
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
        m_walkSeen.clear();
        m_walkNewest = 0;
    }
    // Walking a sub-folder replaces the listing: keep our own copy.
    std::vector<DeviceEntry> listing;
    int count = ListFolder(name ? name : "\\", listing);
    // Listed empty while the backup holds files of it: asked once more
    // before its copies move out of the backup.
    if (count == 0 && name && m_walkHeld.count(Lower(name))) count = ListFolder(name, listing);
    if (count < 0) return count;

    for (auto entry = listing.rbegin(); entry != listing.rend(); ++entry) {
        DeviceEntry row;
        row.sName = entry->sName;
        row.nSize = entry->nSize;
        row.stTime = entry->stTime;
        SeeNewest(m_walkNewest, *entry);
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
            if (!WalkInto(m_walkSeen, entry->sName.c_str())) return refuseWalk(entry->sName.c_str());
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
        if (line.kind == IndexLine::FOLDER) continue;
        DeviceEntry row;
        row.sName = line.devicePath;
        row.sPcName = line.pcPath;
        // A file the index names whose copy is gone is no success to keep quiet about.
        row.nType = PcFileSize(row.sPcName.c_str(), row.nSize) ? 1 : ERR_COPYMISSING;
        m_transferList.push_back(row);
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
        if (path == Join(base, kRemovedFolderName)) continue;
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

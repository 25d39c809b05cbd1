// Single-file operations on the note-taker: fetch and send go through the
// transfer job; delete, make folder and rename are one command each.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "devicefiles/DeviceName.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/PcName.h"
#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "foundation/DbgLog.h"
#include "resources/resource.h"

namespace {

constexpr size_t kMaxPath = MAX_PATH - 1;
constexpr int kDisplayText = 128;

// A folder without a drive is on R:, and a send always names a folder.
std::string DeviceFolder(const char* folder)
{
    std::string path = folder ? folder : "";
    if (path.find(':') == std::string::npos) path = "R:\\" + path;
    if (path.back() != '\\') path += '\\';
    return path;
}

}  // namespace

// The listing's size goes with the row: it stands in for a block 0 that has none.
HRESULT CNotetaker::FileGet(HWND hwnd, const char* pcPath, const char* devicePath, DWORD listedSize)
{
    if (!pcPath || !devicePath) return E_INVALIDARG;
    if (trace()) DbgPrint("CNotetaker::FileGet(%s -> %s)", devicePath, pcPath);
    DeviceEntry row;
    row.sName = devicePath;
    row.sPcName = pcPath;
    row.nSize = listedSize;
    return FilesGet(hwnd, {row});
}

HRESULT CNotetaker::FilesGet(HWND hwnd, const std::vector<DeviceEntry>& rows)
{
    m_transferList = rows;
    for (DeviceEntry& row : m_transferList) row.nType = 1;
    return transfer(hwnd, DCMD_RX);
}

// Each file's folder is listed (once for all of its files) just before the
// receive command: a file gone from it is said so without a transfer, and
// its size there is what must arrive.
HRESULT CNotetaker::FilesGetListed(HWND hwnd, const std::vector<DeviceEntry>& wanted, std::vector<int>& results)
{
    results.assign(wanted.size(), ERR_NOFILESENT);
    FolderListings listed;
    std::vector<DeviceEntry> rows;
    std::vector<size_t> rowOf;
    for (size_t i = 0; i < wanted.size(); ++i) {
        const std::string& path = wanted[i].sName;
        const size_t slash = path.rfind('\\');
        if (slash == std::string::npos) return ErrorHResult(setError(ERR_INVALIDPATH));
        int error = 0;
        const DeviceEntry* entry = FindListedFile(listed, path.substr(0, slash), path.substr(slash + 1), error);
        if (error < 0) return ErrorHResult(error);
        if (!entry) continue;
        rows.push_back(wanted[i]);
        rows.back().nSize = entry->nSize;
        rowOf.push_back(i);
    }
    if (rows.empty()) return ErrorHResult(setError(ERR_NOFILESENT));
    const HRESULT hr = FilesGet(hwnd, rows);
    for (size_t k = 0; k < rowOf.size(); ++k) results[rowOf[k]] = m_transferList.at(k).nType;
    if (hr == S_OK && rows.size() < wanted.size()) return ErrorHResult(setError(ERR_NOFILESENT));
    return hr;
}

int CNotetaker::TakenNames(const char* folder, std::vector<std::string>& names)
{
    names.clear();
    // A drive's own root is listed in the device's root, beside the other drive's folders.
    const bool driveRoot = folder && strlen(folder) <= 3 && folder[0] && folder[1] == ':';
    const int count = EnumFolder(driveRoot ? "\\" : folder);
    DeviceEntry entry;
    for (int i = 0; i < count; ++i) {
        if (GetEntry(static_cast<size_t>(i), entry) < 0) continue;
        if (driveRoot && _strnicmp(entry.sName.c_str(), folder, 2) != 0) continue;
        names.push_back(entry.sName.substr(entry.sName.find_last_of('\\') + 1));  // a folder's is its whole path
    }
    return count;
}

HRESULT CNotetaker::FilePut(HWND hwnd, const char* pcPath, const char* deviceFolder, DWORD)
{
    if (!pcPath) return E_INVALIDARG;
    const std::string folder = DeviceFolder(deviceFolder);
    if (trace()) DbgPrint("CNotetaker::FilePut(%s -> %s)", pcPath, folder.c_str());
    m_transferList.clear();
    // Refused, not cut: the file would land in another folder, or under a name that does not fit.
    std::string name;
    if (folder.size() + (DeviceFileName(pcPath, name) ? name.size() : 0) > kMaxPath)
        return ErrorHResult(setError(ERR_PATHTOOLONG));
    DeviceEntry row;
    if (!PcFileSize(pcPath, row.nSize)) return ErrorHResult(setError(ERR_SYSTEM));
    row.sName = folder;
    row.sPcName = pcPath;
    row.nType = 1;
    m_transferList.push_back(row);
    return transfer(hwnd, DCMD_TX);
}

HRESULT CNotetaker::FileDelete(const char* devicePath)
{
    if (!devicePath) return E_INVALIDARG;
    if (trace()) DbgPrint("CNotetaker::FileDelete(%s)", devicePath);
    DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_DELETING), devicePath);
    const int result = serialCmd(devicePath, DCMD_DELE, nullptr, 0);
    if (result == 0) DevicePrint(MAKEINTRESOURCEA(IDS_DEVICE_OK));
    return ErrorHResult(setError(result));
}

HRESULT CNotetaker::FolderCreate(const char* devicePath)
{
    if (!devicePath) return E_INVALIDARG;
    std::string path = devicePath;
    if (!path.empty() && path.back() == '\\') path.pop_back();
    if (path.size() > kMaxPath) return ErrorHResult(setError(ERR_PATHTOOLONG));
    if (trace()) DbgPrint("CNotetaker::FolderCreate(%s)", path.c_str());
    const int shared = refuseSharedName(path.c_str());
    if (shared < 0) return ErrorHResult(shared);
    return ErrorHResult(serialCmd(path.c_str(), DCMD_MKDIR, nullptr, 0));
}

HRESULT CNotetaker::Rename(const char* oldPath, const char* newPath, DWORD)
{
    if (!oldPath || !newPath) return E_INVALIDARG;
    const int shared = refuseSharedName(newPath);
    if (shared < 0) return ErrorHResult(shared);
    return ErrorHResult(serialCmd2(oldPath, newPath, DCMD_RENAME, nullptr, 0));
}

HRESULT CNotetaker::DevicePrint(const char* textOrId, ...)
{
    if (!textOrId) return E_INVALIDARG;
    // The firmware is known only once the device has been identified.
    const int opened = serialOpen(false);
    if (opened < 0) return ErrorHResult(opened);
    if (FirmwareVersion() < FW_VARDEN) return S_OK;

    char format[kDisplayText];
    if (IS_INTRESOURCE(textOrId))
        LoadResourceText(static_cast<UINT>(reinterpret_cast<uintptr_t>(textOrId)), format, sizeof format);
    else snprintf(format, sizeof format, "%s", textOrId);
    char text[kDisplayText];
    va_list args;
    va_start(args, textOrId);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return ErrorHResult(serialCmd(text, DCMD_PRINT, nullptr, 0));
}

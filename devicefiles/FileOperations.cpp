// Single-file operations on the note-taker: fetch and send go through the
// transfer job; delete, make folder and rename are one command each.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

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
    if (path.size() > kMaxPath) path.resize(kMaxPath);
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

HRESULT CNotetaker::FilePut(HWND hwnd, const char* pcPath, const char* deviceFolder, DWORD)
{
    if (!pcPath) return E_INVALIDARG;
    const std::string folder = DeviceFolder(deviceFolder);
    if (trace()) DbgPrint("CNotetaker::FilePut(%s -> %s)", pcPath, folder.c_str());
    m_transferList.clear();
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
    if (path.size() > kMaxPath) path.resize(kMaxPath);
    if (!path.empty() && path.back() == '\\') path.pop_back();
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

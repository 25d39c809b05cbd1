#include "foundation/CReg.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/DbgLog.h"
#include "foundation/Registry.h"
#include "foundation/ScopedHandle.h"
#include "foundation/SerialPorts.h"

namespace {

constexpr int kHighestPort = 256;
const DWORD kDefaultColumnWidths[CReg::kColumns] = {200, 75, 100, 300};
const char* const kDefaultMasks[] = {"*.txt", "*.crv", "*.doc"};
constexpr DWORD kDesktopIniAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

CReg* g_settings = nullptr;

// "My Documents\Pellor\" followed by `tail`, into a MAX_PATH buffer.
bool ProductPath(const char* tail, char* path)
{
    path[0] = '\0';
    char docs[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, docs)) || !docs[0]) return false;
    const char* separator = docs[strlen(docs) - 1] == '\\' ? "" : "\\";
    const int n = snprintf(path, MAX_PATH, "%s%sPellor\\%s", docs, separator, tail);
    if (n < 0 || n >= MAX_PATH) {
        path[0] = '\0';
        return false;
    }
    return true;
}

void DesktopIniText(REFCLSID clsid, char* text, size_t size)
{
    snprintf(text, size,
             "[.ShellClassInfo]\n"
             "CLSID2={%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}\n"
             "ConfirmFileOp=1\n"
             "NoSharing=1\n"
             "InfoTip=Gives you access to the files on your note taker.",
             static_cast<unsigned long>(clsid.Data1), clsid.Data2, clsid.Data3, clsid.Data4[0], clsid.Data4[1],
             clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5], clsid.Data4[6], clsid.Data4[7]);
}

// A read-only file can be neither replaced nor deleted until its attributes are cleared.
bool DeleteAnyFile(const char* path) { return SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) && DeleteFileA(path); }

bool MakeSystemFolder(const char* folder) { return PathIsSystemFolderA(folder, 0) || PathMakeSystemFolderA(folder); }

}  // namespace

CReg::CReg(bool persistent, REFCLSID folderClsid)
    : m_bPersistent(persistent),
      m_szPort(),
      m_dwColumnWidths(),
      m_dwDebugFlags(0),
      m_dwTimeout(0),
      m_dwRetries(0),
      m_dwTransferRetries(0),
      m_dwTransferIntegrity(0),
      m_szBackupPath(),
      m_szLogFile(),
      m_dwLogSize(0),
      m_dwMaskCount(0),
      m_folderClsid(folderClsid)
{
    getDefaultBackupPath(m_szBackupPath);
    if (m_bPersistent) load();
}

CReg::~CReg()
{
    if (m_bPersistent) save();
}

void CReg::load()
{
    ReadRegBinary(kKey, "Persistent", m_dwColumnWidths, sizeof m_dwColumnWidths, kDefaultColumnWidths);
    if (!ReadRegTextFrom(HKEY_CURRENT_USER, kKey, "Backup Path", m_szBackupPath, sizeof m_szBackupPath))
        getDefaultBackupPath(m_szBackupPath);
    ReadRegText(kKey, "Log", m_szLogFile, sizeof m_szLogFile, "");
    m_dwLogSize = ReadRegDword(kKey, "Log Size", 512);
    m_dwDebugFlags = ReadRegDword(kKey, "Debug Flags", 0);
    ReadDeviceValues(m_szPort, m_dwTimeout, m_dwRetries, m_dwTransferRetries);
    m_dwTransferIntegrity = ReadRegDword(kKey, "Transfer Integrity", 0);
    if (!ReadRegMultiText(HKEY_CURRENT_USER, kKey, "Masks", m_masks))
        m_masks.assign(std::begin(kDefaultMasks), std::end(kDefaultMasks));
    m_dwMaskCount = ReadRegDword(kKey, "Mask Count", 9);
}

bool CReg::save()
{
    const HKEY root = HKEY_CURRENT_USER;
    bool ok = WriteRegBinary(root, kKey, "Persistent", m_dwColumnWidths, sizeof m_dwColumnWidths);
    ok &= WriteRegMultiText(root, kKey, "Masks", m_masks);
    ok &= WriteRegText(root, kKey, "Backup Path", m_szBackupPath);
    ok &= WriteRegText(root, kKey, "Port", m_szPort);
    ok &= WriteRegText(root, kKey, "Log", m_szLogFile);
    ok &= WriteRegDword(root, kKey, "Log Size", m_dwLogSize);
    ok &= WriteRegDword(root, kKey, "Debug Flags", m_dwDebugFlags);
    ok &= WriteRegDword(root, kKey, "Timeout", m_dwTimeout);
    ok &= WriteRegDword(root, kKey, "Retries", m_dwRetries);
    ok &= WriteRegDword(root, kKey, "Transfer Retries", m_dwTransferRetries);
    ok &= WriteRegDword(root, kKey, "Transfer Integrity", m_dwTransferIntegrity);
    if (!ok) return false;
    // The log takes a changed file, flags or limit only when it is opened.
    DbgClose();
    DbgOpen(m_dwDebugFlags, m_szLogFile, m_dwLogSize * 1024);
    return true;
}

void CReg::ReadDeviceValues(char (&port)[32], DWORD& timeout, DWORD& retries, DWORD& transferRetries)
{
    ReadRegText(kKey, "Port", port, sizeof port, "COM");
    timeout = ReadRegDword(kKey, "Timeout", 3000);
    retries = ReadRegDword(kKey, "Retries", 5);
    transferRetries = ReadRegDword(kKey, "Transfer Retries", 3);
}

int CReg::getPortIndex() const { return PortIndexOf(m_szPort); }

// A PC of today names its ports far beyond COM4 (a USB adapter, a Bluetooth
// link): every port Windows can number is a port the user may choose.
int CReg::PortIndexOf(const char* port) { return PortNumber(port) - 1; }

bool CReg::setPortIndex(int index)
{
    if (index >= 0 && index < kHighestPort) snprintf(m_szPort, sizeof m_szPort, "COM%d", index + 1);
    else strcpy(m_szPort, "COM");
    return true;
}

bool CReg::ReadLastPort(int& portIndex, DWORD& baud)
{
    char port[32];
    ReadRegTextFrom(HKEY_CURRENT_USER, kKey, "Last Port", port, sizeof port);
    portIndex = PortIndexOf(port);
    baud = portIndex < 0 ? 0 : ReadRegDword(kKey, "Last Baud", 0);
    if (baud == 0) portIndex = -1;
    return portIndex >= 0;
}

void CReg::WriteLastPort(int portIndex, DWORD baud)
{
    char port[32];
    snprintf(port, sizeof port, "COM%d", portIndex + 1);
    WriteRegText(HKEY_CURRENT_USER, kKey, "Last Port", port);
    WriteRegDword(HKEY_CURRENT_USER, kKey, "Last Baud", baud);
}

void CReg::rememberMask(const char* mask)
{
    size_t at = 0;
    while (at < m_masks.size() && lstrcmpiA(m_masks[at].c_str(), mask) != 0) ++at;
    if (at == 0 && !m_masks.empty()) return;
    if (at < m_masks.size()) {
        m_masks.erase(m_masks.begin() + at);
        m_masks.insert(m_masks.begin(), mask);
        return;
    }
    m_masks.insert(m_masks.begin(), mask);
    if (m_dwMaskCount != 0 && m_masks.size() > m_dwMaskCount) m_masks.pop_back();
}

bool CReg::createDesktopIni(const char* path) const
{
    DbgPrint("CReg::createDesktopIni(%s)", path);
    char text[1024];
    DesktopIniText(m_folderClsid, text, sizeof text);
    // Replaced in place, a read-only file refuses and another one may keep its
    // old attributes; a new file takes the ones given.
    DeleteAnyFile(path);
    ScopedKernelHandle file(
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, kDesktopIniAttributes, nullptr));
    if (!file.valid()) return false;
    const DWORD length = static_cast<DWORD>(strlen(text));
    DWORD written = 0;
    const bool ok = WriteFile(file.get(), text, length, &written, nullptr) && written == length;
    file.reset();
    if (!ok) DeleteAnyFile(path);
    return ok;
}

bool CReg::isUnderMyDocs(const char* desktopIni) const
{
    char own[MAX_PATH];
    if (!desktopIni) {
        if (!ProductPath("desktop.ini", own)) return false;
        desktopIni = own;
    }
    const DWORD attributes = GetFileAttributesA(desktopIni);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (kDesktopIniAttributes | FILE_ATTRIBUTE_DIRECTORY)) == kDesktopIniAttributes;
}

bool CReg::SetUnderMyDocs(bool show) const
{
    DbgPrint("CReg::SetUnderMyDocs(%s)", show ? "TRUE" : "FALSE");
    char folder[MAX_PATH], file[MAX_PATH];
    if (!ProductPath("", folder) || !ProductPath("desktop.ini", file)) return false;

    if (!show) {
        if (GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES && !DeleteAnyFile(file)) return false;
        // A folder that still holds files (the backups) stays, as a plain one.
        if (PathIsDirectoryA(folder)) {
            PathUnmakeSystemFolderA(folder);
            if (PathIsDirectoryEmptyA(folder)) RemoveDirectoryA(folder);
        }
        return true;
    }
    if (isUnderMyDocs(file)) return true;
    if (PathIsDirectoryA(folder)) {
        if (!MakeSystemFolder(folder)) return false;
    } else if (!CreateDirectoryA(folder, nullptr) || !PathMakeSystemFolderA(folder)) {
        return false;
    }
    return createDesktopIni(file);
}

bool CReg::getDefaultBackupPath(char* path) { return ProductPath("Backup\\", path); }

CReg* Settings() { return g_settings; }

bool CreateSettings(REFCLSID folderClsid)
{
    g_settings = new (std::nothrow) CReg(true, folderClsid);
    return g_settings != nullptr;
}

void DestroySettings()
{
    delete g_settings;
    g_settings = nullptr;
}

#pragma once
// The user's settings, kept under "Software\Vostrel\Pellor": read from the
// current user's hive, else the machine-wide one, else a built-in default;
// always written to the current user's hive. The members are plain values
// that their readers use directly. The same class shows the product folder
// under "My Documents" as the device folder.
#include <windows.h>

#include <string>
#include <vector>

class CReg {
public:
    static constexpr const char* kKey = "Software\\Vostrel\\Pellor";
    static constexpr int kColumns = 4;  // Name, Size, Type, Modified

    // folderClsid is the extension's class id, written into "desktop.ini".
    CReg(bool persistent, REFCLSID folderClsid);
    ~CReg();
    CReg(const CReg&) = delete;
    CReg& operator=(const CReg&) = delete;

    void load();
    // Writes everything but "Mask Count"; on success the log is reopened with the saved values.
    bool save();

    int getPortIndex() const;      // -1 automatic detection, 0 to 255 for COM1 to COM256
    bool setPortIndex(int index);  // any index but 0 to 255 selects automatic detection
    // "Port", "Timeout", "Retries" and "Transfer Retries" as the registry holds them now.
    static void ReadDeviceValues(char (&port)[32], DWORD& timeout, DWORD& retries, DWORD& transferRetries);
    // The index a port text stands for: the number less one for COM1 to COM256, else -1.
    static int PortIndexOf(const char* port);

    // Where the note-taker last answered: written straight to the registry
    // by whoever found it, never by save, so that a settings object loaded
    // earlier cannot put back an older one. False (and -1, 0) when none is known.
    static bool ReadLastPort(int& portIndex, DWORD& baud);
    static void WriteLastPort(int portIndex, DWORD baud);
    // Puts the mask first in the history, dropping the oldest beyond the mask count.
    void rememberMask(const char* mask);

    bool createDesktopIni(const char* path) const;
    // With no path: the product folder's "desktop.ini" under "My Documents".
    bool isUnderMyDocs(const char* desktopIni = nullptr) const;
    bool SetUnderMyDocs(bool show) const;
    // "My Documents\Pellor\Backup\" into a buffer of MAX_PATH; false (and empty) without "My Documents".
    static bool getDefaultBackupPath(char* path);

    bool m_bPersistent;
    char m_szPort[32];
    DWORD m_dwColumnWidths[kColumns];
    DWORD m_dwDebugFlags;
    DWORD m_dwTimeout;
    DWORD m_dwRetries;
    DWORD m_dwTransferRetries;
    DWORD m_dwTransferIntegrity;
    char m_szBackupPath[MAX_PATH];
    char m_szLogFile[MAX_PATH];
    DWORD m_dwLogSize;                 // KB
    std::vector<std::string> m_masks;  // most recently used first
    DWORD m_dwMaskCount;               // most masks kept; 0 keeps all

private:
    CLSID m_folderClsid;
};

// The process-wide settings: made (and loaded) when the module attaches,
// destroyed (and so saved) when it detaches.
CReg* Settings();
bool CreateSettings(REFCLSID folderClsid);  // false when memory is short
void DestroySettings();

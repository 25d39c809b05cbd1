#pragma once
// The note-taker object: the serial port and YModem engine below it, the
// device's command channel, identification and port detection on top, and
// the current folder listing. Operations return a result code (0 or a count,
// negative on failure) and record it as the object's last result.
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "devicefiles/DeviceEntry.h"
#include "devicefiles/TransferJob.h"
#include "devicelink/CYModem.h"
#include "foundation/ModuleLock.h"
#include "foundation/SerialPorts.h"

struct IndexLine;  // a line of the backup index: only the backup code reads one
// What a restore would do to the device's files, for its question.
struct RestoreCounts {
    int replaced = 0;  // on the device now (or nobody can tell)
    int remade = 0;    // not on the device now
};

class CNotetaker : public CYModem {
public:
    enum DeviceCommand {
        DCMD_IDENT = 0,
        DCMD_IDENT2,
        DCMD_ENUM,
        DCMD_TX,
        DCMD_RX,
        DCMD_DELE,
        DCMD_PRINT,
        DCMD_MKDIR,
        DCMD_RENAME,
        DCMD_CRC16,
        DCMD_LAST = DCMD_CRC16,
    };

    // Letters of the listing exchange, sent alone.
    enum EnumLetter { ENUM_NEXT = 0, ENUM_AGAIN, ENUM_STOP, ENUM_NUL, ENUM_LAST = ENUM_NUL };

    enum NotetakerError {
        ERR_RESPONSE = -115,
        ERR_TALOLOCKED = -116,
        ERR_LOCKED = -117,
        ERR_UNKNOWN = -118,
        ERR_MKDIR = -119,
        ERR_INVALIDPATH = -120,
        ERR_INVALIDINDEXFILE = -121,
        ERR_UNSUPPORTED = -122,
        ERR_BUSY = -123,  // another request's long job has the device
        // A drive-less path names a folder of R: and one of F: alike: the F:
        // folder cannot be read, and no folder is made or renamed to match.
        ERR_NAMESAKE = -124,
        ERR_NAMETAKEN = -125,
        ERR_COPYMISSING = -126,  // a file the backup's index names has no copy in the backup folder
        ERR_NOANSWER = -127,     // the ports detection tried were silent; which ones, GetErrorText says
        // A walk into the folders below a folder met that folder again, or
        // went too deep: the device lists it inside itself.
        ERR_FOLDERLOOP = -128,
        // A device path longer than the device takes (259 characters): refused, never cut to another path.
        ERR_PATHTOOLONG = -142,
    };

    enum Firmware : WORD { FW_LEGACY = 0x0100, FW_VARDEN = 0x0101, FW_RENAME = 0x0102 };

    static constexpr int kModelCount = 11;
    static constexpr size_t kModelNameSize = 11;  // ten characters and the NUL

    CNotetaker(int port, DWORD replyTimeout, DWORD commandRetries, DWORD transferRetries);
    ~CNotetaker();

    int setError(int code);

    // Command channel.
    int serialOpen(bool hardware);
    int serialClose();
    int serialWrite(const void* buffer, int length);
    int serialRead(void* buffer, int length, DWORD timeout);
    int serialCmd(const char* argument, int command, void* reply, int replyLength);
    int serialCmd2(const char* path1, const char* path2, int command, void* reply, int replyLength);
    int serialEnumCmd(int letter, void* reply, int replyLength);

    // Identification and port detection.
    DWORD GetDeviceType();
    HRESULT GetDeviceName(char* buffer, int size);
    int serialDetectBaud();
    int serialDetect();
    bool isTALO();

    // Folder listing.
    int EnumFolder(const char* path);
    int GetEntry(size_t index, DeviceEntry& out);
    // The entries of a device folder; the count, or the listing's error.
    int ListFolder(const std::string& path, std::vector<DeviceEntry>& entries);
    // Device folders by path, each listed once, for lookups in several of them.
    using FolderListings = std::map<std::string, std::vector<DeviceEntry>>;
    // The file `name` as the listing of `folder` gives it, the folder listed
    // into `listed` the first time; nullptr when it is not there, or when the
    // listing failed (then `error` holds why).
    const DeviceEntry* FindListedFile(FolderListings& listed, const std::string& folder, const std::string& name,
                                      int& error);
    // The names the last listing left out (empty, ".", "..", with a path
    // separator or a control character), as the log shows them.
    const std::vector<std::string>& LeftOutNames() const { return m_leftOut; }
    // Ends a walk of the folders below folders at `folder`: ERR_FOLDERLOOP, its words naming it.
    int refuseWalk(const char* folder);
    // ERR_NAMESAKE for a path below an F: folder named like one of R:, else 0.
    int refuseNamesake(const char* path);
    // ERR_NAMETAKEN when a folder at `path` would share its name with one of the other drive.
    int refuseSharedName(const char* path);
    // A flag that, once set by another thread, ends the listing under way
    // with ERR_ABORTED; null for none.
    void SetListingCancel(const volatile LONG* flag) { m_listingCancel = flag; }

    // Transfer job: every row of the transfer list, on this thread, behind a
    // progress dialog on the asking window's thread when there is one.
    HRESULT transfer(HWND hwnd, int mode);
    int ShowErrorFiles(HWND hwnd);
    static INT_PTR CALLBACK _progressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    std::vector<DeviceEntry>& TransferList() { return m_transferList; }
    // After a job the user cancelled: the CAN exchange it owes the device, and the port closed.
    void EndOwedCancel();
    void SetProgressObserver(void (*observer)(const char* line)) { m_job.observer = observer; }

    // Single-file operations.
    HRESULT FileGet(HWND hwnd, const char* pcPath, const char* devicePath, DWORD listedSize);
    // Several files in one job behind one progress window: each row's sName
    // the device path, sPcName the PC file, nSize the listed size. Each
    // row's result (0 fetched, else its code) stays in the transfer list.
    HRESULT FilesGet(HWND hwnd, const std::vector<DeviceEntry>& rows);
    // FilesGet with the sizes that the files' folders, each listed first,
    // give them; a file its folder does not list is not asked for. Each
    // row's result (0 fetched, else its code) goes into `results`.
    HRESULT FilesGetListed(HWND hwnd, const std::vector<DeviceEntry>& rows, std::vector<int>& results);
    HRESULT FilePut(HWND hwnd, const char* pcPath, const char* deviceFolder, DWORD reserved);
    // Lists `folder` into the names a file sent there could replace; the count, or a failure.
    int TakenNames(const char* folder, std::vector<std::string>& names);
    HRESULT FileDelete(const char* devicePath);
    HRESULT FolderCreate(const char* devicePath);
    HRESULT Rename(const char* oldPath, const char* newPath, DWORD reserved);
    // A string-table id (MAKEINTRESOURCEA) or a text, formatted with the rest.
    HRESULT DevicePrint(const char* textOrId, ...);

    // Backup and restore.
    HRESULT Backup(HWND hwnd, const char* folder);
    HRESULT Restore(HWND hwnd, const char* folder);
    int BackupRemove(const char* folder);
    // PC folders only: any thread may ask.
    static bool _isBackupPath(const char* folder, bool top);
    static int _isRestorePath(const char* folder, bool top);
    int getFileNames(const char* base, const char* name, bool fromPc);

    // Result words.
    char* GetErrorText(char* buffer, int size, int code);
    std::string GetErrorString(int code);

    // The transfer job identifies the device afresh after a failed file and after the job.
    void ForgetDeviceType() { m_dwModel = 0; }
    // The next opening looks for the device on every port and rate again.
    void ForgetDetection() { m_bDetected = false; }
    // The next opening detects again even if the last detection failed just now (a port has arrived).
    void ForgetDetectionFailure() { m_bFailureHeld = false; }
    bool DetectionFailureHeld() const { return m_bFailureHeld; }
    WORD FirmwareVersion() const { return m_wFirmware; }
    DWORD ReplyTimeout() const { return m_dwTimeout; }
    DWORD CommandRetries() const { return m_dwRetries; }
    DWORD TransferRetries() const { return m_dwTransferRetries; }
    bool Detected() const { return m_bDetected; }
    // The model name identified, without asking the device; "" when none is.
    const char* KnownDeviceName() const { return m_dwModel ? m_szModel : ""; }

    // "CNotetaker::DCMD_IDENT", or "Unknown DEVICECOMMAND=0x%X (%d)" in `buffer`.
    static const char* CommandName(int command, char (&buffer)[64]);
    // "CNotetaker::ERR_RESPONSE", or "Unknown NOTETAKERERROR=0x%X (%d)" in `buffer`.
    static const char* ErrorName(int code, char (&buffer)[64]);

protected:
    std::vector<DeviceEntry> m_listing;
    std::vector<DeviceEntry> m_transferList;
    std::vector<DeviceEntry> m_root;  // the last root listing, for namesake folders
    std::vector<std::string> m_leftOut;
    char m_szWalkStop[MAX_PATH] = {};  // the folder a walk stopped at, for ERR_FOLDERLOOP's words
    bool m_bRootKnown = false;

private:
    bool trace() const;
    int sendCommand(int command, const char* framed, int framedLength);
    int awaitByte(DWORD timeout);
    int statusReply();
    int readReply(int command, void* reply, int replyLength, bool twoPaths);
    int repeatLoop(int command, const char* framed, int framedLength, void* reply, int replyLength, bool twoPaths);
    void loadModelName(DWORD model);
    void lineFailureText(char* buffer, int size);
    void readIdent2Record();
    HRESULT showProgress(HWND owner);
    HRESULT runProgressDialog(HWND owner);
    void startJob(HWND dialog);
    void watchWorker(HWND dialog);
    int runTransferList();
    int transferRows();
    int transferRow(DeviceEntry& row, ProgressLines& lines);
    int startRow(const DeviceEntry& row);
    int progressStep(ProgressLines& lines);
    void dropRepeatedRows();
    HRESULT updateBackup(HWND hwnd, const std::string& folder, std::map<std::string, IndexLine> kept, bool& complete);
    HRESULT fetchIntoBackup(HWND hwnd, const std::string& folder, std::map<std::string, IndexLine>& kept);
    void dropLeftFiles(const std::string& folder, std::map<std::string, IndexLine>& kept,
                       const std::set<std::string>& seen, bool moveAside);
    void recordRestoredTimes(HWND hwnd, const std::string& folder, std::vector<IndexLine>& lines, bool current);
    RestoreCounts countRestoredFiles(const std::vector<IndexLine>& lines, std::vector<std::string>& missing);
    int rowsFromDevice(const char* base, const char* name);
    int rowsFromPc(const char* base, const char* name);
    int rowsFromIndex(const char* base);
    int rowsFromLayout(const char* base, const std::string& folder);
    int knowRoot(bool fresh);
    void leaveOut(const std::string& folder, const std::string& name);
    int reportOpenFailure(int result);
    int detectOn(int portIndex, const std::vector<DWORD>& rates);
    bool cancelled() const { return m_listingCancel && *m_listingCancel; }
    int closeUndetected(int detected);
    int restoreError(int code, DWORD winError);

    ModuleLockHolder m_lock;
    DWORD m_dwTimeout;
    DWORD m_dwRetries;
    DWORD m_dwTransferRetries;
    bool m_bAutoPort;
    bool m_bDetected = false;
    // A failed detection answers every opening for a short while: the
    // requests queued behind it would each repeat the whole search.
    bool m_bFailureHeld = false;
    DWORD m_dwFailedAt = 0;
    int m_nFailedCode = 0;
    DWORD m_dwFailedWinError = 0;
    std::vector<int> m_silentPorts;  // numbers of the ports where the last detection found no note-taker
    DWORD m_dwModel = 0;
    char m_szModel[kModelNameSize] = {};
    WORD m_wFirmware = FW_LEGACY;
    TransferJob m_job;
    const volatile LONG* m_listingCancel = nullptr;
    // The last walk of the device: the folders it went through, the newest device minute it saw.
    std::vector<DeviceEntry> m_walkFolders;
    std::set<std::string> m_walkSeen;  // the same, as sent to the device
    ULONGLONG m_walkNewest = 0;
    // The lower-case device folders that hold what the updated backup's index names.
    std::set<std::string> m_walkHeld;
};

// One port detection looks on, with the rates to try there in order.
struct DetectionStep {
    int portIndex;
    std::vector<DWORD> rates;
};
// Where the note-taker is looked for: a fixed port (configured >= 0) alone;
// else the port it last answered on, then the other present wired ports, then
// the Bluetooth ones. The last rate goes first on the last port.
std::vector<DetectionStep> DetectionOrder(const std::vector<SerialPort>& present, int configured, int lastPort,
                                          DWORD lastBaud);
// "COM5, COM7 or COM12", by number.
std::string PortNames(std::vector<int> numbers);

// The settings a note-taker object is made with.
struct NotetakerSettings {
    int portIndex;  // negative: find the port
    DWORD timeout;
    DWORD retries;
    DWORD transferRetries;
    bool operator==(const NotetakerSettings& o) const
    {
        return portIndex == o.portIndex && timeout == o.timeout && retries == o.retries &&
               transferRetries == o.transferRetries;
    }
};
// As the registry holds them now: the settings sheet may have saved others
// since, in this process or another.
NotetakerSettings CurrentNotetakerSettings();

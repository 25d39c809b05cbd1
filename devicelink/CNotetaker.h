#pragma once
// The note-taker object: the serial port and YModem engine below it, the
// device's command channel, identification and port detection on top, and
// the current folder listing. Operations return a result code (0 or a count,
// negative on failure) and record it as the object's last result.
#include <windows.h>

#include <string>
#include <vector>

#include "devicefiles/DeviceEntry.h"
#include "devicelink/CYModem.h"
#include "foundation/ModuleLock.h"

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

    // Result words.
    char* GetErrorText(char* buffer, int size, int code);
    std::string GetErrorString(int code);

    // The transfer job identifies the device afresh after every file.
    void ForgetDeviceType() { m_dwModel = 0; }
    WORD FirmwareVersion() const { return m_wFirmware; }
    DWORD ReplyTimeout() const { return m_dwTimeout; }
    DWORD CommandRetries() const { return m_dwRetries; }
    DWORD TransferRetries() const { return m_dwTransferRetries; }
    bool Detected() const { return m_bDetected; }

    // "CNotetaker::DCMD_IDENT", or "Unknown DEVICECOMMAND=0x%X (%d)" in `buffer`.
    static const char* CommandName(int command, char (&buffer)[64]);
    // "CNotetaker::ERR_RESPONSE", or "Unknown NOTETAKERERROR=0x%X (%d)" in `buffer`.
    static const char* ErrorName(int code, char (&buffer)[64]);

protected:
    std::vector<DeviceEntry> m_listing;
    std::vector<DeviceEntry> m_transferList;

private:
    bool trace() const;
    int sendCommand(int command, const char* framed, int framedLength);
    int awaitByte(DWORD timeout);
    int statusReply(int command);
    int repeatLoop(int command, const char* framed, int framedLength, void* reply, int replyLength, bool twoPaths);
    void loadModelName(DWORD model);
    void readIdent2Record();
    int reportOpenFailure(int result);

    ModuleLockHolder m_lock;
    DWORD m_dwTimeout;
    DWORD m_dwRetries;
    DWORD m_dwTransferRetries;
    bool m_bAutoPort;
    bool m_bDetected = false;
    DWORD m_dwModel = 0;
    char m_szModel[kModelNameSize] = {};
    WORD m_wFirmware = FW_LEGACY;
};

// Asked when the port cannot be opened or the device does not answer: true
// to try again. Tests replace it so that no window comes up.
using RetryPrompt = bool (*)();
RetryPrompt SetRetryPrompt(RetryPrompt prompt);  // nullptr restores the message box

// The process's one note-taker object, shared by reference count.
struct NotetakerSettings {
    int portIndex;  // negative: find the port
    DWORD timeout;
    DWORD retries;
    DWORD transferRetries;
};
NotetakerSettings CurrentNotetakerSettings();
long AcquireNotetaker();
long ReleaseNotetaker();
CNotetaker* TheNotetaker();  // null while nobody holds a reference

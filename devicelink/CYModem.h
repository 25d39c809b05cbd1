#pragma once
// The YModem transfer engine over the serial port: one file at a time, PC to
// device (TxStart) or device to PC (RxStart), advanced by calling Process
// until it stops. Each call does one small step; where the step needs bytes
// that have not come, or a pause, the call first waits for them a little
// while (at most kWaitSliceMs), asleep on the port.
#include <list>

#include "devicelink/CComPort.h"
#include "foundation/ScopedHandle.h"

class CYModem : public CComPort {
public:
    enum YModemParam {
        PAR_STATE = 26,
        PAR_PACKET = 27,
        PAR_PACKETSIZE = 28,
        PAR_BYTESDONE = 29,
        PAR_FILESIZE = 30,
        PAR_NAKS = 33,
        PAR_TIMEOUT = 34,
        PAR_PADCHAR = 35,
        PAR_NCGTIMEOUT = 36,
        PAR_BURSTSIZE = 37,
        PAR_BURSTSLEEP = 38,
        PAR_YMODEM_FIRST = PAR_STATE,
        PAR_YMODEM_LAST = PAR_BURSTSLEEP,
    };

    enum YModemError {
        ERR_NOSTARTUPCHAR = -104,
        ERR_NOEOTACK = -105,
        ERR_INTERNAL = -106,
        ERR_CANCELLED = -107,
        ERR_OUTOFSYNC = -108,
        ERR_RETRIES = -109,
        ERR_BADPACKETNBR = -110,
        ERR_TIMEDOUT = -111,
        ERR_ABORTED = -112,
        ERR_SHORTPACKET = -113,
        ERR_FILETOOLARGE = -114,
        ERR_LASTNEXT = -115,
        ERR_NOFILESENT = -140,  // the batch closed with no file in it: the device has none of that name
        ERR_SHORTFILE = -141,   // the file ended short of the size its folder listed
    };

    enum YModemState {
        STATE_IDLE = 0,
        TX_START = 100,
        TX_WAIT4_NCG,
        TX_COMPUTE_PACKETS,
        TX_READ_DISK,
        TX_SEND_EOT,
        TX_WAIT4_EOT_ACK,
        TX_PREPARE_PACKET,
        TX_SEND_PACKET,
        TX_SEND_DATA,
        TX_SEND_CHECKSUM,
        TX_WAIT4_PACKET_ACK,
        TX_CHECK4_RESTART,
        TX_NEXT_PACKET,
        RX_START,
        RX_SEND_NCG,
        RX_WAIT4_INCOMING,
        RX_GET_PACKET,
        RX_PACKET_OK,
        RX_WAIT4_SOH_STX,
        RX_GET_DATA,
        RX_GET_PACKET_NBR,
        RX_GET_COMPLIMENT,
        RX_GET_CRC,
        RX_GET_2ND_CRC,
        RX_TEST_CRC,
    };

    enum ControlByte : BYTE {
        SOH = 0x01,
        STX = 0x02,
        ETX = 0x03,
        EOT = 0x04,
        ACK = 0x06,
        XON = 0x11,
        XOFF = 0x13,
        NAK = 0x15,
        CAN = 0x18,
        NCG_CRC = 0x43,  // "C": the receiver asks for CRC-16
    };

    static constexpr DWORD kBlockSize = 128;
    // The longest one Process call sleeps, so that a cancel pressed meanwhile is seen soon.
    static constexpr DWORD kWaitSliceMs = 100;
    static constexpr DWORD kEotWaitMs = 1000;
    static constexpr DWORD kLongBlockSize = 1024;

    explicit CYModem(int port);
    ~CYModem();

    // `name` is what block 0 calls the file; by default the last part of path.
    int TxStart(const char* path, const char* name = nullptr);
    // `listedSize` is the size the folder listing gave: it stands in for a
    // block 0 that carries none.
    static constexpr DWORD kNoListedSize = 0xFFFFFFFF;
    int RxStart(const char* path, DWORD listedSize = kNoListedSize);
    int Process();
    // The one call allowed from another thread while Process runs.
    void RequestCancel();
    // With `owe`, a cancel of the user's ends the transfer at once and the
    // CAN exchange that tells the device (a minute against a silent one) is
    // owed: run by PayCancel, once the waiting caller has its answer.
    void OweCancelExchange(bool owe) { m_bOweCancel = owe; }
    bool CancelOwed() const { return m_bCancelOwed; }
    void PayCancel();

    int GetParameter(int id);
    int SetParameter(int id, int value);
    int setError(int code);

    // Trace names; an unknown value is written into `buffer`.
    static const char* ParamName(int id, char (&buffer)[64]);
    static const char* ErrorName(int code, char (&buffer)[64]);
    static const char* StateName(int state, char (&buffer)[64]);
    static const char* ControlName(int byte, char (&buffer)[64]);

protected:
    struct PathEntry {
        char szPath[MAX_PATH];
        char szName[MAX_PATH];  // block 0's name when not empty
    };
    using FileList = std::list<PathEntry>;

    int putChar(BYTE byte);
    int getChar();
    int cancel(bool notify);
    bool exchangeCancel();
    void closeFile();

private:
    bool trace() const;
    bool elapsed(DWORD since, DWORD ms, DWORD now) const { return now - since > ms; }
    bool passed(DWORD when, DWORD now) const { return static_cast<LONG>(now - when) > 0; }
    void armDeadline(DWORD ms) { m_dwDeadline = TickNowNonZero(ms); }
    static DWORD TickNowNonZero(DWORD offsetMs);
    bool hasCurrentEntry() const { return m_itCurrent != m_files.end(); }
    int step();
    int waitForLine();
    DWORD bytesAwaited() const;
    DWORD silenceEnds() const;
    int runState();
    void addToCheck(const BYTE* data, DWORD count);
    bool crcMode() const { return m_byNcg == NCG_CRC; }

    // Sender states.
    int txStart();
    int txWait4Ncg();
    int txReadDisk();
    int txPreparePacket();
    int txSendPacket();
    int txSendData();
    int txSendChecksum();
    int txWait4PacketAck();
    int txCheck4Restart();
    int txNextPacket();
    int txSendEot();
    int txWait4EotAck();
    int txOpenFile();

    // Receiver states.
    int rxStart();
    int rxSendNcg();
    int rxWait4Incoming();
    int rxWait4SohStx();
    int rxGetPacketNbr();
    int rxGetCompliment();
    int rxGetData();
    int rxGetCrc();
    int rxGet2ndCrc();
    int rxTestCrc();
    int rxPacketOk();
    int rxBlock0();
    int rxRepeatedBlock();
    int rxOpenTarget();
    int rxCommitTarget();
    int rxAbandon(int code);
    int rxWriteBlock();
    void buildBlock0();

protected:
    int m_nTimeout = 2;
    BYTE m_byPad = 0x20;
    DWORD m_dwNcgTimeout = 60000;
    DWORD m_dwBurstSize = kLongBlockSize;
    DWORD m_dwBurstSleep = 0;
    DWORD m_dwFileSize = 0;
    DWORD m_dwBytesDone = 0;
    DWORD m_dwWaitStart = 0;
    DWORD m_dwNotBefore = 0;
    DWORD m_dwDeadline = 0;
    DWORD m_dwBytesSent = 0;
    ScopedKernelHandle m_hFile;
    char m_szPartPath[MAX_PATH] = {};  // the file being received, until it is whole
    DWORD m_dwListedSize = kNoListedSize;
    bool m_bReceiving = false;
    int m_nRetries = 0;
    int m_nRetryLimit = 0;
    DWORD m_dwNaks = 0;
    int m_nNextState = 0;
    int m_nState = STATE_IDLE;
    int m_nLastState = -1;
    WORD m_wRxCheck = 0;
    WORD m_wCheck = 0;
    bool m_bEndOfBatch = false;
    BYTE m_byNcg = NCG_CRC;
    DWORD m_dwRxBlockNbr = 0;
    int m_nPacket = 0;
    BYTE m_byHeader = SOH;
    DWORD m_dwPacketSize = kBlockSize;
    const BYTE* m_pSend = nullptr;
    BYTE m_block[kLongBlockSize];
    int m_nEnginePushBack = -1;
    volatile LONG m_bCancel = 0;
    volatile DWORD m_dwCancelDeadline = 0;
    bool m_bQuietCancel = false;
    bool m_bOweCancel = false;
    bool m_bCancelOwed = false;
    FileList m_files;
    FileList::iterator m_itCurrent;
    WORD m_crcTable[256];
};

#pragma once
// One RS-232 port: exclusive open, full configuration, non-blocking byte I/O,
// a wait for input on the port's own read time-out, and the port's own
// settings put back on close. Every operation records its
// result as the object's last result (0 or an error code).
#include <windows.h>
#include <cstdint>
#include <deque>

#include "devicelink/PortHandle.h"

class CComPort {
public:
    enum ComPortParam {
        PAR_PORT = 0,
        PAR_BAUDRATE,
        PAR_PARITY,
        PAR_STOPBITS,
        PAR_DATABITS,
        PAR_CTS,
        PAR_RTS,
        PAR_DSR,
        PAR_DTR,
        PAR_FLOWCONTROL,
        PAR_EOFCHAR,
        PAR_ERRORCHAR,
        PAR_EVENTCHAR,
        PAR_XONCHAR,
        PAR_XOFFCHAR,
        PAR_RXQUESIZE,
        PAR_TXQUESIZE,
        PAR_RXQUE,
        PAR_TXQUE,
        PAR_STATUS,
        PAR_RXTIMEOUT,
        PAR_RXTIMEOUTMULT,
        PAR_RXTIMEOUTCONST,
        PAR_TXTIMEOUTMULT,
        PAR_TXTIMEOUTCONST,
        PAR_COMPORT_LAST = PAR_TXTIMEOUTCONST,
    };

    enum ComPortError {
        ERR_NOTOPEN = -3,
        ERR_NODATA = -100,
        ERR_SYSTEM = -101,
        ERR_BADPARAM = -102,
        ERR_FLOWCONTROL = -103,
    };

    enum FlowControl { FLOW_NONE = 0, FLOW_XONXOFF = 1, FLOW_HARDWARE = 2 };

    CComPort(int port, DWORD baudRate, BYTE parity, BYTE stopBits, BYTE byteSize);
    ~CComPort();
    CComPort(const CComPort&) = delete;
    CComPort& operator=(const CComPort&) = delete;

    int Open();
    int Close();
    int GetParameter(int id);
    int SetParameter(int id, int value);
    int Puts(const void* buffer, int length);
    int Getc();
    int Gets(void* buffer, int length);
    // Blocks until `count` bytes can be read at once or `ms` have passed;
    // returns how many are ready. The bytes stay for Getc and Gets.
    int WaitForInput(int count, DWORD ms);
    int TxClear();
    int RxClear();
    int setError(int code);

    bool IsOpen() const { return m_hPort.valid(); }
    int LastResult() const { return m_nLastError; }
    DWORD WinError() const { return m_dwWinError; }
    // A call on the port failed since it was opened: the port went.
    bool LineFailed() const { return m_bLineFailed; }

    // "CComPort::PAR_PORT", or "Unknown COMPORTPARAM=0x%X (%d)" written into `buffer`.
    static const char* ParamName(int id, char (&buffer)[64]);

protected:
    int m_nPort;
    PortHandle m_hPort;
    DWORD m_dwRts = SETRTS;
    DWORD m_dwDtr = SETDTR;
    int m_nPushBack = -1;  // a byte read by a higher layer for the next reader, or -1
    DWORD m_dwRxQueue = 1024;
    DWORD m_dwTxQueue = 1024;
    DCB m_dcb;
    DCB m_dcbSaved;
    COMMTIMEOUTS m_toSaved;
    COMMTIMEOUTS m_to;
    int m_nLastError = 0;
    DWORD m_dwWinError = 0;

private:
    int lineFailed();
    int takeReadAhead(unsigned char* bytes, int length);
    bool useOwnTimeouts();
    int heldBytes() const { return (m_nPushBack >= 0 ? 1 : 0) + static_cast<int>(m_readAhead.size()); }

    int flowControl() const;
    void setFlowControl(int mode);
    void computeXonXoffLimits();
    int applyChange(int id);
    int assertLines();
    bool readQueue(COMSTAT& stat, DWORD& errors);
    bool trace() const;

    std::deque<unsigned char> m_readAhead;  // taken from the driver by a wait, not yet read
    bool m_bWaitTimeouts = false;           // a wait's read time-out is in force, not m_to
    bool m_bLineFailed = false;
};

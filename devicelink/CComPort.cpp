#include "devicelink/CComPort.h"

#include <algorithm>
#include <cstdio>

#include "devicelink/BoundedOpen.h"
#include "devicelink/ComApi.h"
#include "foundation/DbgLog.h"

namespace {

// The last negative code any port object has traced: polling loops record
// the same error over and over, and the log should show it once.
int g_lastLoggedError = 0;

const char* const kParamNames[] = {
    "CComPort::PAR_PORT",
    "CComPort::PAR_BAUDRATE",
    "CComPort::PAR_PARITY",
    "CComPort::PAR_STOPBITS",
    "CComPort::PAR_DATABITS",
    "CComPort::PAR_CTS",
    "CComPort::PAR_RTS",
    "CComPort::PAR_DSR",
    "CComPort::PAR_DTR",
    "CComPort::PAR_FLOWCONTROL",
    "CComPort::PAR_EOFCHAR",
    "CComPort::PAR_ERRORCHAR",
    "CComPort::PAR_EVENTCHAR",
    "CComPort::PAR_XONCHAR",
    "CComPort::PAR_XOFFCHAR",
    "CComPort::PAR_RXQUESIZE",
    "CComPort::PAR_TXQUESIZE",
    "CComPort::PAR_RXQUE",
    "CComPort::PAR_TXQUE",
    "CComPort::PAR_STATUS",
    "CComPort::PAR_RXTIMEOUT",
    "CComPort::PAR_RXTIMEOUTMULT",
    "CComPort::PAR_RXTIMEOUTCONST",
    "CComPort::PAR_TXTIMEOUTMULT",
    "CComPort::PAR_TXTIMEOUTCONST",
};
static_assert(sizeof kParamNames / sizeof kParamNames[0] == CComPort::PAR_COMPORT_LAST + 1, "name per parameter");

constexpr DWORD kReturnAtOnce = MAXDWORD;
// The most a wait takes from the driver at once; a longer wait goes on with
// the bytes it has.
constexpr DWORD kWaitChunk = 2048;

bool IsByte(int value) { return value >= 0 && value <= 255; }
int AsByte(char c) { return static_cast<unsigned char>(c); }

// Which part of the port a parameter lives in decides how a change is applied.
enum class ParamKind { Port, Config, Queue, Timeout, LineRequest, ReadOnly, Unknown };

ParamKind KindOf(int id)
{
    switch (id) {
    case CComPort::PAR_PORT: return ParamKind::Port;
    case CComPort::PAR_BAUDRATE:
    case CComPort::PAR_PARITY:
    case CComPort::PAR_STOPBITS:
    case CComPort::PAR_DATABITS:
    case CComPort::PAR_FLOWCONTROL:
    case CComPort::PAR_EOFCHAR:
    case CComPort::PAR_ERRORCHAR:
    case CComPort::PAR_EVENTCHAR:
    case CComPort::PAR_XONCHAR:
    case CComPort::PAR_XOFFCHAR: return ParamKind::Config;
    case CComPort::PAR_RXQUESIZE:
    case CComPort::PAR_TXQUESIZE: return ParamKind::Queue;
    case CComPort::PAR_RXTIMEOUT:
    case CComPort::PAR_RXTIMEOUTMULT:
    case CComPort::PAR_RXTIMEOUTCONST:
    case CComPort::PAR_TXTIMEOUTMULT:
    case CComPort::PAR_TXTIMEOUTCONST: return ParamKind::Timeout;
    case CComPort::PAR_RTS:
    case CComPort::PAR_DTR: return ParamKind::LineRequest;
    case CComPort::PAR_CTS:
    case CComPort::PAR_DSR:
    case CComPort::PAR_RXQUE:
    case CComPort::PAR_TXQUE:
    case CComPort::PAR_STATUS: return ParamKind::ReadOnly;
    default: return ParamKind::Unknown;
    }
}

bool ValidValue(int id, int value)
{
    switch (id) {
    case CComPort::PAR_PARITY: return value >= NOPARITY && value <= SPACEPARITY;
    case CComPort::PAR_STOPBITS: return value >= ONESTOPBIT && value <= TWOSTOPBITS;
    case CComPort::PAR_DATABITS: return value >= 4 && value <= 8;
    case CComPort::PAR_FLOWCONTROL: return value >= 0 && value <= 2;
    case CComPort::PAR_ERRORCHAR: return value == -1 || IsByte(value);
    case CComPort::PAR_EOFCHAR:
    case CComPort::PAR_EVENTCHAR:
    case CComPort::PAR_XONCHAR:
    case CComPort::PAR_XOFFCHAR: return IsByte(value);
    case CComPort::PAR_RXQUESIZE: return value != 0;
    case CComPort::PAR_TXQUESIZE: return value >= 1;
    default: return true;
    }
}

}  // namespace

const char* CComPort::ParamName(int id, char (&buffer)[64])
{
    if (id >= 0 && id <= PAR_COMPORT_LAST) return kParamNames[id];
    snprintf(buffer, sizeof buffer, "Unknown COMPORTPARAM=0x%X (%d)", static_cast<unsigned>(id), id);
    return buffer;
}

CComPort::CComPort(int port, DWORD baudRate, BYTE parity, BYTE stopBits, BYTE byteSize) : m_nPort(port)
{
    ZeroMemory(&m_dcb, sizeof m_dcb);
    m_dcb.DCBlength = sizeof(DCB);
    m_dcb.BaudRate = baudRate;
    m_dcb.Parity = parity;
    m_dcb.StopBits = stopBits;
    m_dcb.ByteSize = byteSize;
    m_dcb.fBinary = 1;
    m_dcb.fDtrControl = DTR_CONTROL_ENABLE;
    m_dcb.fTXContinueOnXoff = 1;
    m_dcb.fRtsControl = RTS_CONTROL_ENABLE;
    m_dcb.XonChar = 0x11;
    m_dcb.XoffChar = 0x13;
    m_dcbSaved = m_dcb;
    m_to = {kReturnAtOnce, 0, 0, 0, 0};
    m_toSaved = m_to;
    if (trace()) DbgPrint("CComPort::CComPort(COM%d)", m_nPort + 1);
}

CComPort::~CComPort()
{
    if (trace()) DbgPrint("CComPort::~CComPort");
    Close();
}

bool CComPort::trace() const { return DbgOn(DBG_COMPORT); }

int CComPort::setError(int code)
{
    m_nLastError = code > 0 ? 0 : code;
    m_dwWinError = code == ERR_SYSTEM ? GetLastError() : 0;
    if (code < 0 && code != g_lastLoggedError) {
        g_lastLoggedError = code;
        if (trace()) DbgPrint("CComPort::setError(%d), WinError = %d", code, static_cast<int>(m_dwWinError));
    }
    return code;
}

// A call on the open port failed: the port itself went (a USB adapter
// pulled out), not a file or a setting.
int CComPort::lineFailed()
{
    setError(ERR_SYSTEM);
    m_bLineFailed = true;
    return ERR_SYSTEM;
}

void CComPort::computeXonXoffLimits()
{
    const WORD limit = m_dwRxQueue > 512 ? 128 : static_cast<WORD>(m_dwRxQueue / 4);
    m_dcb.XonLim = limit;
    m_dcb.XoffLim = limit;
}

int CComPort::Open()
{
    if (IsOpen()) return m_nLastError;
    if (trace()) DbgPrint("CComPort::Open() : COM%d", m_nPort + 1);
    m_bLineFailed = false;

    char name[32];
    snprintf(name, sizeof name, "\\\\.\\COM%d", m_nPort + 1);
    IComApi& api = ComApi();
    m_hPort.reset(OpenPortWithin(name, kOpenLimitMs));
    if (!m_hPort.valid()) return setError(ERR_SYSTEM);

    if (!api.GetCommTimeouts(m_hPort.get(), &m_toSaved) || !api.GetCommState(m_hPort.get(), &m_dcbSaved))
        return setError(ERR_SYSTEM);
    computeXonXoffLimits();
    if (!api.SetCommState(m_hPort.get(), &m_dcb) || !api.SetupComm(m_hPort.get(), m_dwRxQueue, m_dwTxQueue) ||
        !api.EscapeCommFunction(m_hPort.get(), RESETDEV))
        return setError(ERR_SYSTEM);
    DWORD errors = 0;
    COMSTAT stat;
    api.ClearCommError(m_hPort.get(), &errors, &stat);
    m_bWaitTimeouts = false;
    if (!api.SetCommTimeouts(m_hPort.get(), &m_to)) return setError(ERR_SYSTEM);
    return setError(0);
}

int CComPort::Close()
{
    if (!IsOpen()) return setError(0);
    if (trace()) DbgPrint("CComPort::Close()");
    m_readAhead.clear();
    IComApi& api = ComApi();
    const bool restored = api.SetCommTimeouts(m_hPort.get(), &m_toSaved) && api.SetCommState(m_hPort.get(), &m_dcbSaved);
    // Kept for another try at putting the settings back, unless the port
    // went (its adapter pulled out): no call can use that handle again.
    if (!restored && !m_bLineFailed) return setError(ERR_SYSTEM);
    return setError(m_hPort.close() && restored ? 0 : ERR_SYSTEM);
}

int CComPort::flowControl() const
{
    if (!m_dcb.fOutxCtsFlow && m_dcb.fRtsControl == RTS_CONTROL_DISABLE) {
        if (!m_dcb.fOutX && !m_dcb.fInX) return FLOW_NONE;
        if (m_dcb.fOutX && m_dcb.fInX) return FLOW_XONXOFF;
    }
    if (m_dcb.fOutxCtsFlow && m_dcb.fRtsControl == RTS_CONTROL_HANDSHAKE && !m_dcb.fOutX && !m_dcb.fInX)
        return FLOW_HARDWARE;
    return ERR_FLOWCONTROL;
}

void CComPort::setFlowControl(int mode)
{
    m_dcb.fOutxCtsFlow = mode == FLOW_HARDWARE;
    m_dcb.fRtsControl = mode == FLOW_HARDWARE ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    m_dcb.fOutX = mode == FLOW_XONXOFF;
    m_dcb.fInX = mode == FLOW_XONXOFF;
    if (mode == FLOW_XONXOFF) computeXonXoffLimits();
}

bool CComPort::readQueue(COMSTAT& stat, DWORD& errors)
{
    errors = 0;
    ZeroMemory(&stat, sizeof stat);
    return ComApi().ClearCommError(m_hPort.get(), &errors, &stat) != FALSE;
}

int CComPort::GetParameter(int id)
{
    char unknown[64];
    if (trace()) DbgPrint("CComPort::GetParameter(%s)", ParamName(id, unknown));

    DWORD modem = 0, errors = 0;
    COMSTAT stat;
    int value = 0;
    switch (id) {
    case PAR_PORT: value = m_nPort; break;
    case PAR_BAUDRATE: value = static_cast<int>(m_dcb.BaudRate); break;
    case PAR_PARITY: value = m_dcb.Parity; break;
    case PAR_STOPBITS: value = m_dcb.StopBits; break;
    case PAR_DATABITS: value = m_dcb.ByteSize; break;
    case PAR_CTS:
    case PAR_DSR:
        if (!ComApi().GetCommModemStatus(m_hPort.get(), &modem)) return lineFailed();
        value = (modem & (id == PAR_CTS ? MS_CTS_ON : MS_DSR_ON)) ? 1 : 0;
        break;
    case PAR_RTS: value = m_dwRts == SETRTS; break;
    case PAR_DTR: value = m_dwDtr == SETDTR; break;
    case PAR_FLOWCONTROL:
        value = flowControl();
        if (value < 0) return setError(value);
        break;
    case PAR_EOFCHAR: value = AsByte(m_dcb.EofChar); break;
    case PAR_ERRORCHAR: value = AsByte(m_dcb.ErrorChar); break;
    case PAR_EVENTCHAR: value = AsByte(m_dcb.EvtChar); break;
    case PAR_XONCHAR: value = AsByte(m_dcb.XonChar); break;
    case PAR_XOFFCHAR: value = AsByte(m_dcb.XoffChar); break;
    case PAR_RXQUESIZE: value = static_cast<int>(m_dwRxQueue); break;
    case PAR_TXQUESIZE: value = static_cast<int>(m_dwTxQueue); break;
    case PAR_RXQUE:
    case PAR_TXQUE:
    case PAR_STATUS:
        if (!IsOpen()) return setError(ERR_NOTOPEN);
        if (!readQueue(stat, errors)) return lineFailed();
        value = static_cast<int>(id == PAR_RXQUE   ? stat.cbInQue + m_readAhead.size()
                                 : id == PAR_TXQUE ? stat.cbOutQue
                                                   : errors);
        break;
    case PAR_RXTIMEOUT: value = static_cast<int>(m_to.ReadIntervalTimeout); break;
    case PAR_RXTIMEOUTMULT: value = static_cast<int>(m_to.ReadTotalTimeoutMultiplier); break;
    case PAR_RXTIMEOUTCONST: value = static_cast<int>(m_to.ReadTotalTimeoutConstant); break;
    case PAR_TXTIMEOUTMULT: value = static_cast<int>(m_to.WriteTotalTimeoutMultiplier); break;
    case PAR_TXTIMEOUTCONST: value = static_cast<int>(m_to.WriteTotalTimeoutConstant); break;
    default: return setError(ERR_BADPARAM);
    }
    // A value is not a result: the time-outs can read as MAXDWORD, which must
    // not be taken for an error code.
    setError(0);
    return value;
}

int CComPort::SetParameter(int id, int value)
{
    char unknown[64];
    if (trace())
        DbgPrint("CComPort::SetParameter(%s, %d=0x%X)", ParamName(id, unknown), value, static_cast<unsigned>(value));

    const ParamKind kind = KindOf(id);
    if (kind == ParamKind::Unknown || kind == ParamKind::ReadOnly || !ValidValue(id, value))
        return setError(ERR_BADPARAM);

    bool changed = true;
    const DWORD u = static_cast<DWORD>(value);
    switch (id) {
    case PAR_PORT:
        changed = value != m_nPort;
        m_nPort = value;
        break;
    case PAR_BAUDRATE:
        changed = m_dcb.BaudRate != u;
        m_dcb.BaudRate = u;
        break;
    case PAR_PARITY:
        changed = m_dcb.Parity != u;
        m_dcb.Parity = static_cast<BYTE>(u);
        break;
    case PAR_STOPBITS:
        changed = m_dcb.StopBits != u;
        m_dcb.StopBits = static_cast<BYTE>(u);
        break;
    case PAR_DATABITS:
        changed = m_dcb.ByteSize != u;
        m_dcb.ByteSize = static_cast<BYTE>(u);
        break;
    case PAR_RTS:
        m_dwRts = value ? SETRTS : CLRRTS;
        changed = false;
        break;
    case PAR_DTR:
        m_dwDtr = value ? SETDTR : CLRDTR;
        changed = false;
        break;
    case PAR_FLOWCONTROL:
        changed = flowControl() != value;
        if (changed) setFlowControl(value);
        break;
    case PAR_EOFCHAR:
        changed = AsByte(m_dcb.EofChar) != value;
        m_dcb.EofChar = static_cast<char>(value);
        break;
    case PAR_ERRORCHAR:
        if (value < 0) {
            changed = m_dcb.fErrorChar != 0;
            m_dcb.fErrorChar = 0;
        } else {
            changed = !m_dcb.fErrorChar || AsByte(m_dcb.ErrorChar) != value;
            m_dcb.fErrorChar = 1;
            m_dcb.ErrorChar = static_cast<char>(value);
        }
        break;
    case PAR_EVENTCHAR:
        changed = AsByte(m_dcb.EvtChar) != value;
        m_dcb.EvtChar = static_cast<char>(value);
        break;
    case PAR_XONCHAR:
        changed = AsByte(m_dcb.XonChar) != value;
        m_dcb.XonChar = static_cast<char>(value);
        break;
    case PAR_XOFFCHAR:
        changed = AsByte(m_dcb.XoffChar) != value;
        m_dcb.XoffChar = static_cast<char>(value);
        break;
    case PAR_RXQUESIZE:
        changed = m_dwRxQueue != u;
        m_dwRxQueue = u;
        break;
    case PAR_TXQUESIZE:
        changed = m_dwTxQueue != u;
        m_dwTxQueue = u;
        break;
    case PAR_RXTIMEOUT:
        changed = m_to.ReadIntervalTimeout != u;
        m_to.ReadIntervalTimeout = u;
        break;
    case PAR_RXTIMEOUTMULT:
        changed = m_to.ReadTotalTimeoutMultiplier != u;
        m_to.ReadTotalTimeoutMultiplier = u;
        break;
    case PAR_RXTIMEOUTCONST:
        changed = m_to.ReadTotalTimeoutConstant != u;
        m_to.ReadTotalTimeoutConstant = u;
        break;
    case PAR_TXTIMEOUTMULT:
        changed = m_to.WriteTotalTimeoutMultiplier != u;
        m_to.WriteTotalTimeoutMultiplier = u;
        break;
    case PAR_TXTIMEOUTCONST:
        changed = m_to.WriteTotalTimeoutConstant != u;
        m_to.WriteTotalTimeoutConstant = u;
        break;
    }

    if (changed && IsOpen()) {
        const int applied = applyChange(id);
        if (applied < 0) return applied;
    }
    if (IsOpen() && flowControl() != FLOW_HARDWARE) {
        const int lines = assertLines();
        if (lines < 0) return lines;
    }
    return setError(0);
}

int CComPort::applyChange(int id)
{
    IComApi& api = ComApi();
    switch (KindOf(id)) {
    case ParamKind::Port: {
        const int closed = Close();
        if (closed < 0) return closed;
        return Open();
    }
    case ParamKind::Config: return api.SetCommState(m_hPort.get(), &m_dcb) ? 0 : setError(ERR_SYSTEM);
    case ParamKind::Queue: return api.SetupComm(m_hPort.get(), m_dwRxQueue, m_dwTxQueue) ? 0 : setError(ERR_SYSTEM);
    case ParamKind::Timeout:
        m_bWaitTimeouts = false;
        return api.SetCommTimeouts(m_hPort.get(), &m_to) ? 0 : setError(ERR_SYSTEM);
    default: return 0;
    }
}

int CComPort::assertLines()
{
    IComApi& api = ComApi();
    if (!api.EscapeCommFunction(m_hPort.get(), m_dwDtr) || !api.EscapeCommFunction(m_hPort.get(), m_dwRts))
        return setError(ERR_SYSTEM);
    return 0;
}

int CComPort::Puts(const void* buffer, int length)
{
    if (trace()) {
        DbgPrint("CComPort::Puts(0x%X, %d)", static_cast<unsigned>(reinterpret_cast<uintptr_t>(buffer)), length);
        if (IsOpen() && length > 0) DbgDump(buffer, static_cast<size_t>(length), -1);
    }
    if (!IsOpen()) return setError(ERR_NOTOPEN);
    DWORD written = 0;
    if (!ComApi().WriteFile(m_hPort.get(), buffer, static_cast<DWORD>(length), &written, nullptr))
        return lineFailed();
    return setError(static_cast<int>(written));
}

int CComPort::Getc()
{
    if (!IsOpen()) return setError(ERR_NOTOPEN);
    if (m_nPushBack >= 0) {
        const int byte = m_nPushBack;
        m_nPushBack = -1;
        return setError(byte);
    }
    unsigned char byte = 0;
    if (takeReadAhead(&byte, 1)) return setError(byte);
    DWORD errors = 0;
    COMSTAT stat;
    if (!readQueue(stat, errors)) return lineFailed();
    if (stat.cbInQue == 0) return setError(ERR_NODATA);
    DWORD got = 0;
    if (!ComApi().ReadFile(m_hPort.get(), &byte, 1, &got, nullptr)) return lineFailed();
    return setError(got ? static_cast<int>(byte) : static_cast<int>(ERR_NODATA));
}

int CComPort::Gets(void* buffer, int length)
{
    if (!IsOpen()) return setError(ERR_NOTOPEN);
    if (length <= 0) return setError(0);
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    int count = 0;
    if (m_nPushBack >= 0) {
        bytes[count++] = static_cast<unsigned char>(m_nPushBack);
        m_nPushBack = -1;
    }
    count += takeReadAhead(bytes + count, length - count);
    DWORD got = 0;
    if (length > count && (!useOwnTimeouts() || !ComApi().ReadFile(m_hPort.get(), bytes + count,
                                                                   static_cast<DWORD>(length - count), &got, nullptr)))
        return lineFailed();
    count += static_cast<int>(got);
    if (trace() && count > 0) {
        DbgPrint("CComPort::Gets(0x%X, %d)", static_cast<unsigned>(reinterpret_cast<uintptr_t>(buffer)), length);
        DbgDump(buffer, static_cast<size_t>(count), -1);
    }
    return setError(count);
}

int CComPort::TxClear()
{
    if (!IsOpen()) return setError(0);
    if (trace()) DbgPrint("CComPort::TxClear()");
    return ComApi().PurgeComm(m_hPort.get(), PURGE_TXABORT | PURGE_TXCLEAR) ? setError(0) : lineFailed();
}

int CComPort::RxClear()
{
    if (!IsOpen()) return setError(0);
    if (trace()) DbgPrint("CComPort::RxClear()");
    m_nPushBack = -1;
    m_readAhead.clear();
    return ComApi().PurgeComm(m_hPort.get(), PURGE_RXABORT | PURGE_RXCLEAR) ? setError(0) : lineFailed();
}

int CComPort::takeReadAhead(unsigned char* bytes, int length)
{
    int taken = 0;
    for (; taken < length && !m_readAhead.empty(); ++taken) {
        bytes[taken] = m_readAhead.front();
        m_readAhead.pop_front();
    }
    return taken;
}

// Reads that must not wait run on the object's own time-outs, put back
// after a wait only when a read needs them.
bool CComPort::useOwnTimeouts()
{
    if (!m_bWaitTimeouts) return true;
    if (!ComApi().SetCommTimeouts(m_hPort.get(), &m_to)) return false;
    m_bWaitTimeouts = false;
    return true;
}

// Waits on the port itself: a read of the missing bytes under a total read
// time-out, which the driver ends as soon as they have come. The caller's
// thread sleeps meanwhile instead of asking the driver over and over, so
// that a transfer inside Explorer costs a few percent of a core.
int CComPort::WaitForInput(int count, DWORD ms)
{
    if (!IsOpen()) return setError(ERR_NOTOPEN);
    DWORD errors = 0;
    COMSTAT stat;
    if (!readQueue(stat, errors)) return lineFailed();
    const int held = heldBytes();
    if (held + static_cast<int>(stat.cbInQue) >= count || ms == 0)
        return setError(held + static_cast<int>(stat.cbInQue));
    COMMTIMEOUTS wait = m_to;
    wait.ReadIntervalTimeout = 0;
    wait.ReadTotalTimeoutMultiplier = 0;
    wait.ReadTotalTimeoutConstant = ms;
    IComApi& api = ComApi();
    if (!api.SetCommTimeouts(m_hPort.get(), &wait)) return lineFailed();
    m_bWaitTimeouts = true;
    unsigned char bytes[kWaitChunk];
    const DWORD wanted = std::min<DWORD>(static_cast<DWORD>(count - held), kWaitChunk);
    DWORD got = 0;
    if (!api.ReadFile(m_hPort.get(), bytes, wanted, &got, nullptr)) return lineFailed();
    m_readAhead.insert(m_readAhead.end(), bytes, bytes + got);
    return setError(heldBytes());
}

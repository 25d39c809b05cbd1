#include "devicelink/CYModem.h"

#include <cstdio>
#include <cstring>

#include "foundation/DbgLog.h"
#include "foundation/Ticks.h"

namespace {

constexpr DWORD kCancelGraceMs = 5000;
constexpr int kCancelRounds = 30;
constexpr DWORD kCancelSettleMs = 1000;

const char* const kParamNames[] = {
    "CYModem::PAR_STATE",
    "CYModem::PAR_PACKET",
    "CYModem::PAR_PACKETSIZE",
    "CYModem::PAR_BYTESDONE",
    "CYModem::PAR_FILESIZE",
    nullptr,
    nullptr,
    "CYModem::PAR_NAKS",
    "CYModem::PAR_TIMEOUT",
    "CYModem::PAR_PADCHAR",
    "CYModem::PAR_NCGTIMEOUT",
    "CYModem::PAR_BURSTSIZE",
    "CYModem::PAR_BURSTSLEEP",
};
static_assert(sizeof kParamNames / sizeof kParamNames[0] == CYModem::PAR_YMODEM_LAST - CYModem::PAR_YMODEM_FIRST + 1,
              "name per parameter");

// The port's own codes reach the engine's setError too; the log names them.
const char* const kErrorNames[] = {
    "CYModem::ERR_NOSTARTUPCHAR", "CYModem::ERR_NOEOTACK",    "CYModem::ERR_INTERNAL",     "CYModem::ERR_CANCELLED",
    "CYModem::ERR_OUTOFSYNC",     "CYModem::ERR_RETRIES",     "CYModem::ERR_BADPACKETNBR", "CYModem::ERR_TIMEDOUT",
    "CYModem::ERR_ABORTED",       "CYModem::ERR_SHORTPACKET", "CYModem::ERR_FILETOOLARGE", "CYModem::ERR_LASTNEXT",
};

const char* PortErrorName(int code)
{
    switch (code) {
    case CComPort::ERR_NOTOPEN: return "CComPort::ERR_NOTOPEN";
    case CComPort::ERR_NODATA: return "CComPort::ERR_NODATA";
    case CComPort::ERR_SYSTEM: return "CComPort::ERR_SYSTEM";
    case CComPort::ERR_BADPARAM: return "CComPort::ERR_BADPARAM";
    case CComPort::ERR_FLOWCONTROL: return "CComPort::ERR_FLOWCONTROL";
    default: return nullptr;
    }
}

const char* const kStateNames[] = {
    "CYModem::TX_START",
    "CYModem::TX_WAIT4_NCG",
    "CYModem::TX_COMPUTE_PACKETS",
    "CYModem::TX_READ_DISK",
    "CYModem::TX_SEND_EOT",
    "CYModem::TX_WAIT4_EOT_ACK",
    "CYModem::TX_PREPARE_PACKET",
    "CYModem::TX_SEND_PACKET",
    "CYModem::TX_SEND_DATA",
    "CYModem::TX_SEND_CHECKSUM",
    "CYModem::TX_WAIT4_PACKET_ACK",
    "CYModem::TX_CHECK4_RESTART",
    "CYModem::TX_NEXT_PACKET",
    "CYModem::RX_START",
    "CYModem::RX_SEND_NCG",
    "CYModem::RX_WAIT4_INCOMING",
    "CYModem::RX_GET_PACKET",
    "CYModem::RX_PACKET_OK",
    "CYModem::RX_WAIT4_SOH_STX",
    "CYModem::RX_GET_DATA",
    "CYModem::RX_GET_PACKET_NBR",
    "CYModem::RX_GET_COMPLIMENT",
    "CYModem::RX_GET_CRC",
    "CYModem::RX_GET_2ND_CRC",
    "CYModem::RX_TEST_CRC",
};
static_assert(sizeof kStateNames / sizeof kStateNames[0] == CYModem::RX_TEST_CRC - CYModem::TX_START + 1,
              "name per state");

const char* ControlByteName(int byte)
{
    switch (byte) {
    case CYModem::SOH: return "SOH";
    case CYModem::STX: return "STX";
    case CYModem::ETX: return "ETX";
    case CYModem::EOT: return "EOT";
    case CYModem::ACK: return "ACK";
    case CYModem::XON: return "XON";
    case CYModem::XOFF: return "XOFF";
    case CYModem::NAK: return "NAK";
    case CYModem::CAN: return "CAN";
    default: return nullptr;
    }
}

const char* Unknown(char (&buffer)[64], const char* what, int value)
{
    snprintf(buffer, sizeof buffer, "Unknown %s=0x%X (%d)", what, static_cast<unsigned>(value), value);
    return buffer;
}

}  // namespace

const char* CYModem::ParamName(int id, char (&buffer)[64])
{
    if (id >= PAR_YMODEM_FIRST && id <= PAR_YMODEM_LAST && kParamNames[id - PAR_YMODEM_FIRST])
        return kParamNames[id - PAR_YMODEM_FIRST];
    return CComPort::ParamName(id, buffer);
}

const char* CYModem::ErrorName(int code, char (&buffer)[64])
{
    if (code <= ERR_NOSTARTUPCHAR && code >= ERR_LASTNEXT) return kErrorNames[ERR_NOSTARTUPCHAR - code];
    if (code == ERR_NOFILESENT) return "CYModem::ERR_NOFILESENT";
    if (code == ERR_SHORTFILE) return "CYModem::ERR_SHORTFILE";
    if (const char* name = PortErrorName(code)) return name;
    return Unknown(buffer, "YMODEMERROR", code);
}

const char* CYModem::StateName(int state, char (&buffer)[64])
{
    if (state >= TX_START && state <= RX_TEST_CRC) return kStateNames[state - TX_START];
    return Unknown(buffer, "YMODEMSTATE", state);
}

const char* CYModem::ControlName(int byte, char (&buffer)[64])
{
    if (const char* name = ControlByteName(byte)) return name;
    return Unknown(buffer, "SOHSTX", byte);
}

CYModem::CYModem(int port) : CComPort(port, 19200, NOPARITY, ONESTOPBIT, 8)
{
    for (int i = 0; i < 256; ++i) {
        WORD crc = static_cast<WORD>(i << 8);
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<WORD>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
        m_crcTable[i] = crc;
    }
    ZeroMemory(m_block, sizeof m_block);
    m_itCurrent = m_files.end();
    if (trace()) DbgPrint("CYModem::CYModem(COM%d)", port + 1);
}

CYModem::~CYModem()
{
    if (trace()) DbgPrint("CYModem::~CYModem");
    closeFile();
}

bool CYModem::trace() const { return DbgOn(DBG_YMODEM); }

DWORD CYModem::TickNowNonZero(DWORD offsetMs)
{
    // Zero stands for "no time set", so a sum that wraps onto it moves on by one.
    const DWORD when = TickNow() + offsetMs;
    return when ? when : 1;
}

void CYModem::addToCheck(const BYTE* data, DWORD count)
{
    for (DWORD i = 0; i < count; ++i) {
        if (crcMode()) m_wCheck = static_cast<WORD>(m_crcTable[((m_wCheck >> 8) ^ data[i]) & 0xFF] ^ (m_wCheck << 8));
        else m_wCheck = static_cast<WORD>(m_wCheck + data[i]);
    }
}

int CYModem::TxStart(const char* path, const char* name)
{
    if (trace()) DbgPrint("CYModem::TxStart(%s)", path);
    m_bReceiving = false;
    m_bCancel = 0;
    m_bQuietCancel = false;
    closeFile();
    m_files.clear();
    PathEntry entry{};
    lstrcpynA(entry.szPath, path, MAX_PATH);
    lstrcpynA(entry.szName, name ? name : "", MAX_PATH);
    m_files.push_back(entry);
    m_itCurrent = m_files.begin();
    m_nLastState = -1;
    m_nEnginePushBack = -1;
    m_nNextState = 0;
    m_nState = TX_START;
    m_dwDeadline = m_dwNotBefore = 0;
    m_wCheck = 0;
    return 0;
}

int CYModem::RxStart(const char* path, DWORD listedSize)
{
    if (trace()) DbgPrint("CYModem::RxStart(%s)", path ? path : "");
    closeFile();
    m_bReceiving = true;
    m_bCancel = 0;
    m_bQuietCancel = false;
    m_dwListedSize = listedSize;
    m_files.clear();
    if (path && path[0] && path[0] != ' ' && path[0] != '*') {
        PathEntry entry{};
        lstrcpynA(entry.szPath, path, MAX_PATH);
        m_files.push_back(entry);
    }
    m_itCurrent = m_files.begin();
    m_nLastState = -1;
    m_nEnginePushBack = -1;
    m_byNcg = NCG_CRC;
    m_dwNaks = 0;
    m_nNextState = 0;
    m_nState = RX_START;
    m_dwNotBefore = 0;
    // Block 0 is waited for as long as a sender waits for its start: a cable
    // pulled after the command would otherwise have the "C" sent for ever.
    // Its passing sends no CAN: nobody is there to hear it.
    m_dwDeadline = TickNowNonZero(m_dwNcgTimeout);
    m_wCheck = 0;
    return 0;
}

void CYModem::RequestCancel()
{
    // The deadline goes first, so that Process never sees the flag with a stale one.
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&m_dwCancelDeadline),
                        static_cast<LONG>(TickNow() + kCancelGraceMs));
    InterlockedExchange(&m_bCancel, 1);
}

int CYModem::Process()
{
    if (m_nState == STATE_IDLE) return 0;
    const int waited = waitForLine();
    if (waited < 0) return setError(waited);
    return step();
}

// Sleeps until the current state has something to do: the end of a pause,
// the bytes it reads, or the time at which it acts on silence, whichever
// comes first, and never longer than a slice. The wait is the port's own
// read time-out, not a loop asking the port, so that a transfer inside
// Explorer costs a few percent of a core.
int CYModem::waitForLine()
{
    const DWORD now = TickNow();
    if (m_dwNotBefore && static_cast<LONG>(now - m_dwNotBefore) < 0) {
        const DWORD pause = m_dwNotBefore - now;
        TickSleep(pause < kWaitSliceMs ? pause : kWaitSliceMs);
        return 0;
    }
    const DWORD wanted = bytesAwaited();
    if (!wanted) return 0;
    DWORD until = now + kWaitSliceMs;
    auto sooner = [&until](DWORD when) {
        if (static_cast<LONG>(when - until) < 0) until = when;
    };
    // Each of these acts once its time has passed by a millisecond.
    if (m_dwDeadline) sooner(m_dwDeadline + 1);
    if (m_bCancel) sooner(m_bOweCancel ? now : m_dwCancelDeadline + 1);
    if (const DWORD silence = silenceEnds()) sooner(silence);
    const LONG ms = static_cast<LONG>(until - now);
    if (ms <= 0) return 0;
    const int ready = WaitForInput(static_cast<int>(wanted), static_cast<DWORD>(ms));
    return ready < 0 ? ready : 0;
}

// How many bytes the current state waits for; 0 when it reads none. A
// block's data is awaited with its check bytes, which follow at once: one
// wake-up for both.
DWORD CYModem::bytesAwaited() const
{
    if (m_nEnginePushBack >= 0) return 0;
    switch (m_nState) {
    case RX_GET_DATA: return m_dwPacketSize + (crcMode() ? 2 : 1);
    case TX_WAIT4_NCG:
    case TX_WAIT4_PACKET_ACK:
    case TX_WAIT4_EOT_ACK:
    case RX_WAIT4_INCOMING:
    case RX_WAIT4_SOH_STX:
    case RX_GET_PACKET_NBR:
    case RX_GET_COMPLIMENT:
    case RX_GET_CRC:
    case RX_GET_2ND_CRC: return 1;
    default: return 0;
    }
}

// When a state that counts its own silence from m_dwWaitStart acts on it; 0 for the others.
DWORD CYModem::silenceEnds() const
{
    switch (m_nState) {
    case TX_WAIT4_NCG: return m_dwWaitStart + m_dwNcgTimeout + 1;
    case TX_WAIT4_EOT_ACK: return m_dwWaitStart + kEotWaitMs + 1;
    case RX_WAIT4_INCOMING: return m_dwWaitStart + static_cast<DWORD>(m_nTimeout) * 1000 + 1;
    default: return 0;
    }
}

int CYModem::step()
{
    const DWORD now = TickNow();
    if (m_bCancel && (m_bOweCancel || passed(m_dwCancelDeadline, now))) return cancel(true);
    if (m_dwNotBefore && static_cast<LONG>(now - m_dwNotBefore) < 0) return 1;
    if (m_dwDeadline && passed(m_dwDeadline, now)) {
        m_dwDeadline = 0;
        return setError(m_bQuietCancel ? 0 : ERR_TIMEDOUT);
    }
    if (m_nState != m_nLastState) {
        char unknown[64];
        if (trace()) DbgPrint("%s", StateName(m_nState, unknown));
        m_nLastState = m_nState;
    }
    const int next = runState();
    if (next > 0) m_nState = next;
    return next;
}

int CYModem::runState()
{
    switch (m_nState) {
    case TX_START: return txStart();
    case TX_WAIT4_NCG: return txWait4Ncg();
    case TX_COMPUTE_PACKETS: m_nPacket = 0; return TX_READ_DISK;
    case TX_READ_DISK: return txReadDisk();
    case TX_SEND_EOT: return txSendEot();
    case TX_WAIT4_EOT_ACK: return txWait4EotAck();
    case TX_PREPARE_PACKET: return txPreparePacket();
    case TX_SEND_PACKET: return txSendPacket();
    case TX_SEND_DATA: return txSendData();
    case TX_SEND_CHECKSUM: return txSendChecksum();
    case TX_WAIT4_PACKET_ACK: return txWait4PacketAck();
    case TX_CHECK4_RESTART: return txCheck4Restart();
    case TX_NEXT_PACKET: return txNextPacket();
    case RX_START: return rxStart();
    case RX_SEND_NCG: return rxSendNcg();
    case RX_WAIT4_INCOMING: return rxWait4Incoming();
    case RX_GET_PACKET: armDeadline(static_cast<DWORD>(m_nTimeout) * 1000); return RX_WAIT4_SOH_STX;
    case RX_PACKET_OK: return rxPacketOk();
    case RX_WAIT4_SOH_STX: return rxWait4SohStx();
    case RX_GET_DATA: return rxGetData();
    case RX_GET_PACKET_NBR: return rxGetPacketNbr();
    case RX_GET_COMPLIMENT: return rxGetCompliment();
    case RX_GET_CRC: return rxGetCrc();
    case RX_GET_2ND_CRC: return rxGet2ndCrc();
    case RX_TEST_CRC: return rxTestCrc();
    default:
        if (trace()) DbgPrint("INTERNAL ERROR: Bad state = %d", m_nState);
        return setError(ERR_INTERNAL);
    }
}

int CYModem::GetParameter(int id)
{
    if (id <= PAR_COMPORT_LAST) return CComPort::GetParameter(id);
    char unknown[64];
    if (trace()) DbgPrint("CYModem::GetParameter(%s)", ParamName(id, unknown));
    switch (id) {
    case PAR_STATE: return m_nState;
    case PAR_PACKET: return m_nPacket;
    case PAR_PACKETSIZE: return static_cast<int>(m_dwPacketSize);
    case PAR_BYTESDONE: return static_cast<int>(m_dwBytesDone);
    case PAR_FILESIZE: return static_cast<int>(m_dwFileSize);
    case PAR_NAKS: return static_cast<int>(m_dwNaks);
    case PAR_TIMEOUT: return m_nTimeout;
    case PAR_PADCHAR: return m_byPad;
    case PAR_NCGTIMEOUT: return static_cast<int>(m_dwNcgTimeout);
    case PAR_BURSTSIZE: return static_cast<int>(m_dwBurstSize);
    case PAR_BURSTSLEEP: return static_cast<int>(m_dwBurstSleep);
    default: return setError(ERR_BADPARAM);
    }
}

int CYModem::SetParameter(int id, int value)
{
    if (id <= PAR_COMPORT_LAST) return CComPort::SetParameter(id, value);
    char unknown[64];
    if (trace())
        DbgPrint("CYModem::SetParameter(%s, %d=0x%X)", ParamName(id, unknown), value, static_cast<unsigned>(value));
    switch (id) {
    case PAR_TIMEOUT:
        if (value < 1 || value > 10) break;
        m_nTimeout = value;
        return 0;
    case PAR_PADCHAR:
        if (value < 0 || value > 255) break;
        m_byPad = static_cast<BYTE>(value);
        return 0;
    case PAR_NCGTIMEOUT: m_dwNcgTimeout = static_cast<DWORD>(value); return 0;
    case PAR_BURSTSIZE:
        // A burst never spans more than one block.
        if (value < 1 || value > static_cast<int>(kLongBlockSize)) break;
        m_dwBurstSize = static_cast<DWORD>(value);
        return 0;
    case PAR_BURSTSLEEP:
        if (value < 0 || value > 4999) break;
        m_dwBurstSleep = static_cast<DWORD>(value);
        return 0;
    default: break;
    }
    return setError(ERR_BADPARAM);
}

int CYModem::setError(int code)
{
    CComPort::setError(code);
    m_nState = STATE_IDLE;
    if (m_nLastError == 0) return 0;
    char name[64], state[64];
    if (trace()) DbgPrint("CYModem::setError(%s)", ErrorName(code, name));
    closeFile();
    if (trace()) DbgPrint("!State=%d (%s), Error=%d", m_nLastState, StateName(m_nLastState, state), code);
    return code;
}

int CYModem::cancel(bool notify)
{
    if (notify && m_bOweCancel) m_bCancelOwed = true;
    else exchangeCancel();
    if (notify) return setError(ERR_ABORTED);
    m_bQuietCancel = true;
    return ERR_ABORTED;
}

void CYModem::PayCancel()
{
    if (!m_bCancelOwed) return;
    m_bCancelOwed = false;
    exchangeCancel();
}

// CAN until the peer answers CAN, for at most 30 reply time-outs; true
// when it answered.
bool CYModem::exchangeCancel()
{
    if (trace()) DbgPrint("CYModem::cancel()");
    TxClear();
    RxClear();
    const BYTE can = CAN;
    const DWORD replyMs = static_cast<DWORD>(m_nTimeout) * 1000;
    bool answered = false;
    for (int round = 0; round < kCancelRounds && !answered; ++round) {
        Puts(&can, 1);
        const DWORD start = TickNow();
        for (DWORD waited = 0; !answered && waited < replyMs; waited = TickNow() - start) {
            const int c = Getc();
            answered = c == CAN;
            // Asleep on the port until the next byte or the end of the round.
            if (c < 0 && WaitForInput(1, replyMs - waited) < 0) TickSleep(1);
        }
    }
    if (answered) {
        if (trace()) DbgPrint("canceled OK");
        TickSleep(kCancelSettleMs);
        RxClear();
    }
    return answered;
}

int CYModem::putChar(BYTE byte)
{
    char unknown[64];
    if (trace()) DbgPrint("CYModem::putChar(%s)", ControlName(byte, unknown));
    const int written = Puts(&byte, 1);
    return written < 0 ? setError(written) : written;
}

int CYModem::getChar()
{
    int c = m_nEnginePushBack;
    m_nEnginePushBack = -1;
    if (c < 0) c = Getc();
    if (c == ERR_NODATA) return c;
    if (c < 0) return setError(c);
    char unknown[64];
    if (trace()) DbgPrint("CYModem::getChar()=%s", ControlName(c, unknown));
    return c;
}

// A received file still under its temporary name never came whole: it goes.
// The target itself is never touched here.
void CYModem::closeFile()
{
    if (m_hFile.valid()) {
        if (trace()) DbgPrint("CYModem::closeFile");
        m_hFile.reset();
    }
    if (!m_szPartPath[0]) return;
    DeleteFileA(m_szPartPath);
    m_szPartPath[0] = '\0';
}

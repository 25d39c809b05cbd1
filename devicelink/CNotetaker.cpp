#include "devicelink/CNotetaker.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "devicelink/ResourceText.h"
#include "foundation/CReg.h"
#include "foundation/DbgLog.h"
#include "foundation/SerialPorts.h"
#include "foundation/Ticks.h"
#include "resources/resource.h"

namespace {

const char* const kCommandNames[] = {
    "CNotetaker::DCMD_IDENT",  "CNotetaker::DCMD_IDENT2", "CNotetaker::DCMD_ENUM",  "CNotetaker::DCMD_TX",
    "CNotetaker::DCMD_RX",     "CNotetaker::DCMD_DELE",   "CNotetaker::DCMD_PRINT", "CNotetaker::DCMD_MKDIR",
    "CNotetaker::DCMD_RENAME", "CNotetaker::DCMD_CRC16",
};
static_assert(sizeof kCommandNames / sizeof kCommandNames[0] == CNotetaker::DCMD_LAST + 1, "name per command");

const char kCommandLetters[] = {'W', 'Y', 'F', 'R', 'S', 'D', 'P', 'M', 'N', 'C'};
const char kEnumLetters[] = {'C', 'R', 'X', '\0'};

// From ERR_RESPONSE (-115) down to ERR_FOLDERLOOP (-128).
const char* const kErrorNames[] = {
    "CNotetaker::ERR_RESPONSE",         "CNotetaker::ERR_TALOLOCKED",  "CNotetaker::ERR_LOCKED",
    "CNotetaker::ERR_UNKNOWN",          "CNotetaker::ERR_MKDIR",       "CNotetaker::ERR_INVALIDPATH",
    "CNotetaker::ERR_INVALIDINDEXFILE", "CNotetaker::ERR_UNSUPPORTED", "CNotetaker::ERR_BUSY",
    "CNotetaker::ERR_NAMESAKE",         "CNotetaker::ERR_NAMETAKEN",   "CNotetaker::ERR_COPYMISSING",
    "CNotetaker::ERR_NOANSWER",         "CNotetaker::ERR_FOLDERLOOP",
};

const DWORD kBaudRates[] = {115200, 38400, 19200, 9600};
constexpr int kMaxArgument = 259;
constexpr BYTE ENQ = 0x05, EOT = 0x04, CR = 0x0D;
constexpr int kRepeatRequest = '?';
constexpr int kRepeatAsked = 1;  // never a result of a command
constexpr DWORD kStatusTimeoutFactor = 10;
constexpr BYTE kLegacyCode = 3, kVardenCode = 4;
constexpr DWORD kFailureHoldMs = 2000;  // long enough for the requests queued behind a failed detection

// How much a failed port tells the user, when no port had the device: a port
// another program holds says most, one that does not exist least.
int FailureRank(int code, DWORD winError)
{
    if (code != CComPort::ERR_SYSTEM) return 1;  // the port opened; no device answered
    if (winError == ERROR_TIMEOUT) return 1;     // an outgoing Bluetooth port that reached no device
    if (winError == ERROR_ACCESS_DENIED) return 3;
    if (winError == ERROR_FILE_NOT_FOUND || winError == ERROR_PATH_NOT_FOUND) return 0;
    return 2;
}

bool ValidCommand(int command) { return command >= 0 && command <= CNotetaker::DCMD_LAST; }

// Commands whose answer is a single byte left for the next reader.
bool AnswersWithAck(int command)
{
    return command == CNotetaker::DCMD_IDENT || command == CNotetaker::DCMD_ENUM || command == CNotetaker::DCMD_TX ||
           command == CNotetaker::DCMD_RX;
}

int StatusToResult(short status)
{
    if (status >= 0) return 0;
    if (status == -1) return CNotetaker::ERR_RESPONSE;
    if (status >= -6) return CNotetaker::ERR_INVALIDPATH;
    return CNotetaker::ERR_UNKNOWN;
}

bool TooLong(const char* path) { return path && strnlen(path, kMaxArgument + 1) > kMaxArgument; }

// The argument as it goes on the wire after the command bytes.
std::vector<char> FrameArgument(const char* argument, int command)
{
    std::vector<char> framed;
    if (!argument) return framed;
    framed.assign(argument, argument + strlen(argument));
    framed.push_back(static_cast<char>(CR));
    if (command != CNotetaker::DCMD_ENUM) framed.push_back('\0');
    return framed;
}

std::vector<char> FramePaths(const char* path1, const char* path2)
{
    std::vector<char> framed;
    for (const char* path : {path1, path2}) {
        if (path) framed.insert(framed.end(), path, path + strlen(path));
        framed.push_back('\0');
    }
    return framed;
}

}  // namespace

const char* CNotetaker::CommandName(int command, char (&buffer)[64])
{
    if (ValidCommand(command)) return kCommandNames[command];
    snprintf(buffer, sizeof buffer, "Unknown DEVICECOMMAND=0x%X (%d)", static_cast<unsigned>(command), command);
    return buffer;
}

const char* CNotetaker::ErrorName(int code, char (&buffer)[64])
{
    if (code <= ERR_RESPONSE && code >= ERR_FOLDERLOOP) return kErrorNames[ERR_RESPONSE - code];
    if (code == ERR_PATHTOOLONG) return "CNotetaker::ERR_PATHTOOLONG";
    snprintf(buffer, sizeof buffer, "Unknown NOTETAKERERROR=0x%X (%d)", static_cast<unsigned>(code), code);
    return buffer;
}

CNotetaker::CNotetaker(int port, DWORD replyTimeout, DWORD commandRetries, DWORD transferRetries)
    : CYModem(port),
      m_dwTimeout(replyTimeout),
      m_dwRetries(commandRetries),
      m_dwTransferRetries(transferRetries),
      m_bAutoPort(port < 0)
{
    if (trace())
        DbgPrint("CNotetaker::CNotetaker(COM%d, timeout=%u, retries=%u and %u)", port + 1,
                 static_cast<unsigned>(replyTimeout), static_cast<unsigned>(commandRetries),
                 static_cast<unsigned>(transferRetries));
    // The receiver waits for a whole 1024-byte block in the queue.
    SetParameter(PAR_RXQUESIZE, 1200);
    SetParameter(PAR_TXQUESIZE, 1200);
    SetParameter(PAR_PARITY, NOPARITY);
    SetParameter(PAR_STOPBITS, ONESTOPBIT);
    SetParameter(PAR_DATABITS, 8);
    SetParameter(PAR_BAUDRATE, 115200);
    SetParameter(PAR_FLOWCONTROL, FLOW_NONE);
    loadModelName(0);
}

CNotetaker::~CNotetaker()
{
    if (trace()) DbgPrint("CNotetaker::~CNotetaker");
    serialClose();
}

bool CNotetaker::trace() const { return DbgOn(DBG_NOTETAKER); }

int CNotetaker::setError(int code)
{
    CComPort::setError(code);
    char unknown[64];
    if (code < 0 && trace()) DbgPrint("CNotetaker::setError(%s)", ErrorName(code, unknown));
    return code;
}

// ---- command channel ----

int CNotetaker::serialOpen(bool hardware)
{
    const int mode = hardware ? FLOW_HARDWARE : FLOW_NONE;
    if (GetParameter(PAR_FLOWCONTROL) != mode) {
        const int set = SetParameter(PAR_FLOWCONTROL, mode);
        if (set < 0) return set;
    }
    if (IsOpen()) return 0;
    if (trace()) DbgPrint("CNotetaker::serialOpen(%s)", hardware ? "HARDWARE" : "NONE");
    // Never asked again in a loop: a port that another program holds, the
    // screen reader above all, is reported in words and left to it.
    if (m_bFailureHeld && TickNow() - m_dwFailedAt < kFailureHoldMs)
        return restoreError(m_nFailedCode, m_dwFailedWinError);
    const int detected = serialDetect();
    m_bFailureHeld = false;
    if (detected >= 0) return LastResult();
    reportOpenFailure(detected);
    const int failure = closeUndetected(detected);
    if (detected != ERR_ABORTED) {
        m_bFailureHeld = true;
        m_dwFailedAt = TickNow();
        m_nFailedCode = failure;
        m_dwFailedWinError = WinError();
    }
    return failure;
}

// A port left open without a device found would be taken for a found one by
// every later command; closed, the next command looks for the device again.
// The failure stays recorded, with its Windows error.
int CNotetaker::closeUndetected(int detected)
{
    // Identification may have ended on a cleared queue, recorded as 0.
    const int failure = LastResult() < 0 ? LastResult() : detected;
    const DWORD winError = WinError();
    serialClose();
    return restoreError(failure, winError);
}

int CNotetaker::restoreError(int code, DWORD winError)
{
    SetLastError(winError);
    return setError(code);
}

// Names the reason a port could not be opened: someone else holds it.
int CNotetaker::reportOpenFailure(int result)
{
    if (result != ERR_SYSTEM) return result;
    if (trace()) DbgPrint("\tWinError = %d", static_cast<int>(WinError()));
    if (WinError() != ERROR_ACCESS_DENIED) return result;
    return setError(isTALO() ? ERR_TALOLOCKED : ERR_LOCKED);
}

int CNotetaker::serialClose()
{
    if (!IsOpen()) return 0;
    if (trace()) DbgPrint("CNotetaker::serialClose()");
    TxClear();
    RxClear();
    Close();
    return 0;
}

int CNotetaker::serialWrite(const void* buffer, int length)
{
    const int opened = serialOpen(false);
    if (opened < 0) return opened;
    if (trace())
        DbgPrint("CNotetaker::serialWrite(0x%X, %d)", static_cast<unsigned>(reinterpret_cast<uintptr_t>(buffer)),
                 length);
    return Puts(buffer, length);
}

int CNotetaker::serialRead(void* buffer, int length, DWORD timeout)
{
    const int opened = serialOpen(false);
    if (opened < 0) return opened;
    if (timeout == 0) timeout = m_dwTimeout;
    char* bytes = static_cast<char*>(buffer);
    const unsigned address = static_cast<unsigned>(reinterpret_cast<uintptr_t>(buffer));
    int got = 0;
    const DWORD start = TickNow();
    while (got < length) {
        int n = Gets(bytes + got, length - got);
        if (n >= 0) got += n;
        const DWORD waited = TickNow() - start;
        // Asleep on the port until the rest has come or the time is up.
        if (n >= 0 && got < length && waited < timeout) n = WaitForInput(length - got, timeout - waited);
        if (n < 0) {
            if (trace()) DbgPrint("CNotetaker::serialRead(0x%X, %d)=%d", address, length, n);
            return n;
        }
        if (got < length && waited >= timeout) break;
    }
    setError(0);
    if (trace()) DbgPrint("CNotetaker::serialRead(0x%X, %d)=%d", address, length - got, got);
    return got;
}

// Whatever is still queued (the rest of an abandoned transfer, a reply that
// came late) would be read as this command's answer: it goes first.
int CNotetaker::sendCommand(int command, const char* framed, int framedLength)
{
    PayCancel();  // a cancelled transfer's device hears its CANs before any command
    const int opened = serialOpen(false);
    if (opened < 0) return opened;
    RxClear();
    const char head[3] = {static_cast<char>(ENQ), static_cast<char>(EOT), kCommandLetters[command]};
    const int sent = serialWrite(head, sizeof head);
    if (sent < 0) return sent;
    if (framedLength == 0) return 0;
    const int rest = serialWrite(framed, framedLength);
    return rest < 0 ? rest : 0;
}

// The next byte from the device, ERR_NODATA when none came in time. The
// thread sleeps on the port's read time-out meanwhile, so that waiting for
// a slow or absent device costs no processor.
int CNotetaker::awaitByte(DWORD timeout)
{
    const DWORD start = TickNow();
    for (;;) {
        const int c = Getc();
        if (c != ERR_NODATA) return c;
        const DWORD waited = TickNow() - start;
        if (waited >= timeout) return ERR_NODATA;
        const int ready = WaitForInput(1, timeout - waited);
        if (ready < 0) return ready;
    }
}

// The status word after the echoed letter; too few bytes count as success.
int CNotetaker::statusReply()
{
    unsigned char status[2] = {};
    const int got = serialRead(status, 2, kStatusTimeoutFactor * m_dwTimeout);
    if (got < 0) return got;
    if (got < 2) return 0;
    return StatusToResult(static_cast<short>(status[0] | (status[1] << 8)));
}

// The device's answer to one sending of a command: a result, or
// kRepeatAsked when it wants the command again.
int CNotetaker::readReply(int command, void* reply, int replyLength, bool twoPaths)
{
    if (replyLength > 0) {
        const int got = serialRead(reply, replyLength, 0);
        if (got < 0) return got;
        if (got > 0 && static_cast<char*>(reply)[0] == kRepeatRequest) return kRepeatAsked;
        return got == replyLength ? 0 : ERR_RESPONSE;
    }
    const int c = awaitByte(m_dwTimeout);
    if (c < 0) return c;
    if (AnswersWithAck(command) && !twoPaths) {
        if (c == kRepeatRequest) return kRepeatAsked;
        m_nPushBack = c;
        return 0;
    }
    if (m_wFirmware < FW_VARDEN) return ERR_UNSUPPORTED;
    if (c != static_cast<unsigned char>(kCommandLetters[command])) return ERR_RESPONSE;
    return statusReply();
}

int CNotetaker::repeatLoop(int command, const char* framed, int framedLength, void* reply, int replyLength,
                           bool twoPaths)
{
    for (DWORD left = m_dwRetries;; --left) {
        const int sent = sendCommand(command, framed, framedLength);
        if (sent < 0) return sent;
        const int answer = readReply(command, reply, replyLength, twoPaths);
        if (answer != kRepeatAsked) return setError(answer);
        serialEnumCmd(ENUM_STOP, nullptr, 0);
        if (left <= 1) return setError(ERR_RESPONSE);
    }
}

int CNotetaker::serialCmd(const char* argument, int command, void* reply, int replyLength)
{
    char unknown[64];
    if (trace()) DbgPrint("CNotetaker::serialCmd(%s, %s)", argument ? argument : "", CommandName(command, unknown));
    if (reply && replyLength > 0) memset(reply, 0, static_cast<size_t>(replyLength));
    if (!reply) replyLength = 0;
    if (!ValidCommand(command)) return setError(ERR_BADPARAM);
    // Cut, a path would name another file or folder: the one the user meant is refused instead.
    if (TooLong(argument)) return setError(ERR_PATHTOOLONG);
    const std::vector<char> framed = FrameArgument(argument, command);
    return repeatLoop(command, framed.data(), static_cast<int>(framed.size()), reply, replyLength, false);
}

int CNotetaker::serialCmd2(const char* path1, const char* path2, int command, void* reply, int replyLength)
{
    char unknown[64];
    if (trace())
        DbgPrint("CNotetaker::serialCmd2(%s, %s, %s)", path1 ? path1 : "", path2 ? path2 : "",
                 CommandName(command, unknown));
    if (reply && replyLength > 0) memset(reply, 0, static_cast<size_t>(replyLength));
    if (!reply) replyLength = 0;
    if (!ValidCommand(command)) return setError(ERR_BADPARAM);
    if (TooLong(path1) || TooLong(path2)) return setError(ERR_PATHTOOLONG);
    // The firmware is known only once the device has been identified, which
    // opening the port does; as the first command of a process it is not yet.
    const int opened = serialOpen(false);
    if (opened < 0) return opened;
    if (m_wFirmware < FW_RENAME) return setError(ERR_UNSUPPORTED);
    const std::vector<char> framed = FramePaths(path1, path2);
    return repeatLoop(command, framed.data(), static_cast<int>(framed.size()), reply, replyLength, true);
}

int CNotetaker::serialEnumCmd(int letter, void* reply, int replyLength)
{
    if (letter < 0 || letter > ENUM_LAST) return setError(ERR_BADPARAM);
    if (trace()) DbgPrint("CNotetaker::serialEnumCmd(%c)", kEnumLetters[letter]);
    const int opened = serialOpen(false);
    if (opened < 0) return opened;
    if (!reply) replyLength = 0;
    for (DWORD left = m_dwRetries;; --left) {
        TxClear();
        RxClear();
        const int sent = serialWrite(&kEnumLetters[letter], 1);
        if (sent < 0) return sent;
        if (replyLength > 0) {
            const int got = serialRead(reply, replyLength, 0);
            if (got <= 0) return got;
            if (static_cast<char*>(reply)[0] != kRepeatRequest) return got;
        } else {
            const int c = Getc();
            if (c == ERR_NODATA) return setError(0);
            if (c < 0) return c;
            if (c != kRepeatRequest) {
                m_nPushBack = c;
                return setError(0);
            }
        }
        if (left <= 1) return setError(ERR_RESPONSE);
    }
}

// ---- identification and detection ----

void CNotetaker::loadModelName(DWORD model) { LoadResourceText(IDS_MODEL_NONE + model, m_szModel, sizeof m_szModel); }

DWORD CNotetaker::GetDeviceType()
{
    if (m_dwModel != 0) return m_dwModel;
    if (trace()) DbgPrint("CNotetaker::GetDeviceType()");
    loadModelName(0);
    // Opening a closed port finds and identifies the device; asking it
    // again straight after would only repeat that.
    if (!IsOpen() && (serialOpen(false) < 0 || m_dwModel != 0)) return m_dwModel;
    unsigned char ident[2];
    if (serialCmd(nullptr, DCMD_IDENT, ident, sizeof ident) < 0) return 0;
    if (trace()) DbgPrint("Notetaker model = %d, Baudrate = %d", ident[0], ident[1]);
    const bool knownModel = ident[0] >= 1 && ident[0] <= kModelCount;
    if (knownModel && (ident[1] == kLegacyCode || ident[1] == kVardenCode)) {
        m_dwModel = ident[0];
        loadModelName(m_dwModel);
        if (ident[1] == kLegacyCode) {
            if (trace()) DbgPrint("LEGACY");
            m_wFirmware = FW_LEGACY;
        } else {
            if (trace()) DbgPrint("VARDEN");
            m_wFirmware = FW_VARDEN;
            readIdent2Record();
        }
    }
    RxClear();
    TxClear();
    return m_dwModel;
}

// The newer firmware names itself and its version. A record of 11 to 14
// bytes is too short for the version: only the name bytes it holds are taken.
void CNotetaker::readIdent2Record()
{
    unsigned char head[3];
    if (serialCmd(nullptr, DCMD_IDENT2, head, sizeof head) != 0) return;
    // The record comes after the echoed letter (or a 0x00, as some firmware
    // sends); anything else is a stale or garbled reply, whose bytes would be
    // read as a firmware version.
    if (head[0] != static_cast<unsigned char>(kCommandLetters[DCMD_IDENT2]) && head[0] != 0) {
        if (trace()) DbgPrint("IDENT2 reply starts with 0x%02X", head[0]);
        return;
    }
    const int size = head[1] | (head[2] << 8);
    if (trace()) DbgPrint("IDENT2 size = %d", size);
    if (size <= 10) return;
    std::vector<unsigned char> payload(static_cast<size_t>(size - 2));
    const int wanted = static_cast<int>(payload.size());
    if (serialRead(payload.data(), wanted, 0) != wanted) return;
    const size_t nameBytes = payload.size() - 1 < kModelNameSize - 1 ? payload.size() - 1 : kModelNameSize - 1;
    char name[kModelNameSize] = {};
    memcpy(name, payload.data() + 1, nameBytes);
    memcpy(m_szModel, name, sizeof name);
    if (payload.size() >= 13) m_wFirmware = static_cast<WORD>(payload[12] << 8 | payload[11]);
    if (trace()) DbgPrint("model %d, name %s, ver %d.%d", payload[0], m_szModel, m_wFirmware >> 8, m_wFirmware & 0xFF);
}

HRESULT CNotetaker::GetDeviceName(char* buffer, int size)
{
    if (!buffer) return E_INVALIDARG;
    GetDeviceType();
    if (size > 0) lstrcpynA(buffer, m_szModel, size);
    return S_OK;
}

int CNotetaker::serialDetectBaud()
{
    return detectOn(GetParameter(PAR_PORT), std::vector<DWORD>(std::begin(kBaudRates), std::end(kBaudRates)));
}

// Identifies the device at each rate in turn on the open port.
int CNotetaker::detectOn(int portIndex, const std::vector<DWORD>& rates)
{
    if (trace()) DbgPrint("CNotetaker::serialDetectBaud()");
    for (DWORD rate : rates) {
        const int set = SetParameter(PAR_BAUDRATE, static_cast<int>(rate));
        if (set < 0) return set;
        if (trace()) DbgPrint("baud rate is %d", static_cast<int>(rate));
        if (GetDeviceType() != 0) {
            CReg::WriteLastPort(portIndex, rate);
            return 0;
        }
    }
    return ERR_RESPONSE;
}

// Looks on the present ports only, in the order most likely to answer first:
// a PC of today numbers its USB and Bluetooth ports anywhere up to COM256,
// and every silent rate costs a reply time-out.
int CNotetaker::serialDetect()
{
    if (m_bDetected) return Open();
    if (trace()) DbgPrint("CNotetaker::serialDetect()");
    const int flow = SetParameter(PAR_FLOWCONTROL, FLOW_NONE);
    if (flow < 0) return flow;
    int lastPort = -1;
    DWORD lastBaud = 0;
    CReg::ReadLastPort(lastPort, lastBaud);
    const std::vector<DetectionStep> steps =
        DetectionOrder(PresentPorts(), m_bAutoPort ? -1 : GetParameter(PAR_PORT), lastPort, lastBaud);
    m_silentPorts.clear();
    int telling = ERR_NOANSWER, tellingRank = -1;
    DWORD tellingWinError = 0;
    for (const DetectionStep& step : steps) {
        if (cancelled()) return setError(ERR_ABORTED);
        Close();
        if (trace()) DbgPrint("checking port COM%d...", step.portIndex + 1);
        int result = SetParameter(PAR_PORT, step.portIndex);
        if (result == 0) result = Open();
        if (result >= 0) result = detectOn(step.portIndex, step.rates);
        if (result == 0) {
            m_bDetected = true;
            return result;
        }
        int failure = LastResult() < 0 ? LastResult() : result;
        const int rank = FailureRank(failure, WinError());
        // A listed port that is gone by now had no note-taker either: it is named with the silent ones.
        if (rank <= 1) m_silentPorts.push_back(step.portIndex + 1);
        if (rank == 1) failure = ERR_NOANSWER;
        if (rank > tellingRank) {
            telling = failure;
            tellingRank = rank;
            tellingWinError = WinError();
        }
    }
    return restoreError(telling, tellingWinError);
}

std::vector<DetectionStep> DetectionOrder(const std::vector<SerialPort>& present, int configured, int lastPort,
                                          DWORD lastBaud)
{
    std::vector<DWORD> rates(std::begin(kBaudRates), std::end(kBaudRates));
    std::vector<DWORD> lastFirst = rates;
    const auto known = std::find(lastFirst.begin(), lastFirst.end(), lastBaud);
    if (known != lastFirst.end()) std::rotate(lastFirst.begin(), known, known + 1);
    // The port the settings name is opened whether the PC lists it or not.
    if (configured >= 0) return {{configured, configured == lastPort ? lastFirst : rates}};
    std::vector<DetectionStep> steps;
    for (const SerialPort& port : present)
        if (port.number - 1 == lastPort) steps.push_back({lastPort, lastFirst});
    for (const bool bluetooth : {false, true})
        for (const SerialPort& port : present)
            if ((port.kind == PortKind::Bluetooth) == bluetooth && port.number - 1 != lastPort)
                steps.push_back({port.number - 1, rates});
    return steps;
}

std::string PortNames(std::vector<int> numbers)
{
    std::sort(numbers.begin(), numbers.end());
    std::string names;
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (i) names += i + 1 == numbers.size() ? " or " : ", ";
        names += PortName(numbers[i]);
    }
    return names;
}

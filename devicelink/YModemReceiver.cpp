// The receiving half of the engine: one device file written under the
// caller's path (not the name the device sends), cut to the size of block 0.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "devicelink/CYModem.h"
#include "foundation/DbgLog.h"
#include "foundation/DurableFile.h"
#include "foundation/Ticks.h"

namespace {
constexpr DWORD kInBlockWaitMs = 6000;
constexpr DWORD kStartPauseMs = 500;

// The size field of block 0: after the name's 0x00, optional white space and
// sign, then decimal digits. A negative size counts as an empty file; no
// digits at all leave `found` false.
DWORD ParseSize(const char* text, bool& found)
{
    while (isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    found = isdigit(static_cast<unsigned char>(*text)) != 0;
    unsigned long long size = 0;
    for (; isdigit(static_cast<unsigned char>(*text)) && size <= 0xFFFFFFFFull; ++text)
        size = size * 10 + (*text - '0');
    if (negative) return 0;
    return size > 0xFFFFFFFFull ? 0xFFFFFFFFul : static_cast<DWORD>(size);
}

// Makes every missing folder on the way to `path`; failures show up when the
// file itself is created.
void CreateFolders(const char* path)
{
    char folder[MAX_PATH];
    lstrcpynA(folder, path, MAX_PATH);
    for (char* p = folder; *p; ++p) {
        if (*p != '\\' || p == folder || p[-1] == ':') continue;
        *p = 0;
        CreateDirectoryA(folder, nullptr);
        *p = '\\';
    }
}

// A file is received under its own name with this ending, beside it, and
// takes the real name only once it is whole.
const char kPartEnding[] = ".pellor-part";

// Part files left by a receive that was killed. One that another receive
// is writing right now is open without delete sharing, and stays.
void RemoveLeftParts(const char* target)
{
    char pattern[MAX_PATH];
    lstrcpynA(pattern, target, MAX_PATH);
    char* slash = strrchr(pattern, '\\');
    if (!slash || static_cast<size_t>(slash - pattern) + 2 + sizeof kPartEnding > MAX_PATH) return;
    snprintf(slash + 1, MAX_PATH - static_cast<size_t>(slash + 1 - pattern), "*%s", kPartEnding);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        lstrcpynA(slash + 1, found.cFileName, MAX_PATH - static_cast<int>(slash + 1 - pattern));
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA(pattern);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
}  // namespace

int CYModem::rxStart()
{
    RxClear();
    m_dwBytesDone = 0;
    m_nPacket = 0;
    m_nNextState = RX_GET_PACKET;
    m_dwNotBefore = TickNowNonZero(kStartPauseMs);
    return RX_SEND_NCG;
}

int CYModem::rxSendNcg()
{
    if (m_bCancel) return cancel(true);
    const int written = putChar(m_byNcg);
    if (written < 0) return written;
    m_dwWaitStart = TickNow();
    return RX_WAIT4_INCOMING;
}

int CYModem::rxWait4Incoming()
{
    const int c = getChar();
    if (c == ERR_NODATA)
        return elapsed(m_dwWaitStart, static_cast<DWORD>(m_nTimeout) * 1000, TickNow()) ? static_cast<int>(RX_SEND_NCG)
                                                                                        : m_nState;
    if (c < 0) return c;
    if (c != SOH && c != STX && c != EOT && c != CAN) return RX_SEND_NCG;
    m_nEnginePushBack = c;
    return m_nNextState;
}

int CYModem::rxWait4SohStx()
{
    const int c = getChar();
    switch (c) {
    case ERR_NODATA: return m_nState;
    case SOH:
    case STX:
        m_dwPacketSize = c == SOH ? kBlockSize : kLongBlockSize;
        armDeadline(kInBlockWaitMs);
        return RX_GET_PACKET_NBR;
    case EOT: {
        // Short of block 0's size the end is a lost block or a damaged
        // header, not the end of the file: keeping what came would leave the
        // user a file that looks whole and is not. Left unacknowledged, the
        // device knows too.
        if (m_nPacket > 0 && m_dwFileSize != kNoListedSize && m_dwBytesDone < m_dwFileSize) {
            if (trace())
                DbgPrint("EOT after %u of %u bytes", static_cast<unsigned>(m_dwBytesDone),
                         static_cast<unsigned>(m_dwFileSize));
            return rxAbandon(ERR_OUTOFSYNC);
        }
        // Less than the folder listed just before is a file the device could
        // not send whole, whatever its block 0 said.
        if (m_nPacket > 0 && m_dwListedSize != kNoListedSize && m_dwBytesDone < m_dwListedSize) {
            if (trace())
                DbgPrint("EOT after %u bytes of %u listed", static_cast<unsigned>(m_dwBytesDone),
                         static_cast<unsigned>(m_dwListedSize));
            return rxAbandon(ERR_SHORTFILE);
        }
        const int committed = rxCommitTarget();
        if (committed < 0) return committed;
        const int written = putChar(ACK);
        if (written < 0) return written;
        if (trace()) DbgPrint("ACKing EOT");
        // An EOT before any block 0 brought no file: the target still waits for one.
        if (hasCurrentEntry() && m_nPacket > 0) ++m_itCurrent;
        armDeadline(kInBlockWaitMs);
        return RX_START;
    }
    case CAN: return setError(ERR_CANCELLED);
    default: return c < 0 ? c : rxAbandon(ERR_OUTOFSYNC);
    }
}

int CYModem::rxGetPacketNbr()
{
    const int c = getChar();
    if (c == ERR_NODATA) return m_nState;
    if (c < 0) return c;
    m_dwRxBlockNbr = static_cast<DWORD>(c);
    if (trace()) DbgPrint("RX Packet %d, Size %ld", c, static_cast<long>(m_dwPacketSize));
    armDeadline(kInBlockWaitMs);
    return RX_GET_COMPLIMENT;
}

int CYModem::rxGetCompliment()
{
    const int c = getChar();
    if (c == ERR_NODATA) return m_nState;
    if (c < 0) return c;
    if (m_dwRxBlockNbr + static_cast<DWORD>(c) == 255) {
        armDeadline(kInBlockWaitMs);
        return RX_GET_DATA;
    }
    if (trace()) DbgPrint("RX Bad Packet %d: Got=%d + %d != 255", m_nPacket, static_cast<int>(m_dwRxBlockNbr), c);
    return rxAbandon(ERR_BADPACKETNBR);
}

int CYModem::rxGetData()
{
    const int queued = CComPort::GetParameter(PAR_RXQUE);
    if (queued < 0) return setError(queued);
    if (static_cast<DWORD>(queued) < m_dwPacketSize) return m_nState;
    const int got = Gets(m_block, static_cast<int>(m_dwPacketSize));
    if (got < 0) return setError(got);
    if (static_cast<DWORD>(got) < m_dwPacketSize) return rxAbandon(ERR_SHORTPACKET);
    m_wCheck = 0;
    addToCheck(m_block, m_dwPacketSize);
    armDeadline(kInBlockWaitMs);
    return RX_GET_CRC;
}

int CYModem::rxGetCrc()
{
    const int c = getChar();
    if (c == ERR_NODATA) return m_nState;
    if (c < 0) return c;
    m_wRxCheck = static_cast<WORD>(c);
    armDeadline(kInBlockWaitMs);
    return RX_GET_2ND_CRC;
}

int CYModem::rxGet2ndCrc()
{
    const int c = getChar();
    if (c == ERR_NODATA) return m_nState;
    if (c < 0) return c;
    m_wRxCheck = static_cast<WORD>(m_wRxCheck * 256 + c);
    return RX_TEST_CRC;
}

int CYModem::rxTestCrc()
{
    if (m_bCancel) return cancel(true);
    if (trace())
        DbgPrint("Packet: #%d got %d, Size=%d, CRC is %x got %x", m_nPacket, static_cast<int>(m_dwRxBlockNbr),
                 static_cast<int>(m_dwPacketSize), m_wCheck, m_wRxCheck);
    if (m_wCheck == m_wRxCheck) return RX_PACKET_OK;
    const int written = putChar(NAK);
    if (written < 0) return written;
    ++m_dwNaks;
    return RX_WAIT4_SOH_STX;
}

int CYModem::rxWriteBlock()
{
    const DWORD left = m_dwFileSize - m_dwBytesDone;
    const DWORD count = left < m_dwPacketSize ? left : m_dwPacketSize;
    DWORD written = 0;
    if (count && (!WriteFile(m_hFile.get(), m_block, count, &written, nullptr) || written != count))
        return rxAbandon(ERR_SYSTEM);
    m_dwBytesDone += count;
    return 0;
}

// Received files take the real name only once whole, by a move over it, so
// that a failed or killed receive leaves an existing file as it was and no
// partial file under the real name. Whole means on the disk: a power cut
// after the move must not leave an empty file where the old one was.
int CYModem::rxOpenTarget()
{
    const char* target = m_itCurrent->szPath;
    if (trace()) DbgPrint("Creating '%s'", target);
    if (strlen(target) + sizeof kPartEnding > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return rxAbandon(ERR_SYSTEM);
    }
    CreateFolders(target);
    RemoveLeftParts(target);
    snprintf(m_szPartPath, sizeof m_szPartPath, "%s%s", target, kPartEnding);
    m_hFile.reset(CreateFileA(m_szPartPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (m_hFile.valid()) return 0;
    m_szPartPath[0] = '\0';  // not ours to delete
    return rxAbandon(ERR_SYSTEM);
}

int CYModem::rxCommitTarget()
{
    if (!m_szPartPath[0] || !hasCurrentEntry()) return 0;
    if (!FlushAndClose(m_hFile, m_szPartPath) || !RenameDurably(m_szPartPath, m_itCurrent->szPath))
        return rxAbandon(ERR_SYSTEM);
    m_szPartPath[0] = '\0';
    return 0;
}

// A receive given up while the device is still sending ends with the CAN
// exchange, so that the device is back in command mode for the next command.
// A device that fell silent or cancelled itself is not sent CAN.
int CYModem::rxAbandon(int code)
{
    const DWORD winError = GetLastError();
    exchangeCancel();
    SetLastError(winError);
    return setError(code);
}

int CYModem::rxBlock0()
{
    // The block need not hold a terminator of its own.
    char text[kLongBlockSize + 1];
    memcpy(text, m_block, m_dwPacketSize);
    text[m_dwPacketSize] = 0;
    const size_t nameLength = strlen(text);
    const char* sizeText = nameLength < m_dwPacketSize ? text + nameLength + 1 : "";
    bool sized = false;
    m_dwFileSize = ParseSize(sizeText, sized);
    // Without a size in block 0 the listing's size cuts the padding away;
    // taken as 0 it would give an empty file reported as whole.
    if (!sized) m_dwFileSize = m_dwListedSize;
    if (trace()) DbgPrint("PKT 0 BUFFER = %s %s, size=%u", text, sizeText, static_cast<unsigned>(m_dwFileSize));

    if (!hasCurrentEntry() && nameLength) {
        cancel(false);
        return RX_START;
    }
    if (!nameLength) {
        // A batch that closes before the asked-for file came is no empty
        // file and no success: the device had nothing to send.
        const int written = putChar(ACK);
        return written < 0 ? written : setError(hasCurrentEntry() ? ERR_NOFILESENT : 0);
    }
    const int opened = rxOpenTarget();
    if (opened < 0) return opened;
    m_nPacket = 1;
    m_nNextState = RX_GET_PACKET;
    const int written = putChar(ACK);
    return written < 0 ? written : static_cast<int>(RX_SEND_NCG);
}

// The device sends the last accepted block again when our ACK for it was
// lost. Writing it again would shift the rest of the file, so it is only
// acknowledged again; block 0 seen again also wants its "C" again.
int CYModem::rxRepeatedBlock()
{
    if (trace()) DbgPrint("RX Packet %d again, not written", static_cast<int>(m_dwRxBlockNbr));
    const int written = putChar(ACK);
    if (written < 0) return written;
    return m_nPacket == 1 ? static_cast<int>(RX_SEND_NCG) : static_cast<int>(RX_GET_PACKET);
}

int CYModem::rxPacketOk()
{
    if (m_bCancel) return cancel(true);
    if (m_nPacket == 0) return rxBlock0();
    if (m_dwRxBlockNbr == (static_cast<DWORD>(m_nPacket - 1) & 0xFF)) return rxRepeatedBlock();
    // A block skipped would leave a hole in the file that nothing shows.
    if (m_dwRxBlockNbr != (static_cast<DWORD>(m_nPacket) & 0xFF)) {
        if (trace()) DbgPrint("RX Packet %d where %d was due", static_cast<int>(m_dwRxBlockNbr), m_nPacket & 0xFF);
        return rxAbandon(ERR_BADPACKETNBR);
    }
    const int stored = rxWriteBlock();
    if (stored < 0) return stored;
    ++m_nPacket;
    const int written = putChar(ACK);
    return written < 0 ? written : static_cast<int>(RX_GET_PACKET);
}

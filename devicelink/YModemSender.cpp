// The sending half of the engine: one PC file, then the empty block 0 that
// closes the batch.
#include <cstdio>
#include <cstring>

#include "devicelink/CYModem.h"
#include "foundation/DbgLog.h"
#include "foundation/Ticks.h"

namespace {
constexpr int kBlockSends = 5;  // retries start at 1: four sends of one block
constexpr int kEotSends = 10;
constexpr DWORD kAckWaitMs = 10000;
constexpr DWORD kBlock0PauseMs = 500;
constexpr DWORD kNaksForShortBlocks = 3;
}  // namespace

int CYModem::txOpenFile()
{
    const char* path = m_itCurrent->szPath;
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &info)) return setError(ERR_SYSTEM);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        SetLastError(ERROR_ACCESS_DENIED);
        return setError(ERR_SYSTEM);
    }
    if (info.nFileSizeHigh) return setError(ERR_FILETOOLARGE);
    m_dwFileSize = info.nFileSizeLow;
    m_hFile.reset(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_hFile.valid()) return setError(ERR_SYSTEM);
    return 0;
}

int CYModem::txStart()
{
    m_bEndOfBatch = !hasCurrentEntry();
    m_dwBytesDone = m_dwNaks = m_dwFileSize = 0;
    if (!m_bEndOfBatch) {
        const int opened = txOpenFile();
        if (opened < 0) return opened;
    }
    m_dwWaitStart = TickNow();
    m_nNextState = TX_COMPUTE_PACKETS;
    return TX_WAIT4_NCG;
}

int CYModem::txWait4Ncg()
{
    const int c = getChar();
    if (c == ERR_NODATA) {
        if (elapsed(m_dwWaitStart, m_dwNcgTimeout, TickNow())) return setError(ERR_NOSTARTUPCHAR);
        return m_nState;
    }
    if (c < 0) return c;
    if (c != NAK && c != NCG_CRC) return m_nState;
    m_byNcg = static_cast<BYTE>(c);
    RxClear();
    if (trace()) DbgPrint("[NCG char is %s (%d)]", c == NAK ? "NAK" : "C", c);
    return m_nNextState;
}

void CYModem::buildBlock0()
{
    ZeroMemory(m_block, kBlockSize);
    const char* path = m_itCurrent->szPath;
    const char* slash = strrchr(path, '\\');
    const char* name = m_itCurrent->szName[0] ? m_itCurrent->szName : slash ? slash + 1 : path;
    char size[16];
    const int digits = snprintf(size, sizeof size, "%lu", static_cast<unsigned long>(m_dwFileSize));
    // A name too long for the block is cut so that its size still fits.
    const size_t room = kBlockSize - 2 - static_cast<size_t>(digits);
    const size_t nameLength = strlen(name) < room ? strlen(name) : room;
    memcpy(m_block, name, nameLength);
    memcpy(m_block + nameLength + 1, size, static_cast<size_t>(digits));
}

int CYModem::txReadDisk()
{
    if (m_bEndOfBatch) {
        m_dwPacketSize = kBlockSize;
        ZeroMemory(m_block, kBlockSize);
        return TX_PREPARE_PACKET;
    }
    if (m_nPacket == 0) {
        m_dwPacketSize = kBlockSize;
        buildBlock0();
        return TX_PREPARE_PACKET;
    }
    const bool longBlock = m_dwNaks < kNaksForShortBlocks && m_dwFileSize - m_dwBytesDone >= kLongBlockSize;
    m_dwPacketSize = longBlock ? kLongBlockSize : kBlockSize;
    memset(m_block, m_byPad, m_dwPacketSize);
    DWORD got = 0;
    if (!ReadFile(m_hFile.get(), m_block, m_dwPacketSize, &got, nullptr)) return setError(ERR_SYSTEM);
    return TX_PREPARE_PACKET;
}

int CYModem::txPreparePacket()
{
    m_nRetries = 1;
    m_nRetryLimit = kBlockSends;
    m_byHeader = m_dwPacketSize == kLongBlockSize ? STX : SOH;
    return TX_SEND_PACKET;
}

int CYModem::txSendPacket()
{
    if (m_bCancel) return cancel(true);
    const BYTE number = static_cast<BYTE>(m_nPacket & 0xFF);
    const BYTE header[] = {m_byHeader, number, static_cast<BYTE>(255 - number)};
    for (BYTE b : header) {
        const int written = putChar(b);
        if (written < 0) return written;
    }
    m_dwBytesSent = 0;
    m_wCheck = 0;
    m_pSend = m_block;
    return TX_SEND_DATA;
}

int CYModem::txSendData()
{
    const DWORD left = m_dwPacketSize - m_dwBytesSent;
    const DWORD n = m_dwBurstSize < left ? m_dwBurstSize : left;
    // A failed write stops at once rather than waiting out the ACK deadline.
    const int written = Puts(m_pSend, static_cast<int>(n));
    if (written < 0) return setError(written);
    if (trace())
        DbgPrint("Packet=%d Burst=%d Sleep=%ld", m_nPacket, static_cast<int>(n), static_cast<long>(m_dwBurstSleep));
    m_dwBytesSent += n;
    addToCheck(m_pSend, n);
    if (m_dwBytesSent < m_dwPacketSize) {
        m_pSend += n;
        m_dwNotBefore = TickNowNonZero(m_dwBurstSleep);
        return m_nState;
    }
    if (m_nPacket == 0) m_dwNotBefore = TickNowNonZero(kBlock0PauseMs);
    return TX_SEND_CHECKSUM;
}

int CYModem::txSendChecksum()
{
    RxClear();
    if (crcMode()) {
        const int high = putChar(static_cast<BYTE>(m_wCheck >> 8));
        if (high < 0) return high;
        const int low = putChar(static_cast<BYTE>(m_wCheck & 0xFF));
        if (low < 0) return low;
        if (trace())
            DbgPrint("Sent packet %d Size=%d NCG=%c CRC=%x", m_nPacket, static_cast<int>(m_dwPacketSize), m_byNcg,
                     m_wCheck);
    } else {
        const int sum = putChar(static_cast<BYTE>(m_wCheck & 0xFF));
        if (sum < 0) return sum;
        if (trace())
            DbgPrint("Sent packet %d Size=%d NCG=%c CheckSum=%x", m_nPacket, static_cast<int>(m_dwPacketSize), m_byNcg,
                     m_wCheck & 0xFF);
    }
    m_dwNotBefore = 0;
    armDeadline(kAckWaitMs);
    return TX_WAIT4_PACKET_ACK;
}

int CYModem::txWait4PacketAck()
{
    const int c = getChar();
    if (c == ERR_NODATA) return m_nState;
    if (c == ACK) {
        if (m_nPacket > 0) m_dwBytesDone += m_dwPacketSize;
        if (trace()) DbgPrint("Packet %d ACKed", m_nPacket);
        return TX_CHECK4_RESTART;
    }
    if (c == NAK) {
        ++m_nRetries;
        ++m_dwNaks;
        if (trace()) DbgPrint("Packet %d NAKed", m_nPacket);
        RxClear();
        return m_nRetries >= m_nRetryLimit ? setError(ERR_RETRIES) : static_cast<int>(TX_SEND_PACKET);
    }
    if (c == CAN) return setError(ERR_CANCELLED);
    if (trace()) DbgPrint("Packet %d expects ACK/NAK not %d", m_nPacket, c);
    return setError(ERR_OUTOFSYNC);
}

int CYModem::txCheck4Restart()
{
    if (m_bEndOfBatch || m_nPacket > 0) return TX_NEXT_PACKET;
    if (trace()) DbgPrint("Restart after packet 0");
    m_dwWaitStart = TickNow();
    m_nNextState = TX_NEXT_PACKET;
    return TX_WAIT4_NCG;
}

int CYModem::txNextPacket()
{
    if (m_dwBytesDone < m_dwFileSize) {
        ++m_nPacket;
        return TX_READ_DISK;
    }
    closeFile();
    if (m_bEndOfBatch) return setError(0);
    m_nRetries = kEotSends;
    return TX_SEND_EOT;
}

int CYModem::txSendEot()
{
    const int written = putChar(EOT);
    if (written < 0) return written;
    if (trace()) DbgPrint("EOT sent");
    m_dwWaitStart = TickNow();
    return TX_WAIT4_EOT_ACK;
}

int CYModem::txWait4EotAck()
{
    const int c = getChar();
    if (c == ACK) {
        if (trace()) DbgPrint("EOT was ACKed");
        ++m_itCurrent;
        return TX_START;
    }
    if (c != ERR_NODATA) return c < 0 ? c : m_nState;
    if (!elapsed(m_dwWaitStart, kEotWaitMs, TickNow())) return m_nState;
    if (--m_nRetries > 0) return TX_SEND_EOT;
    if (trace()) DbgPrint("EOT was not ACKed");
    return setError(ERR_NOEOTACK);
}

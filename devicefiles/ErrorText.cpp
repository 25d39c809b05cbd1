#include "devicefiles/ErrorText.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "resources/resource.h"

namespace {

void SystemErrorNumber(char* buffer, int size, DWORD winError)
{
    char format[64] = "";
    LoadResourceText(IDS_ERR_SYSTEMNUMBER, format, sizeof format);
    snprintf(buffer, static_cast<size_t>(size), format, static_cast<unsigned long>(winError));
}

}  // namespace

UINT ErrorTextId(int code)
{
    switch (code) {
    case -1:
    case CComPort::ERR_NOTOPEN:
    case -10:
    case -11:
    case -12: return IDS_ERR_PORTINIT;
    case -2: return IDS_ERR_WRONGSTATE;
    case -4: return IDS_ERR_NOMEMORY;
    case CComPort::ERR_NODATA: return IDS_ERR_BADRESPONSE;
    case CComPort::ERR_SYSTEM: return 0;
    case CComPort::ERR_BADPARAM: return IDS_ERR_BADPARAM;
    case -104:
    case -105:
    case -108: return IDS_ERR_CONNECTION;  // no start character, no EOT ack, out of sync
    case -106: return IDS_ERR_INTERNAL;
    case -107:
    case -112: return IDS_ERR_CANCELED;  // cancelled by the device, aborted here
    case -109:
    case -110:
    case -113: return IDS_ERR_WRONGPACKET;  // retries, block number, short block
    case -111: return IDS_ERR_TIMEDOUT;
    case CYModem::ERR_NOFILESENT: return IDS_ERR_NOFILESENT;
    case CYModem::ERR_SHORTFILE: return IDS_ERR_SHORTFILE;
    case CNotetaker::ERR_RESPONSE: return IDS_ERR_BADRESPONSE;
    case CNotetaker::ERR_TALOLOCKED: return IDS_ERR_TALOLOCKED;
    case CNotetaker::ERR_LOCKED: return IDS_ERR_LOCKED;
    case CNotetaker::ERR_MKDIR: return IDS_ERR_MKDIR;
    case CNotetaker::ERR_INVALIDPATH: return IDS_ERR_INVALIDPATH;
    case CNotetaker::ERR_INVALIDINDEXFILE: return IDS_ERR_INDEXFILE;
    case CNotetaker::ERR_UNSUPPORTED: return IDS_ERR_UNSUPPORTED;
    case CNotetaker::ERR_BUSY: return IDS_ERR_BUSY;
    case CNotetaker::ERR_NAMESAKE: return IDS_ERR_NAMESAKE;
    case CNotetaker::ERR_NAMETAKEN: return IDS_ERR_NAMETAKEN;
    case CNotetaker::ERR_COPYMISSING: return IDS_ERR_COPYMISSING;
    case CNotetaker::ERR_NOANSWER: return IDS_ERR_NOANSWER;
    case CNotetaker::ERR_FOLDERLOOP: return IDS_ERR_FOLDERLOOP;
    case CNotetaker::ERR_PATHTOOLONG: return IDS_ERR_PATHTOOLONG;
    default: return code < 0 ? IDS_ERR_UNKNOWN : 0;
    }
}

char* ErrorText(char* buffer, int size, int code, DWORD winError)
{
    if (!buffer || size <= 0) return nullptr;
    buffer[0] = '\0';
    if (code >= 0) return nullptr;
    if (code == CComPort::ERR_SYSTEM) {
        if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, winError,
                            LANG_USER_DEFAULT, buffer, static_cast<DWORD>(size), nullptr))
            SystemErrorNumber(buffer, size, winError);  // the platform has no words for it
        return buffer;
    }
    LoadResourceText(ErrorTextId(code), buffer, size);
    return buffer;
}

HRESULT ErrorHResult(int code)
{
    static const struct {
        int code;
        DWORD win32;
    } kWin32[] = {
        {CYModem::ERR_CANCELLED, ERROR_CANCELLED},
        {CYModem::ERR_ABORTED, ERROR_CANCELLED},
        {CNotetaker::ERR_INVALIDPATH, ERROR_PATH_NOT_FOUND},
        {CNotetaker::ERR_PATHTOOLONG, ERROR_FILENAME_EXCED_RANGE},
        {CYModem::ERR_NOFILESENT, ERROR_FILE_NOT_FOUND},
        {CNotetaker::ERR_BUSY, ERROR_BUSY},
        {CNotetaker::ERR_LOCKED, ERROR_BUSY},
        {CNotetaker::ERR_TALOLOCKED, ERROR_BUSY},
        {CYModem::ERR_TIMEDOUT, ERROR_TIMEOUT},
        {CComPort::ERR_NOTOPEN, ERROR_NOT_READY},
        {CNotetaker::ERR_NAMETAKEN, ERROR_ALREADY_EXISTS},
        {CNotetaker::ERR_NAMESAKE, ERROR_ALREADY_EXISTS},
        {CNotetaker::ERR_UNSUPPORTED, ERROR_NOT_SUPPORTED},
        {CYModem::ERR_FILETOOLARGE, ERROR_FILE_TOO_LARGE},
    };
    if (code >= 0) return S_OK;
    for (const auto& row : kWin32)
        if (row.code == code) return HRESULT_FROM_WIN32(row.win32);
    return HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
}

char* CNotetaker::GetErrorText(char* buffer, int size, int code)
{
    if (code == 0) code = LastResult();
    if (!buffer || size <= 0) return ErrorText(buffer, size, code, WinError());
    // Two results name what they are about: the silent ports, the folder a walk met again.
    char format[MAX_PATH] = "";
    if (code == ERR_NOANSWER && !m_silentPorts.empty()) {
        LoadResourceText(IDS_ERR_NOANSWER_ON, format, sizeof format);
        snprintf(buffer, static_cast<size_t>(size), format, PortNames(m_silentPorts).c_str());
    } else if (code == ERR_SYSTEM && LineFailed()) {
        lineFailureText(buffer, size);
    } else if (code == ERR_FOLDERLOOP) {
        LoadResourceText(IDS_ERR_FOLDERLOOP, format, sizeof format);
        snprintf(buffer, static_cast<size_t>(size), format, m_szWalkStop);
    } else {
        return ErrorText(buffer, size, code, WinError());
    }
    return buffer;
}

// The port that went, named, with the platform's words for what happened.
void CNotetaker::lineFailureText(char* buffer, int size)
{
    char format[MAX_PATH] = "", system[MAX_PATH] = "";
    ErrorText(system, sizeof system, ERR_SYSTEM, WinError());
    for (size_t end = strlen(system); end && isspace(static_cast<unsigned char>(system[end - 1])); --end)
        system[end - 1] = '\0';
    LoadResourceText(IDS_ERR_PORTLOST, format, sizeof format);
    snprintf(buffer, static_cast<size_t>(size), format, PortName(m_nPort + 1).c_str(), system);
}

std::string CNotetaker::GetErrorString(int code)
{
    char text[MAX_PATH];
    return GetErrorText(text, sizeof text, code) ? std::string(text) : std::string();
}

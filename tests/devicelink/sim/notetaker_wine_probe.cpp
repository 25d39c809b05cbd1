// Finds the stand-in note-taker over real Wine COM ports (the pseudo-terminal
// pair of notetaker_wine.sh) and identifies and lists it, as the shell would.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "devicefiles/DeviceEntry.h"
#include "devicelink/CNotetaker.h"
#include "foundation/DbgLog.h"

namespace {
int g_failures = 0;

void Check(bool ok, const char* what)
{
    printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    g_failures += !ok;
}

bool NoRetry() { return false; }

void PrintTrace(const char* text)
{
    if (strstr(text, "model ") || strstr(text, "checking port") || strstr(text, "baud rate is")) fputs(text, stdout);
}

void PrintListing(CNotetaker& nt, const char* path)
{
    const int count = nt.EnumFolder(path);
    printf("listing %s: %d entries\n", path, count);
    DeviceEntry e;
    for (int i = 0; i < count && nt.GetEntry(static_cast<size_t>(i), e) == 0; ++i)
        printf("  %-24s type %d %8lu bytes  %04u-%02u-%02u %02u:%02u\n", e.sName.c_str(), e.nType,
               static_cast<unsigned long>(e.nSize), e.stTime.wYear, e.stTime.wMonth, e.stTime.wDay, e.stTime.wHour,
               e.stTime.wMinute);
}
}  // namespace

// Usage: notetaker_wine_probe COMn-index|auto expected-model expected-name
int main(int argc, char** argv)
{
    if (argc < 4) return 2;
    const int port = strcmp(argv[1], "auto") == 0 ? -1 : atoi(argv[1]);
    SetRetryPrompt(NoRetry);
    DbgSetDebuggerOutput(PrintTrace);
    DbgOpen(DBG_NOTETAKER | DBG_TO_DEBUGGER, "", 0);

    CNotetaker nt(port, 1000, 5, 3);
    const DWORD start = GetTickCount();
    const int opened = nt.serialOpen(false);
    printf("detection took %lu ms, result %d, Windows error %lu\n", GetTickCount() - start, opened, nt.WinError());
    Check(opened == 0, "the stand-in note-taker is found");
    if (opened != 0) return 1;
    char name[16];
    nt.GetDeviceName(name, sizeof name);
    printf("found model %lu, name %s, firmware %u.%u on COM%d at %d baud\n", nt.GetDeviceType(), name,
           nt.FirmwareVersion() >> 8, nt.FirmwareVersion() & 0xFF, nt.GetParameter(CComPort::PAR_PORT) + 1,
           nt.GetParameter(CComPort::PAR_BAUDRATE));
    Check(nt.GetDeviceType() == static_cast<DWORD>(atoi(argv[2])), "model number");
    Check(strcmp(name, argv[3]) == 0, "model name");
    Check(nt.serialCmd("Hello from the PC", CNotetaker::DCMD_PRINT, nullptr, 0) == 0, "text shown on the display");
    Check(nt.serialCmd("R:\\nowhere\\x.txt", CNotetaker::DCMD_DELE, nullptr, 0) == CNotetaker::ERR_INVALIDPATH,
          "deleting a missing file gives the device's status");
    PrintListing(nt, "\\");
    PrintListing(nt, "R:\\letters\\");
    Check(nt.EnumFolder("R:\\letters\\") == 2, "two letters listed");
    printf("%d failure(s)\n", g_failures);
    return g_failures ? 1 : 0;
}

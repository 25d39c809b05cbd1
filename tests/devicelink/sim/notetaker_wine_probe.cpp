// Finds the stand-in note-taker over real Wine COM ports (the pseudo-terminal
// pair of notetaker_wine.sh) and identifies and lists it, as the shell would.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "devicelink/CNotetaker.h"

namespace {
int g_failures = 0;

void Check(bool ok, const char* what)
{
    printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    g_failures += !ok;
}

}  // namespace

// Usage: notetaker_wine_probe COMn-index|auto expected-model expected-name
int main(int argc, char** argv)
{
    if (argc < 4) return 2;
    CNotetaker nt(strcmp(argv[1], "auto") == 0 ? -1 : atoi(argv[1]), 1000, 5, 3);
    const int opened = nt.serialOpen(false);
    printf("detection gave %d, Windows error %lu\n", opened, nt.WinError());
    if (opened != 0) return 1;
    char name[16];
    nt.GetDeviceName(name, sizeof name);
    Check(nt.GetDeviceType() == static_cast<DWORD>(atoi(argv[2])), "model number");
    Check(strcmp(name, argv[3]) == 0, "model name");
    Check(nt.EnumFolder("R:\\letters\\") == 2, "two letters listed");
    printf("%d failure(s)\n", g_failures);
    return g_failures ? 1 : 0;
}

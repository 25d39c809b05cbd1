// Finds the stand-in note-taker over real Wine COM ports (the pseudo-terminal pair of notetaker_wine.sh) and identifies
// and lists it, as the shell would. Usage: notetaker_wine_probe COMn-index|auto expected-model expected-name
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "devicelink/CNotetaker.h"

int main(int argc, char** argv)
{
    if (argc < 4) return 2;
    CNotetaker nt(strcmp(argv[1], "auto") == 0 ? -1 : atoi(argv[1]), 1000, 5, 3);
    const int opened = nt.serialOpen(false);
    printf("detection gave %d, Windows error %lu\n", opened, nt.WinError());
    if (opened != 0) return 1;
    char name[16];
    nt.GetDeviceName(name, sizeof name);
    int failures = 0;
    for (const auto& check : {std::make_pair(nt.GetDeviceType() == static_cast<DWORD>(atoi(argv[2])), "model number"),
                              std::make_pair(strcmp(name, argv[3]) == 0, "model name"),
                              std::make_pair(nt.EnumFolder("R:\\letters\\") == 2, "two letters listed")}) {
        printf("%s: %s\n", check.first ? "ok  " : "FAIL", check.second);
        failures += !check.first;
    }
    printf("%d failure(s)\n", failures);
    return failures ? 1 : 0;
}

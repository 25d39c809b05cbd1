// The engine on a real Wine COM port against lrzsz: "rx" receives one batch per target path, "tx" sends each source
// path as a batch of its own. Usage: ymodem_lrzsz_probe rx|tx COM-number path...
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "devicelink/CYModem.h"

int main(int argc, char** argv)
{
    if (argc < 4) return 2;
    CYModem engine(atoi(argv[2]) - 1);
    // The note-taker's own settings: 115200 8N1, no flow control.
    engine.SetParameter(CComPort::PAR_RXQUESIZE, 1200);
    engine.SetParameter(CComPort::PAR_TXQUESIZE, 1200);
    engine.SetParameter(CComPort::PAR_BAUDRATE, 115200);
    engine.SetParameter(CComPort::PAR_FLOWCONTROL, 0);
    if (engine.Open() != 0) {
        printf("FAIL open COM%s: Windows error %lu\n", argv[2], engine.WinError());
        return 1;
    }
    int failures = 0;
    for (int i = 3; i < argc; ++i) {
        strcmp(argv[1], "rx") == 0 ? engine.RxStart(argv[i]) : engine.TxStart(argv[i]);
        // To its end, or a time-out after 90 s.
        for (const DWORD start = GetTickCount(); engine.Process() > 0 && GetTickCount() - start < 90000;) continue;
        const int result = engine.GetParameter(CYModem::PAR_STATE) ? CYModem::ERR_TIMEDOUT : engine.LastResult();
        printf("%s %s %s result=%d winerror=%lu\n", result ? "FAIL" : "ok  ", argv[1], argv[i], result,
               engine.WinError());
        fflush(stdout);
        failures += result != 0;
    }
    engine.Close();
    return failures ? 1 : 0;
}

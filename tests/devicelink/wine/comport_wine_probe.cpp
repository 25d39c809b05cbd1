// Drives CComPort over a real Wine COM port (COM5, a pseudo-terminal) against
// the peer in comport_wine.sh, which answers each line with its reverse.
#include <algorithm>
#include <cstdio>
#include <string>

#include "devicelink/CComPort.h"

namespace {
int g_failures = 0;

void Check(bool ok, const char* what)
{
    printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    g_failures += !ok;
}
}  // namespace

int main()
{
    CComPort port(4, 115200, NOPARITY, ONESTOPBIT, 8);
    if (port.Open() != 0) {
        printf("FAIL: open COM5 gave %d, Windows error %lu\n", port.LastResult(), port.WinError());
        return 1;
    }
    Check(port.SetParameter(CComPort::PAR_FLOWCONTROL, 0) == 0, "flow control off (line requests accepted)");
    Check(port.GetParameter(CComPort::PAR_CTS) == 1, "CTS follows RTS on");
    Check(port.SetParameter(CComPort::PAR_RTS, 0) == 0 && port.GetParameter(CComPort::PAR_CTS) == 0,
          "CTS follows RTS off");
    Check(port.SetParameter(CComPort::PAR_DTR, 0) == 0 && port.GetParameter(CComPort::PAR_DSR) == 0,
          "DSR follows DTR off");
    port.SetParameter(CComPort::PAR_RTS, 1);
    port.SetParameter(CComPort::PAR_DTR, 1);

    const std::string line = "Pellor \x01\x7F\xFE bytes\n";
    Check(port.Puts(line.data(), static_cast<int>(line.size())) == static_cast<int>(line.size()), "write a line");
    std::string reply;
    char buffer[256];
    for (const DWORD start = GetTickCount(); reply.size() < line.size() && GetTickCount() - start < 5000; Sleep(5))
        reply.append(buffer, static_cast<size_t>(std::max(0, port.Gets(buffer, sizeof buffer))));
    Check(reply == std::string(line.rbegin() + 1, line.rend()) + '\n', "the peer's reversed line comes back");
    Check(port.Gets(nullptr, 0) == 0 && port.Getc() == CComPort::ERR_NODATA, "nothing more waits");
    Check(port.RxClear() == 0 && port.TxClear() == 0 && port.Close() == 0, "purges and close work");
    printf("%d failure(s)\n", g_failures);
    return g_failures ? 1 : 0;
}

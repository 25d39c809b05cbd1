// Drives CComPort over a real Wine COM port (COM5, a pseudo-terminal) against
// the peer in comport_wine.sh, which answers each line with its reverse.
#include <cstdio>
#include <cstring>
#include <string>

#include "devicelink/CComPort.h"

namespace {
int g_failures = 0;

void Check(bool ok, const char* what)
{
    printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++g_failures;
}

std::string ReadFor(CComPort& port, size_t wanted, DWORD ms)
{
    std::string got;
    const DWORD start = GetTickCount();
    char buffer[256];
    while (got.size() < wanted && GetTickCount() - start < ms) {
        const int n = port.Gets(buffer, sizeof buffer);
        if (n > 0) got.append(buffer, n);
        else Sleep(5);
    }
    return got;
}
}  // namespace

int main()
{
    CComPort port(4, 115200, NOPARITY, ONESTOPBIT, 8);
    const int opened = port.Open();
    Check(opened == 0, "open COM5");
    if (opened) {
        printf("open gave %d, Windows error %lu\n", opened, port.WinError());
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
    const std::string reply = ReadFor(port, line.size(), 5000);
    std::string expected(line.rbegin() + 1, line.rend());
    expected += '\n';
    Check(reply == expected, "the peer's reversed line comes back");
    if (reply != expected) {
        printf("received %u byte(s):", static_cast<unsigned>(reply.size()));
        for (unsigned char c : reply) printf(" %02X", c);
        printf("\n");
    }
    Check(port.Gets(nullptr, 0) == 0 && port.Getc() == CComPort::ERR_NODATA, "nothing more waits");
    Check(port.RxClear() == 0 && port.TxClear() == 0, "purges work");
    Check(port.Close() == 0, "close");
    printf("%d failure(s)\n", g_failures);
    return g_failures ? 1 : 0;
}

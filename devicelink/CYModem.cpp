#include "devicelink/CYModem.h"

#include "foundation/DbgLog.h"

CYModem::CYModem(int port) : CComPort(port, 19200, NOPARITY, ONESTOPBIT, 8)
{
    if (DbgOn(DBG_YMODEM)) DbgPrint("CYModem::CYModem(COM%d)", port + 1);
}

CYModem::~CYModem()
{
    if (DbgOn(DBG_YMODEM)) DbgPrint("CYModem::~CYModem");
}

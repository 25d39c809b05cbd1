#pragma once
// The YModem transfer engine over the serial port.
#include "devicelink/CComPort.h"

class CYModem : public CComPort {
public:
    explicit CYModem(int port);
    ~CYModem();
};

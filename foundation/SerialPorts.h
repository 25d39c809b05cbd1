#pragma once
// The serial ports this PC has now: the registry's serial-port map (present
// ports only) with the friendly names of the Ports device class. No port is
// opened here. Tests put their own list in place of the PC's.
#include <windows.h>

#include <string>
#include <vector>

enum class PortKind { BuiltIn, Usb, Bluetooth };

struct SerialPort {
    int number = 0;        // 12 for COM12
    std::string friendly;  // "USB Serial Port", or empty when the PC gives none
    PortKind kind = PortKind::BuiltIn;
};

class IPortList {
public:
    virtual ~IPortList() = default;
    virtual std::vector<SerialPort> Ports() = 0;
};

// The present ports, by number; the PC's unless replaced.
std::vector<SerialPort> PresentPorts();
// Replaces the list (nullptr restores the PC's); returns the previous one.
IPortList* SetPortList(IPortList* list);

// 12 for "COM12" (1 to 256), else 0.
int PortNumber(const char* name);
// "COM12" for 12.
std::string PortName(int number);
// The kind a driver's device name tells: "\Device\Serial0" is built in,
// "\Device\BthModem0" Bluetooth, any other (VCP0, USBSER000, ...) USB.
PortKind PortKindOf(const char* device);
// "USB Serial Port (COM12)" without its " (COM12)"; "" when it names another port.
std::string FriendlyWithoutName(const std::string& friendly, int number);
// The ports of an open serial-port map key (value name: device; data: port name).
std::vector<SerialPort> ReadPortMap(HKEY map);
// "COM12, USB Serial Port", or "COM12" without a friendly name.
std::string PortLabel(const SerialPort& port);
const char* PortKindName(PortKind kind);  // "built-in", "USB", "Bluetooth"

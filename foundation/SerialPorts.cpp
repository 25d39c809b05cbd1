#include "foundation/SerialPorts.h"

#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/ScopedHandle.h"
#include "foundation/Registry.h"

namespace {

constexpr int kHighestPort = 256;
const char kPortMapKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
// The Ports device class: {4D36E978-E325-11CE-BFC1-08002BE10318}.
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

BOOL WINAPI DestroyDeviceInfoSet(HANDLE set) { return SetupDiDestroyDeviceInfoList(set); }
using DeviceInfoSet = ScopedHandle<DestroyDeviceInfoSet>;

bool StartsWithNoCase(const char* text, const char* head) { return _strnicmp(text, head, strlen(head)) == 0; }

// The friendly name of each port of the Ports class that has one, by number.
void AddFriendlyNames(std::vector<SerialPort>& ports)
{
    DeviceInfoSet set(SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!set.valid()) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        RegKey key;
        const HKEY opened = SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (opened != INVALID_HANDLE_VALUE) key.reset(opened);
        char name[32] = "", friendly[256] = "";
        DWORD size = sizeof name - 1;
        if (!key.valid() || RegQueryValueExA(key.get(), "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(name),
                                             &size) != ERROR_SUCCESS)
            continue;
        if (!SetupDiGetDeviceRegistryPropertyA(set.get(), &device, SPDRP_FRIENDLYNAME, nullptr,
                                               reinterpret_cast<BYTE*>(friendly), sizeof friendly - 1, nullptr))
            continue;
        const int number = PortNumber(name);
        for (SerialPort& port : ports)
            if (port.number == number && number) port.friendly = FriendlyWithoutName(friendly, number);
    }
}

class PcPorts final : public IPortList {
public:
    std::vector<SerialPort> Ports() override
    {
        RegKey map;
        if (map.open(HKEY_LOCAL_MACHINE, kPortMapKey, KEY_QUERY_VALUE) != ERROR_SUCCESS) return {};
        std::vector<SerialPort> ports = ReadPortMap(map.get());
        AddFriendlyNames(ports);
        return ports;
    }
};

PcPorts g_pc;
IPortList* g_list = &g_pc;

}  // namespace

std::vector<SerialPort> PresentPorts() { return g_list->Ports(); }

IPortList* SetPortList(IPortList* list)
{
    IPortList* previous = g_list;
    g_list = list ? list : &g_pc;
    return previous;
}

int PortNumber(const char* name)
{
    if (!name || strncmp(name, "COM", 3) != 0) return 0;
    char* end = nullptr;
    const long number = strtol(name + 3, &end, 10);
    if (end == name + 3 || *end || number < 1 || number > kHighestPort) return 0;
    return static_cast<int>(number);
}

PortKind PortKindOf(const char* device)
{
    const char* name = strrchr(device, '\\');
    name = name ? name + 1 : device;
    if (StartsWithNoCase(name, "Bth")) return PortKind::Bluetooth;
    const size_t digits = strspn(name + (StartsWithNoCase(name, "Serial") ? 6 : 0), "0123456789");
    const bool serial = StartsWithNoCase(name, "Serial") && digits > 0 && !name[6 + digits];
    return serial ? PortKind::BuiltIn : PortKind::Usb;
}

std::string FriendlyWithoutName(const std::string& friendly, int number)
{
    const std::string tail = " (COM" + std::to_string(number) + ")";
    if (friendly.size() > tail.size() && friendly.compare(friendly.size() - tail.size(), tail.size(), tail) == 0)
        return friendly.substr(0, friendly.size() - tail.size());
    return friendly.find("(COM") == std::string::npos ? friendly : std::string();
}

std::vector<SerialPort> ReadPortMap(HKEY map)
{
    std::vector<SerialPort> ports;
    for (DWORD i = 0;; ++i) {
        char device[256], name[32];
        DWORD deviceSize = sizeof device, nameSize = sizeof name - 1, type = REG_NONE;
        const LONG got =
            RegEnumValueA(map, i, device, &deviceSize, nullptr, &type, reinterpret_cast<BYTE*>(name), &nameSize);
        if (got == ERROR_NO_MORE_ITEMS) break;
        if (got != ERROR_SUCCESS || type != REG_SZ) continue;
        name[nameSize] = '\0';
        SerialPort port;
        port.number = PortNumber(name);
        port.kind = PortKindOf(device);
        const bool known =
            std::any_of(ports.begin(), ports.end(), [&](const SerialPort& p) { return p.number == port.number; });
        if (port.number && !known) ports.push_back(port);
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPort& a, const SerialPort& b) { return a.number < b.number; });
    return ports;
}

std::string PortName(int number) { return "COM" + std::to_string(number); }

std::string PortLabel(const SerialPort& port)
{
    const std::string name = PortName(port.number);
    return port.friendly.empty() ? name : name + ", " + port.friendly;
}

const char* PortKindName(PortKind kind)
{
    switch (kind) {
    case PortKind::Usb: return "USB";
    case PortKind::Bluetooth: return "Bluetooth";
    default: return "built-in";
    }
}

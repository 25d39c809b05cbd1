// The PC's serial ports as the registry's serial-port map gives them.
#include "foundation/SerialPorts.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/Registry.h"

namespace {

const char kMapKey[] = "Software\\Vostrel\\PellorTest\\SERIALCOMM";

std::string Describe(const std::vector<SerialPort>& ports)
{
    std::string text;
    for (const SerialPort& port : ports) text += PortLabel(port) + " " + PortKindName(port.kind) + "; ";
    return text;
}

// Each value: the driver's device, and the port name as data; only present
// ports of COM1 to COM256 count, each once, by number; the device tells the kind.
TEST(SerialPorts, TheMapGivesEachPresentPortOnceByNumberWithItsKind)
{
    DeleteRegTree(HKEY_CURRENT_USER, "Software\\Vostrel\\PellorTest");
    const std::pair<const char*, const char*> values[] = {
        {"\\Device\\VCP0", "COM12"},           {"\\Device\\Serial0", "COM1"},     {"\\Device\\BthModem0", "COM7"},
        {"\\Device\\USBSER000", "COM3"},       {"\\Device\\Serial1", "LPT1"},     {"\\Device\\Serial2", "COM257"},
        {"\\Device\\ProlificSerial0", "COM256"},
    };
    for (const auto& [device, name] : values) ASSERT_TRUE(WriteRegText(HKEY_CURRENT_USER, kMapKey, device, name));
    ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, kMapKey, "\\Device\\Serial4", 5));  // not a name
    RegKey map;
    ASSERT_EQ(map.open(HKEY_CURRENT_USER, kMapKey, KEY_QUERY_VALUE), ERROR_SUCCESS);
    EXPECT_EQ(Describe(ReadPortMap(map.get())),
              "COM1 built-in; COM3 USB; COM7 Bluetooth; COM12 USB; COM256 USB; ");
    map.close();
    DeleteRegTree(HKEY_CURRENT_USER, "Software\\Vostrel\\PellorTest");

    // A friendly name loses its own port's name; one naming another port is none.
    const struct {
        const char* friendly;
        int number;
        const char* label;
    } names[] = {
        {"USB Serial Port (COM12)", 12, "COM12, USB Serial Port"},
        {"Standard Serial over Bluetooth link (COM7)", 7, "COM7, Standard Serial over Bluetooth link"},
        {"USB Serial Port (COM1)", 12, "COM12"},
        {"Communications Port", 1, "COM1, Communications Port"},
    };
    for (const auto& n : names)
        EXPECT_EQ(PortLabel({n.number, FriendlyWithoutName(n.friendly, n.number)}), n.label) << n.friendly;
}

}  // namespace

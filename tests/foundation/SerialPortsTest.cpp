// The PC's serial ports as the registry's serial-port map gives them.
#include "foundation/SerialPorts.h"

#include <gtest/gtest.h>

#include "foundation/Registry.h"

namespace {

// Each value: the driver's device, and the port name as data; only present ports of COM1 to COM256 count, each once,
// by number; the device tells the kind. A friendly name loses its own port's name; one naming another port is none.
TEST(SerialPorts, TheMapGivesEachPresentPortOnceByNumberWithItsKindAndFriendlyName)
{
    const char kMap[] = "Software\\Vostrel\\PellorTest";
    DeleteRegTree(HKEY_CURRENT_USER, kMap);
    const char* const values[] = {
        "\\Device\\VCP0",    "COM12", "\\Device\\Serial0",         "COM1",   "\\Device\\BthModem0", "COM7",
        "\\Device\\Serial1", "LPT1",  "\\Device\\ProlificSerial0", "COM256", "\\Device\\Serial2",   "COM257"};
    for (int i = 0; i < 12; i += 2) ASSERT_TRUE(WriteRegText(HKEY_CURRENT_USER, kMap, values[i], values[i + 1]));
    ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, kMap, "\\Device\\Serial4", 5));  // not a name
    RegKey map;
    ASSERT_EQ(map.open(HKEY_CURRENT_USER, kMap, KEY_QUERY_VALUE), ERROR_SUCCESS);
    std::string ports;
    for (const SerialPort& port : ReadPortMap(map.get()))
        ports += PortLabel(port) + " " + PortKindName(port.kind) + "; ";
    EXPECT_EQ(ports, "COM1 built-in; COM7 Bluetooth; COM12 USB; COM256 USB; ");
    map.close();
    DeleteRegTree(HKEY_CURRENT_USER, kMap);

    EXPECT_EQ(FriendlyWithoutName("USB Serial Port (COM12)", 12) + FriendlyWithoutName("Port (COM1)", 12),
              "USB Serial Port");
}

}  // namespace

#include "foundation/CReg.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "foundation/DbgLog.h"
#include "foundation/Registry.h"
#include "foundation/SerialPorts.h"
#include "tests/support/TempDir.h"

namespace {

// A registry value as stored: a type and bytes; REG_NONE when there is none.
struct RegValue {
    DWORD type = REG_NONE;
    std::string bytes;
    bool operator==(const RegValue& other) const { return type == other.type && bytes == other.bytes; }
};
RegValue Dword(DWORD value) { return {REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4)}; }
RegValue Text(const std::string& text) { return {REG_SZ, std::string(text.c_str(), text.size() + 1)}; }

// Writes the value, or deletes it for REG_NONE; by default a setting of the user's.
void Put(const char* name, const RegValue& v, HKEY root = HKEY_CURRENT_USER, const char* key = CReg::kKey)
{
    if (v.type == REG_NONE) RegDeleteKeyValueA(root, key, name);
    else RegSetKeyValueA(root, key, name, v.type, v.bytes.data(), static_cast<DWORD>(v.bytes.size()));
}

RegValue Get(const char* name, HKEY root = HKEY_CURRENT_USER, const char* key = CReg::kKey)
{
    RegKey k;
    char data[2048];
    DWORD type = REG_NONE, size = sizeof data;
    if (k.open(root, key, KEY_QUERY_VALUE) != ERROR_SUCCESS ||
        RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return {};
    return {type, std::string(data, size)};
}

// Every setting in load order, so that whole settings compare at once.
std::string Describe(const CReg& r)
{
    std::string masks;
    for (const auto& mask : r.m_masks) masks += mask + ";";
    const DWORD* w = r.m_dwColumnWidths;
    char text[2048];
    snprintf(text, sizeof text,
             "Persistent %lu %lu %lu %lu|Backup Path %s|Log %s|Log Size %lu|Debug Flags 0x%lX|Port %s (%d)|"
             "Timeout %lu|Retries %lu|Transfer Retries %lu|Transfer Integrity %lu|Masks %s|Mask Count %lu",
             w[0], w[1], w[2], w[3], r.m_szBackupPath, r.m_szLogFile, r.m_dwLogSize, r.m_dwDebugFlags, r.m_szPort,
             r.getPortIndex(), r.m_dwTimeout, r.m_dwRetries, r.m_dwTransferRetries, r.m_dwTransferIntegrity,
             masks.c_str(), r.m_dwMaskCount);
    return text;
}

const CLSID kTestClsid = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
const char* const kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// No settings in either hive, and "My Documents" in a temporary folder.
class CRegTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) DeleteRegTree(root, "Software\\Vostrel");
        savedDocs_ = Get("Personal", HKEY_CURRENT_USER, kShellFolders);
        Put("Personal", Text(docs_.path()), HKEY_CURRENT_USER, kShellFolders);
    }
    void TearDown() override
    {
        Put("Personal", savedDocs_, HKEY_CURRENT_USER, kShellFolders);
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) DeleteRegTree(root, "Software\\Vostrel");
        DbgOpen(0, "", 0);
        DbgClose();
    }
    std::string ini() const { return docs_.file("Pellor\\desktop.ini"); }
    std::string defaultBackup() const { return docs_.path() + "\\Pellor\\Backup\\"; }

    TempDir docs_;
    RegValue savedDocs_;
};

// What each setting is when neither hive holds it, and when the user's holds
// it with the wrong type or size; then what the machine-wide hive gives in its
// place, but not for the backup path.
// A fresh object each time, so that nothing is left over from a read before.
TEST_F(CRegTest, MissingValuesAndValuesOfTheWrongTypeOrSizeGiveTheMachineWideOnesOrTheDefaults)
{
    const std::string defaults = "Persistent 200 75 100 300|Backup Path " + defaultBackup() +
                                 "|Log |Log Size 512|Debug Flags 0x0|Port COM (-1)|Timeout 3000|Retries 5|"
                                 "Transfer Retries 3|Transfer Integrity 0|Masks *.txt;*.crv;*.doc;|Mask Count 9";
    CReg empty(false, kTestClsid), wrong(false, kTestClsid), machine(false, kTestClsid);
    empty.load();
    EXPECT_EQ(Describe(empty), defaults);
    const std::string bytes = "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C";
    const std::pair<const char*, RegValue> values[] = {
        {"Persistent", {REG_BINARY, bytes}},
        {"Port", {REG_DWORD, bytes.substr(0, 4)}},
        {"Retries", {REG_DWORD, bytes.substr(0, 8)}},
    };
    for (const auto& [name, raw] : values) Put(name, raw);
    wrong.load();
    EXPECT_EQ(Describe(wrong), defaults);

    Put("Port", Text("COM2"), HKEY_LOCAL_MACHINE);
    Put("Backup Path", Text("C:\\everyone\\"), HKEY_LOCAL_MACHINE);
    machine.load();
    EXPECT_EQ(Describe(machine), "Persistent 200 75 100 300|Backup Path " + defaultBackup() +
                                     "|Log |Log Size 512|Debug Flags 0x0|Port COM2 (1)|Timeout 3000|Retries 5|"
                                     "Transfer Retries 3|Transfer Integrity 0|Masks *.txt;*.crv;*.doc;|Mask Count 9");
}

// A fresh object reads back every saved value (all but the mask count, which
// is never written), so each was written with its type and size, to the
// user's hive only, whose values win over the machine-wide ones.
TEST_F(CRegTest, SavedValuesComeBackInAFreshObjectAndTheLogTakesThem)
{
    {
        CReg reg(false, kTestClsid);
        reg.load();
        reg.setPortIndex(2);
        reg.m_dwColumnWidths[3] = 444;
        reg.m_dwTimeout = 2500;
        reg.m_dwRetries = 7;
        reg.m_dwTransferRetries = 9;
        reg.m_dwTransferIntegrity = 1;
        strcpy(reg.m_szBackupPath, "D:\\Backups\\Notes\\");
        strcpy(reg.m_szLogFile, docs_.file("pellor.log").c_str());
        reg.m_dwDebugFlags = DBG_TO_FILE | DBG_NOTETAKER;
        reg.m_dwLogSize = 1;
        reg.m_masks = {"*.brl", "", "notes*"};
        reg.m_dwMaskCount = 3;
        ASSERT_TRUE(reg.save());
    }
    // Saving reopens the log with the saved flags, file and limit (Log Size x 1024 bytes).
    EXPECT_EQ(DbgFlags(), static_cast<uint32_t>(DBG_TO_FILE | DBG_NOTETAKER));
    for (int i = 0; i < 30; ++i) DbgPrint("%s", std::string(100, 'x').c_str());
    DbgClose();
    const std::string kept = TempDir::ReadAll(docs_.file("pellor.log"));
    EXPECT_TRUE(kept.size() == 1024 && kept.back() == '\n') << kept.size();
    EXPECT_EQ(Get("Port"), Text("COM3"));
    EXPECT_EQ(Get("Masks"), (RegValue{REG_MULTI_SZ, std::string("*.brl\0notes*\0\0", 14)}));
    EXPECT_TRUE(Get("Mask Count").type == REG_NONE && Get("Port", HKEY_LOCAL_MACHINE).type == REG_NONE);
    Put("Debug Flags", Dword(0x0300), HKEY_LOCAL_MACHINE);
    CReg fresh(false, kTestClsid);
    fresh.load();
    EXPECT_EQ(Describe(fresh), "Persistent 200 75 100 444|Backup Path D:\\Backups\\Notes\\|Log " +
                                   docs_.file("pellor.log") +
                                   "|Log Size 1|Debug Flags 0x204|Port COM3 (2)|Timeout 2500|Retries 7|"
                                   "Transfer Retries 9|Transfer Integrity 1|Masks *.brl;notes*;|Mask Count 9");
    fresh.m_masks.clear();  // an emptied history stays empty, not the defaults
    ASSERT_TRUE(fresh.save());
    fresh.load();
    EXPECT_TRUE(fresh.m_masks.empty());

    // The process-wide object saves when destroyed.
    ASSERT_TRUE(CreateSettings(kTestClsid));
    Settings()->m_dwRetries = 2;
    DestroySettings();
    EXPECT_TRUE(Settings() == nullptr && Get("Retries") == Dword(2));
}

// The port's index counts every port Windows numbers, COM1 to COM256; where
// the note-taker last answered is the registry's, never put back by a save of
// settings loaded before. A mask used again moves to the front as typed, and a
// new one past the limit pushes out the oldest.
TEST_F(CRegTest, PortTextAndItsIndexTheLastPortAndTheMaskHistory)
{
    CReg reg(false, kTestClsid);
    const std::pair<const char*, int> texts[] = {{"COM12", 11}, {"COM256", 255}, {"COM257", -1}, {"COM", -1},
                                                 {"LPT1", -1},  {"COM0", -1},    {"COM3x", -1}};
    for (const auto& [text, index] : texts) EXPECT_EQ((strcpy(reg.m_szPort, text), reg.getPortIndex()), index) << text;
    EXPECT_TRUE(reg.setPortIndex(255) && !strcmp(reg.m_szPort, "COM256"));
    EXPECT_TRUE(reg.setPortIndex(256) && !strcmp(reg.m_szPort, "COM"));

    int port = 0;
    DWORD baud = 1;
    reg.load();
    CReg::WriteLastPort(11, 38400);
    EXPECT_TRUE(reg.save() && CReg::ReadLastPort(port, baud) && port == 11 && baud == 38400);
    EXPECT_EQ(Get("Last Port"), Text("COM12"));

    reg.m_masks = {"*.txt", "*.crv", "*.doc"};
    reg.m_dwMaskCount = 3;
    reg.rememberMask("*.DOC");
    reg.rememberMask("a*");
    EXPECT_EQ(reg.m_masks, (std::vector<std::string>{"a*", "*.DOC", "*.txt"}));
}

// "desktop.ini" names the class that opens the folder as the device; hiding
// the folder removes it, and the folder with it when empty.
TEST_F(CRegTest, ShowingUnderMyDocumentsWritesDesktopIniAndHidingRemovesItAndTheEmptyFolder)
{
    CReg reg(false, kTestClsid);
    ASSERT_TRUE(reg.SetUnderMyDocs(true));
    EXPECT_NE(TempDir::ReadAll(ini()).find("\nCLSID2={12345678-9ABC-DEF0-0123-456789ABCDEF}\n"), std::string::npos);
    EXPECT_TRUE(reg.isUnderMyDocs() && PathIsSystemFolderA(docs_.file("Pellor").c_str(), 0));
    ASSERT_TRUE(reg.SetUnderMyDocs(false));
    EXPECT_FALSE(TempDir::Exists(docs_.file("Pellor")));
}

// The readers below the settings: text counts only when it fits with its zero.
TEST_F(CRegTest, TextAndListValuesAsStored)
{
    char buffer[8];
    Put("Port", Text("ABCDEFGH"));  // no room left for the zero
    EXPECT_FALSE(ReadRegText(CReg::kKey, "Port", buffer, sizeof buffer, "a long default"));
    EXPECT_STREQ(buffer, "a long ");  // the default, cut to the buffer
    Put("Port", {REG_SZ, "COM2"});    // stored without its zero
    EXPECT_TRUE(ReadRegText(CReg::kKey, "Port", buffer, sizeof buffer, nullptr) && !strcmp(buffer, "COM2"));

    // A list needs no final zeros, and replaces what was there.
    std::vector<std::string> list = {"stale"};
    Put("Masks", {REG_MULTI_SZ, std::string("ab\0cd", 5)});
    EXPECT_TRUE(ReadRegMultiText(HKEY_CURRENT_USER, CReg::kKey, "Masks", list) &&
                list == std::vector<std::string>({"ab", "cd"}));
}

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

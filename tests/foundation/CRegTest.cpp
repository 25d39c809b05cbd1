#include "foundation/CReg.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/DbgLog.h"
#include "foundation/Registry.h"
#include "tests/support/TempDir.h"

namespace {

// Registry values written and read back by hand, as stored: a type and bytes; REG_NONE when there is none.
struct RegValue {
    DWORD type = REG_NONE;
    std::string bytes;
    bool operator==(const RegValue& other) const { return type == other.type && bytes == other.bytes; }
};
RegValue Dword(DWORD value) { return {REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4)}; }
RegValue Text(const std::string& text) { return {REG_SZ, std::string(text.c_str(), text.size() + 1)}; }

// Writes the value, or deletes it for REG_NONE; by default a setting of the user's.
void Put(const char* name, const RegValue& value, HKEY root = HKEY_CURRENT_USER, const char* key = CReg::kKey)
{
    RegKey k;
    ASSERT_EQ(k.create(root, key, KEY_WRITE), ERROR_SUCCESS);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(value.bytes.data());
    if (value.type == REG_NONE) RegDeleteValueA(k.get(), name);
    else RegSetValueExA(k.get(), name, 0, value.type, bytes, static_cast<DWORD>(value.bytes.size()));
}

RegValue Get(const char* name, HKEY root = HKEY_CURRENT_USER, const char* key = CReg::kKey)
{
    RegValue value;
    RegKey k;
    char data[2048];
    DWORD size = sizeof data;
    if (k.open(root, key, KEY_QUERY_VALUE) != ERROR_SUCCESS ||
        RegQueryValueExA(k.get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return RegValue();
    value.bytes.assign(data, size);
    return value;
}

const CLSID kTestClsid = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
const char* const kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr DWORD kIniAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
const std::vector<std::string> kDefaultMasks = {"*.txt", "*.crv", "*.doc"};

// Each test starts and ends with no settings in either hive, and with
// "My Documents" moved into a temporary folder so that nothing lands in the real one.
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

// A value of the wrong type or size counts as missing: what loads is what an
// empty registry gives.
TEST_F(CRegTest, ValuesOfWrongTypeOrSizeCountAsMissing)
{
    CReg empty(false, kTestClsid), reg(false, kTestClsid);
    empty.load();
    const std::string bytes = "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C";
    const struct {
        const char* name;
        RegValue raw;
    } values[] = {
        {"Persistent", {REG_BINARY, bytes}},
        {"Port", {REG_DWORD, bytes.substr(0, 4)}},
        {"Debug Flags", Text("768")},
        {"Timeout", Text("1000")},
        {"Retries", {REG_DWORD, bytes.substr(0, 8)}},
        {"Transfer Retries", {REG_BINARY, bytes.substr(0, 4)}},
        {"Transfer Integrity", {REG_QWORD, bytes.substr(0, 8)}},
        {"Backup Path", {REG_EXPAND_SZ, std::string("C:\\x\\", 6)}},
        {"Log", {REG_MULTI_SZ, std::string("a.log\0", 7)}},
        {"Log Size", {REG_DWORD, bytes.substr(0, 3)}},
        {"Masks", Text("*.brl")},
        {"Mask Count", {REG_BINARY, bytes.substr(0, 4)}},
    };
    for (const auto& v : values) Put(v.name, v.raw);
    reg.load();
    EXPECT_TRUE(!strcmp(reg.m_szPort, empty.m_szPort) && !memcmp(reg.m_dwColumnWidths, empty.m_dwColumnWidths, 16));
    EXPECT_TRUE(reg.m_dwDebugFlags == empty.m_dwDebugFlags && reg.m_dwTimeout == empty.m_dwTimeout &&
                reg.m_dwRetries == empty.m_dwRetries && reg.m_dwTransferRetries == empty.m_dwTransferRetries &&
                reg.m_dwTransferIntegrity == empty.m_dwTransferIntegrity && reg.m_dwLogSize == empty.m_dwLogSize &&
                reg.m_dwMaskCount == empty.m_dwMaskCount);
    EXPECT_TRUE(!strcmp(reg.m_szBackupPath, empty.m_szBackupPath) && !strcmp(reg.m_szLogFile, empty.m_szLogFile) &&
                reg.m_masks == empty.m_masks);
    EXPECT_EQ(empty.m_szBackupPath, defaultBackup());
}

// What each setting is when neither hive holds it.
TEST_F(CRegTest, EverySettingHasItsDefaultWhenNeitherHiveHoldsIt)
{
    CReg reg(false, kTestClsid);
    reg.load();
    const DWORD widths[] = {200, 75, 100, 300};
    const struct {
        const char* setting;
        bool right;
    } rows[] = {
        {"Port: COM, detect", std::string(reg.m_szPort) == "COM"},
        {"Persistent: 200, 75, 100, 300", !memcmp(reg.m_dwColumnWidths, widths, sizeof widths)},
        {"Debug Flags: 0", reg.m_dwDebugFlags == 0},
        {"Timeout: 3000", reg.m_dwTimeout == 3000},
        {"Retries: 5", reg.m_dwRetries == 5},
        {"Transfer Retries: 3", reg.m_dwTransferRetries == 3},
        {"Transfer Integrity: 0", reg.m_dwTransferIntegrity == 0},
        {"Backup Path: My Documents\\Pellor\\Backup\\", reg.m_szBackupPath == defaultBackup()},
        {"Log: none", reg.m_szLogFile[0] == '\0'},
        {"Log Size: 512", reg.m_dwLogSize == 512},
        {"Masks: *.txt, *.crv, *.doc", reg.m_masks == kDefaultMasks},
        {"Mask Count: 9", reg.m_dwMaskCount == 9},
    };
    for (const auto& row : rows) EXPECT_TRUE(row.right) << row.setting;
}

TEST_F(CRegTest, MachineWideValuesStandInForMissingUserValuesButNotForPathOrMasks)
{
    Put("Timeout", Dword(4500), HKEY_LOCAL_MACHINE);
    Put("Debug Flags", Dword(0x2300), HKEY_LOCAL_MACHINE);
    Put("Port", Text("COM2"), HKEY_LOCAL_MACHINE);
    Put("Timeout", Text("wrong type"));
    Put("Backup Path", Text("C:\\everyone\\"), HKEY_LOCAL_MACHINE);
    Put("Masks", RegValue{REG_MULTI_SZ, std::string("*.brf\0\0", 7)}, HKEY_LOCAL_MACHINE);
    CReg reg(false, kTestClsid);
    reg.load();
    EXPECT_TRUE(reg.m_dwTimeout == 4500 && reg.m_dwDebugFlags == 0x2300 && reg.getPortIndex() == 1);
    EXPECT_TRUE(reg.m_szBackupPath == defaultBackup() && reg.m_masks == kDefaultMasks);
    // Once saved, the user's own copy wins over a changed machine-wide one.
    reg.m_dwDebugFlags = 0;
    ASSERT_TRUE(reg.save());
    Put("Debug Flags", Dword(0x0300), HKEY_LOCAL_MACHINE);
    reg.load();
    EXPECT_EQ(reg.m_dwDebugFlags, 0u);
    EXPECT_EQ(Get("Port", HKEY_LOCAL_MACHINE), Text("COM2"));  // saving writes the user's hive only
}

TEST_F(CRegTest, SavedValuesComeBackInAFreshObjectWithTheirRegistryTypesAndTheLogTakesThem)
{
    {
        CReg reg(false, kTestClsid);
        reg.load();
        reg.setPortIndex(2);
        reg.m_dwColumnWidths[3] = 444;
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
    const DWORD widths[4] = {200, 75, 100, 444};
    EXPECT_EQ(Get("Persistent"), (RegValue{REG_BINARY, std::string(reinterpret_cast<const char*>(widths), 16)}));
    EXPECT_EQ(Get("Port"), Text("COM3"));
    EXPECT_EQ(Get("Masks"), (RegValue{REG_MULTI_SZ, std::string("*.brl\0notes*\0\0", 14)}));
    EXPECT_EQ(Get("Transfer Integrity"), Dword(1));
    EXPECT_EQ(Get("Mask Count").type, static_cast<DWORD>(REG_NONE));
    CReg fresh(false, kTestClsid);
    fresh.load();
    EXPECT_TRUE(fresh.getPortIndex() == 2 && !memcmp(fresh.m_dwColumnWidths, widths, sizeof widths) &&
                fresh.m_dwTransferRetries == 9 && !strcmp(fresh.m_szBackupPath, "D:\\Backups\\Notes\\"));
    EXPECT_EQ(fresh.m_masks, (std::vector<std::string>{"*.brl", "notes*"}));
    EXPECT_EQ(fresh.m_dwMaskCount, 9u);  // never written
    fresh.m_masks.clear();               // an emptied history stays empty, not the defaults
    ASSERT_TRUE(fresh.save());
    fresh.load();
    EXPECT_TRUE(fresh.m_masks.empty());

    // The process-wide object loads when made and saves when destroyed.
    Put("Retries", Dword(8));
    ASSERT_TRUE(CreateSettings(kTestClsid));
    EXPECT_EQ(Settings()->m_dwRetries, 8u);
    Settings()->m_dwRetries = 2;
    DestroySettings();
    EXPECT_TRUE(Settings() == nullptr && Get("Retries") == Dword(2));
}

TEST_F(CRegTest, PortTextAndItsIndexAndTheMaskHistory)
{
    CReg reg(false, kTestClsid);
    const struct {
        const char* text;
        int index;
    } cases[] = {
        {"COM1", 0}, {"COM4", 3}, {"COM", -1}, {"COM0", -1}, {"COM7", -1}, {"com2", -1}, {"COM2x", 1},
    };
    for (const auto& c : cases) EXPECT_EQ((strcpy(reg.m_szPort, c.text), reg.getPortIndex()), c.index) << c.text;
    const struct {
        int index;
        const char* text;
    } sets[] = {{-1, "COM"}, {2, "COM3"}, {4, "COM"}};
    for (const auto& c : sets) EXPECT_TRUE(reg.setPortIndex(c.index) && !strcmp(reg.m_szPort, c.text)) << c.index;

    reg.m_masks = kDefaultMasks;
    reg.m_dwMaskCount = 3;
    const struct {
        const char* mask;
        DWORD count;
        std::vector<std::string> after;
    } masks[] = {
        {"*.TXT", 3, kDefaultMasks},                // already first, in any case
        {"*.DOC", 3, {"*.DOC", "*.txt", "*.crv"}},  // moved to the front, as typed
        {"a*", 3, {"a*", "*.DOC", "*.txt"}},        // new: the oldest drops out
        {"b*", 0, {"b*", "a*", "*.DOC", "*.txt"}},  // no limit
    };
    for (const auto& m : masks) {
        reg.m_dwMaskCount = m.count;
        reg.rememberMask(m.mask);
        EXPECT_EQ(reg.m_masks, m.after) << m.mask;
    }
}

// "desktop.ini" holds the shell class, is hidden, system and read-only, and
// is replaced on the next write; hiding the folder removes it, and the folder
// too unless it holds backups; one that is not hidden does not count.
TEST_F(CRegTest, ShowingUnderMyDocumentsWritesDesktopIniAndHidingRemovesItAndTheEmptyFolder)
{
    CReg reg(false, kTestClsid);
    EXPECT_FALSE(reg.isUnderMyDocs());
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(reg.SetUnderMyDocs(true));
        EXPECT_EQ(TempDir::ReadAll(ini()),
                  "[.ShellClassInfo]\nCLSID2={12345678-9ABC-DEF0-0123-456789ABCDEF}\n"
                  "ConfirmFileOp=1\nNoSharing=1\n"
                  "InfoTip=Gives you access to the files on your note taker.");
        EXPECT_EQ(GetFileAttributesA(ini().c_str()) & (kIniAttributes | FILE_ATTRIBUTE_DIRECTORY), kIniAttributes);
        EXPECT_TRUE(reg.isUnderMyDocs() && PathIsSystemFolderA(docs_.file("Pellor").c_str(), 0));
        ASSERT_TRUE(reg.createDesktopIni(ini().c_str()));  // over the read-only one
    }
    EXPECT_FALSE(reg.createDesktopIni(docs_.file("missing\\desktop.ini").c_str()));
    ASSERT_TRUE(reg.SetUnderMyDocs(false));
    EXPECT_FALSE(TempDir::Exists(docs_.file("Pellor")));

    ASSERT_TRUE(reg.SetUnderMyDocs(true));
    const std::string backup = docs_.file("Pellor\\Backup");
    ASSERT_TRUE(CreateDirectoryA(backup.c_str(), nullptr) && TempDir::WriteAll(backup + "\\notes.txt", "hello"));
    ASSERT_TRUE(reg.SetUnderMyDocs(false));
    EXPECT_TRUE(!TempDir::Exists(ini()) && TempDir::ReadAll(backup + "\\notes.txt") == "hello");
    ASSERT_TRUE(TempDir::WriteAll(ini(), "[.ShellClassInfo]\nCLSID2={old}\n"));
    ASSERT_TRUE(SetFileAttributesA(ini().c_str(), kIniAttributes & ~FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(reg.isUnderMyDocs());
    ASSERT_TRUE(reg.SetUnderMyDocs(true));
    EXPECT_NE(TempDir::ReadAll(ini()).find("{12345678-9ABC-DEF0-0123-456789ABCDEF}"), std::string::npos);
    reg.SetUnderMyDocs(false);
}

// The registry functions below the settings; DeleteRegTree on nested keys, and on a missing one, is
// shown by registry_wine's unregistrations.
TEST_F(CRegTest, TextCountsOnlyWhenItFitsWithItsZero)
{
    char buffer[8];
    Put("Port", {REG_SZ, std::string("COMMANDER", 10)});
    EXPECT_FALSE(ReadRegText(CReg::kKey, "Port", buffer, sizeof buffer, "a long default"));
    EXPECT_STREQ(buffer, "a long ");  // the default, cut to the buffer
    const struct {
        std::string stored;
        bool found;
        const char* read;
    } rows[] = {
        {std::string("COM1234", 8), true, "COM1234"},
        {"COM2", true, "COM2"},   // stored without its zero
        {"ABCDEFGH", false, ""},  // no room left for the zero
    };
    for (const auto& r : rows) {
        Put("Port", {REG_SZ, r.stored});
        EXPECT_EQ(ReadRegText(CReg::kKey, "Port", buffer, sizeof buffer, nullptr), r.found) << r.read;
        EXPECT_STREQ(buffer, r.read);
    }
}

TEST_F(CRegTest, MultiTextSkipsEmptyEntriesAndStopsAtTheFirstEmptyText)
{
    ASSERT_TRUE(WriteRegMultiText(HKEY_CURRENT_USER, CReg::kKey, "Masks", {"*.txt", "", "*.brl"}));
    const RegValue written = Get("Masks");
    EXPECT_EQ(written, (RegValue{REG_MULTI_SZ, std::string("*.txt\0*.brl\0\0", 13)}));
    const struct {
        RegValue stored;
        std::vector<std::string> read;
    } rows[] = {
        {written, {"*.txt", "*.brl"}},
        {RegValue{REG_MULTI_SZ, std::string("a\0\0b\0\0", 6)}, {"a"}},
        {RegValue{REG_MULTI_SZ, std::string("ab\0cd", 5)}, {"ab", "cd"}},  // without its final zeros
        {Text("*.txt"), {}},
    };
    for (const auto& r : rows) {
        std::vector<std::string> list = {"stale"};
        Put("Masks", r.stored);
        EXPECT_EQ(ReadRegMultiText(HKEY_CURRENT_USER, CReg::kKey, "Masks", list), r.stored.type == REG_MULTI_SZ);
        EXPECT_EQ(list, r.read);
    }
}

}  // namespace

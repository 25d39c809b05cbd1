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

const CLSID kTestClsid = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
const char* const kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr DWORD kIniAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
const std::vector<std::string> kDefaultMasks = {"*.txt", "*.crv", "*.doc"};

// A value as stored: its type (REG_NONE when there is none) and bytes.
struct Raw {
    DWORD type = REG_NONE;
    std::string bytes;
    bool operator==(const Raw& other) const { return type == other.type && bytes == other.bytes; }
};

Raw Dword(DWORD value) { return {REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value)}; }
Raw Text(const std::string& text) { return {REG_SZ, std::string(text.c_str(), text.size() + 1)}; }

void Put(HKEY root, const char* key, const char* name, const Raw& raw)
{
    RegKey k;
    ASSERT_EQ(k.create(root, key, KEY_WRITE), ERROR_SUCCESS);
    if (raw.type == REG_NONE)
        RegDeleteValueA(k.get(), name);
    else
        ASSERT_EQ(RegSetValueExA(k.get(), name, 0, raw.type, reinterpret_cast<const BYTE*>(raw.bytes.data()),
                                 static_cast<DWORD>(raw.bytes.size())),
                  ERROR_SUCCESS);
}
void Put(HKEY root, const char* name, const Raw& raw) { Put(root, CReg::kKey, name, raw); }
void Put(const char* name, DWORD type, const char* data, DWORD size)
{
    Put(HKEY_CURRENT_USER, name, Raw{type, std::string(data, size)});
}

Raw Get(HKEY root, const char* key, const char* name)
{
    Raw raw;
    RegKey k;
    char data[2048];
    DWORD size = sizeof data;
    if (k.open(root, key, KEY_QUERY_VALUE) != ERROR_SUCCESS ||
        RegQueryValueExA(k.get(), name, nullptr, &raw.type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return Raw();
    raw.bytes.assign(data, size);
    return raw;
}
Raw Get(const char* name) { return Get(HKEY_CURRENT_USER, CReg::kKey, name); }

// Each test starts and ends with no settings in either hive, and with
// "My Documents" moved into a temporary folder so that nothing lands in the real one.
class CRegTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CleanRegistry();
        savedDocs_ = Get(HKEY_CURRENT_USER, kShellFolders, "Personal");
        Put(HKEY_CURRENT_USER, kShellFolders, "Personal", Text(docs_.path()));
    }
    void TearDown() override
    {
        Put(HKEY_CURRENT_USER, kShellFolders, "Personal", savedDocs_);
        CleanRegistry();
        DbgOpen(0, "", 0);
        DbgClose();
    }
    static void CleanRegistry()
    {
        DeleteRegTree(HKEY_CURRENT_USER, "Software\\Vostrel");
        DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\Vostrel");
    }
    std::string folder() const { return docs_.file("Pellor"); }
    std::string ini() const { return docs_.file("Pellor\\desktop.ini"); }
    std::string defaultBackup() const { return docs_.path() + "\\Pellor\\Backup\\"; }

    void expectDefaults(const CReg& reg)
    {
        EXPECT_STREQ(reg.m_szPort, "COM");
        const DWORD widths[4] = {200, 75, 100, 300};
        EXPECT_EQ(memcmp(reg.m_dwColumnWidths, widths, sizeof widths), 0);
        EXPECT_EQ(reg.m_dwDebugFlags, 0u);
        EXPECT_EQ(reg.m_dwTimeout, 3000u);
        EXPECT_EQ(reg.m_dwRetries, 5u);
        EXPECT_EQ(reg.m_dwTransferRetries, 3u);
        EXPECT_EQ(reg.m_dwTransferIntegrity, 0u);
        EXPECT_EQ(reg.m_szBackupPath, defaultBackup());
        EXPECT_STREQ(reg.m_szLogFile, "");
        EXPECT_EQ(reg.m_dwLogSize, 512u);
        EXPECT_EQ(reg.m_masks, kDefaultMasks);
        EXPECT_EQ(reg.m_dwMaskCount, 9u);
    }

    TempDir docs_;
    Raw savedDocs_;
};

TEST_F(CRegTest, EmptyRegistryGivesEveryDefault)
{
    CReg reg(false, kTestClsid);
    EXPECT_EQ(reg.m_szBackupPath, defaultBackup());
    reg.load();
    expectDefaults(reg);
}

TEST_F(CRegTest, ValuesOfWrongTypeOrSizeCountAsMissing)
{
    const char bytes[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    Put("Persistent", REG_BINARY, bytes, 12);
    Put("Port", REG_DWORD, bytes, 4);
    Put("Debug Flags", REG_SZ, "768", 4);
    Put("Timeout", REG_SZ, "1000", 5);
    Put("Retries", REG_DWORD, bytes, 8);
    Put("Transfer Retries", REG_BINARY, bytes, 4);
    Put("Transfer Integrity", REG_QWORD, bytes, 8);
    Put("Backup Path", REG_EXPAND_SZ, "C:\\x\\", 6);
    Put("Log", REG_MULTI_SZ, "a.log\0", 7);
    Put("Log Size", REG_DWORD, bytes, 3);
    Put("Masks", REG_SZ, "*.brl", 6);
    Put("Mask Count", REG_BINARY, bytes, 4);
    CReg reg(false, kTestClsid);
    reg.load();
    expectDefaults(reg);
}

TEST_F(CRegTest, MachineWideValuesStandInForMissingUserValuesButNotForPathOrMasks)
{
    Put(HKEY_LOCAL_MACHINE, "Timeout", Dword(4500));
    Put(HKEY_LOCAL_MACHINE, "Debug Flags", Dword(0x2300));
    Put(HKEY_LOCAL_MACHINE, "Port", Text("COM2"));
    Put(HKEY_CURRENT_USER, "Timeout", Text("wrong type"));
    Put(HKEY_LOCAL_MACHINE, "Backup Path", Text("C:\\everyone\\"));
    Put(HKEY_LOCAL_MACHINE, "Masks", Raw{REG_MULTI_SZ, std::string("*.brf\0\0", 7)});
    CReg reg(false, kTestClsid);
    reg.load();
    EXPECT_EQ(reg.m_dwTimeout, 4500u);
    EXPECT_EQ(reg.m_dwDebugFlags, 0x2300u);
    EXPECT_EQ(reg.getPortIndex(), 1);
    EXPECT_EQ(reg.m_szBackupPath, defaultBackup());
    EXPECT_EQ(reg.m_masks, kDefaultMasks);

    // Once saved, the user's own copy wins over a changed machine-wide one.
    reg.m_dwDebugFlags = 0;
    ASSERT_TRUE(reg.save());
    Put(HKEY_LOCAL_MACHINE, "Debug Flags", Dword(0x0300));
    reg.load();
    EXPECT_EQ(reg.m_dwDebugFlags, 0u);
    EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, CReg::kKey, "Port"), Text("COM2"));  // saving writes the user's hive only
}

TEST_F(CRegTest, SavedValuesComeBackInAFreshObjectWithTheirRegistryTypes)
{
    {
        CReg reg(false, kTestClsid);
        reg.load();
        reg.setPortIndex(2);
        reg.m_dwColumnWidths[3] = 444;
        reg.m_dwTransferRetries = 9;
        reg.m_dwTransferIntegrity = 1;
        strcpy(reg.m_szBackupPath, "D:\\Backups\\Notes\\");
        reg.m_masks = {"*.brl", "", "notes*"};
        reg.m_dwMaskCount = 3;
        ASSERT_TRUE(reg.save());
    }
    const DWORD widths[4] = {200, 75, 100, 444};
    EXPECT_EQ(Get("Persistent"), (Raw{REG_BINARY, std::string(reinterpret_cast<const char*>(widths), 16)}));
    EXPECT_EQ(Get("Port"), Text("COM3"));
    EXPECT_EQ(Get("Masks"), (Raw{REG_MULTI_SZ, std::string("*.brl\0notes*\0\0", 14)}));
    EXPECT_EQ(Get("Transfer Integrity"), Dword(1));
    EXPECT_EQ(Get("Mask Count").type, static_cast<DWORD>(REG_NONE));

    CReg fresh(false, kTestClsid);
    fresh.load();
    EXPECT_EQ(fresh.getPortIndex(), 2);
    EXPECT_EQ(memcmp(fresh.m_dwColumnWidths, widths, sizeof widths), 0);
    EXPECT_EQ(fresh.m_dwTransferRetries, 9u);
    EXPECT_STREQ(fresh.m_szBackupPath, "D:\\Backups\\Notes\\");
    EXPECT_EQ(fresh.m_masks, (std::vector<std::string>{"*.brl", "notes*"}));
    EXPECT_EQ(fresh.m_dwMaskCount, 9u);  // never written

    fresh.m_masks.clear();  // an emptied history stays empty, not the defaults
    ASSERT_TRUE(fresh.save());
    fresh.load();
    EXPECT_TRUE(fresh.m_masks.empty());
}

TEST_F(CRegTest, ProcessWideObjectLoadsWhenMadeAndSavesWhenDestroyed)
{
    Put(HKEY_CURRENT_USER, "Retries", Dword(8));
    ASSERT_TRUE(CreateSettings(kTestClsid));
    EXPECT_EQ(Settings()->m_dwRetries, 8u);
    Settings()->m_dwRetries = 2;
    DestroySettings();
    EXPECT_EQ(Settings(), nullptr);
    EXPECT_EQ(Get("Retries"), Dword(2));
}

TEST_F(CRegTest, PortTextAndItsIndex)
{
    CReg reg(false, kTestClsid);
    const struct { const char* text; int index; } cases[] = {
        {"COM4", 3}, {"COM", -1}, {"COM0", -1}, {"COM7", -1}, {"com2", -1}, {"COM2x", 1},
    };
    for (const auto& c : cases) {
        strcpy(reg.m_szPort, c.text);
        EXPECT_EQ(reg.getPortIndex(), c.index) << c.text;
    }
    const struct { int index; const char* text; } sets[] = {{-1, "COM"}, {2, "COM3"}, {4, "COM"}};
    for (const auto& c : sets) {
        EXPECT_TRUE(reg.setPortIndex(c.index));
        EXPECT_STREQ(reg.m_szPort, c.text) << c.index;
    }
}

TEST_F(CRegTest, MaskHistoryKeepsMostRecentFirstWithinTheCount)
{
    CReg reg(false, kTestClsid);
    reg.m_masks = kDefaultMasks;
    reg.m_dwMaskCount = 3;
    reg.rememberMask("*.TXT");  // already first, in any case
    EXPECT_EQ(reg.m_masks, kDefaultMasks);
    reg.rememberMask("*.DOC");  // moved to the front, as typed
    EXPECT_EQ(reg.m_masks, (std::vector<std::string>{"*.DOC", "*.txt", "*.crv"}));
    reg.rememberMask("a*");  // new: the oldest drops out
    EXPECT_EQ(reg.m_masks, (std::vector<std::string>{"a*", "*.DOC", "*.txt"}));
    reg.m_dwMaskCount = 0;  // no limit
    reg.rememberMask("b*");
    EXPECT_EQ(reg.m_masks, (std::vector<std::string>{"b*", "a*", "*.DOC", "*.txt"}));
}

TEST_F(CRegTest, SaveReopensTheLogWithTheSavedFlagsFileAndLimit)
{
    TempDir logs;
    const std::string log = logs.file("pellor.log");
    CReg reg(false, kTestClsid);
    reg.load();
    strcpy(reg.m_szLogFile, log.c_str());
    reg.m_dwDebugFlags = DBG_TO_FILE | DBG_NOTETAKER;
    reg.m_dwLogSize = 1;
    ASSERT_TRUE(reg.save());

    EXPECT_EQ(DbgFlags(), static_cast<uint32_t>(DBG_TO_FILE | DBG_NOTETAKER));
    const std::string line(100, 'x');
    for (int i = 0; i < 30; ++i) DbgPrint("%s", line.c_str());
    DbgClose();
    const std::string kept = TempDir::ReadAll(log);
    EXPECT_EQ(kept.size(), 1024u);  // Log Size x 1024 bytes
    EXPECT_EQ(kept.back(), '\n');
}

TEST_F(CRegTest, DesktopIniHoldsTheShellClassInfoAndIsHiddenSystemReadOnly)
{
    CreateDirectoryA(folder().c_str(), nullptr);
    CReg reg(false, kTestClsid);
    for (int pass = 0; pass < 2; ++pass) {  // the second replaces the read-only file of the first
        ASSERT_TRUE(reg.createDesktopIni(ini().c_str()));
        EXPECT_EQ(TempDir::ReadAll(ini()),
                  "[.ShellClassInfo]\nCLSID2={12345678-9ABC-DEF0-0123-456789ABCDEF}\nConfirmFileOp=1\n"
                  "NoSharing=1\nInfoTip=Gives you access to the files on your note taker.");
        EXPECT_EQ(GetFileAttributesA(ini().c_str()) & (kIniAttributes | FILE_ATTRIBUTE_DIRECTORY), kIniAttributes);
        EXPECT_TRUE(reg.isUnderMyDocs());
    }
    EXPECT_FALSE(reg.createDesktopIni(docs_.file("missing\\desktop.ini").c_str()));
    reg.SetUnderMyDocs(false);
}

TEST_F(CRegTest, ShowingMakesASystemFolderAndHidingRemovesItUnlessItHoldsBackups)
{
    CReg reg(false, kTestClsid);
    EXPECT_FALSE(reg.isUnderMyDocs());
    ASSERT_TRUE(reg.SetUnderMyDocs(true));
    EXPECT_TRUE(reg.isUnderMyDocs());
    EXPECT_TRUE(PathIsSystemFolderA(folder().c_str(), 0));
    ASSERT_TRUE(reg.SetUnderMyDocs(false));
    EXPECT_FALSE(TempDir::Exists(folder()));

    ASSERT_TRUE(reg.SetUnderMyDocs(true));
    const std::string backup = docs_.file("Pellor\\Backup");
    ASSERT_TRUE(CreateDirectoryA(backup.c_str(), nullptr));
    ASSERT_TRUE(TempDir::WriteAll(backup + "\\notes.txt", "hello"));
    ASSERT_TRUE(reg.SetUnderMyDocs(false));
    EXPECT_FALSE(TempDir::Exists(ini()));
    EXPECT_EQ(TempDir::ReadAll(backup + "\\notes.txt"), "hello");

    // A "desktop.ini" that is not hidden does not count, and showing rewrites it.
    ASSERT_TRUE(TempDir::WriteAll(ini(), "[.ShellClassInfo]\nCLSID2={old}\n"));
    ASSERT_TRUE(SetFileAttributesA(ini().c_str(), kIniAttributes & ~FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(reg.isUnderMyDocs());
    ASSERT_TRUE(reg.SetUnderMyDocs(true));
    EXPECT_TRUE(reg.isUnderMyDocs());
    EXPECT_NE(TempDir::ReadAll(ini()).find("{12345678-9ABC-DEF0-0123-456789ABCDEF}"), std::string::npos);
    reg.SetUnderMyDocs(false);
}

}  // namespace

#include "shell/Registration.h"

#include <gtest/gtest.h>
#include <olectl.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "foundation/DbgLog.h"
#include "shell/Guids.h"

namespace {

const char kClsid[] = PELLOR_CLSID_TEXT;
const char kClassKey[] = "CLSID\\" PELLOR_CLSID_TEXT;
const char kApproved[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char kModule[] = "C:\\Program Files\\Pellor\\Pellor.dll";

std::string Substituted(const char* text, size_t size = MAX_PATH)
{
    std::vector<char> out(size);
    if (!SubstitutePlaceholders(text, out.data(), size, "{C}", "M.dll")) return "<failed>";
    return out.data();
}

TEST(Placeholders, EveryOccurrenceIsReplaced)
{
    EXPECT_EQ(Substituted("CLSID\\%CLSID%\\ShellEx\\x\\%CLSID%"), "CLSID\\{C}\\ShellEx\\x\\{C}");
    EXPECT_EQ(Substituted("%MODULE%,0"), "M.dll,0");
    EXPECT_EQ(Substituted("%CLSID%%MODULE%"), "{C}M.dll");
    EXPECT_EQ(Substituted("Apartment"), "Apartment");
}

TEST(Placeholders, DefaultsAndFaults)
{
    EXPECT_EQ(Substituted("%CLSID=unused%"), "{C}");
    EXPECT_EQ(Substituted("a%OTHER=fallback%b"), "afallbackb");
    EXPECT_EQ(Substituted("%OTHER=%"), "");
    EXPECT_EQ(Substituted("%OTHER%"), "<failed>");
    EXPECT_EQ(Substituted("%CLSID"), "<failed>");
    EXPECT_EQ(Substituted("%CLSID=no end"), "<failed>");
    EXPECT_EQ(Substituted("x%CLSID%", 4), "<failed>") << "{C} and its zero do not fit";
    EXPECT_EQ(Substituted("x%CLSID%", 5), "x{C}");
}

std::string ReadText(HKEY root, const char* key, const char* name)
{
    char data[MAX_PATH] = "";
    DWORD size = sizeof data;
    if (SHGetValueA(root, key, name, nullptr, data, &size) != ERROR_SUCCESS) return "<missing>";
    return data;
}

std::vector<std::string> g_log;
void CaptureLog(const char* line) { g_log.emplace_back(line); }

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = DbgSetDebuggerOutput(CaptureLog);
        DbgOpen(DBG_TO_DEBUGGER, "", 0);
        g_log.clear();
    }
    void TearDown() override
    {
        DbgClose();
        DbgSetDebuggerOutput(previous_);
        SHDeleteKeyA(HKEY_CLASSES_ROOT, kClassKey);
        SHDeleteValueA(HKEY_LOCAL_MACHINE, kApproved, kClsid);
    }
    bool Logged(const std::string& start)
    {
        for (const std::string& line : g_log)
            if (line.find(start) != std::string::npos) return true;
        return false;
    }
    DbgDebuggerOutput previous_ = nullptr;
};

TEST_F(RegistrationTest, RowsWithStringsFromTheModule)
{
    ASSERT_EQ(RegisterServer(GetModuleHandleA(nullptr), kModule, VER_PLATFORM_WIN32_NT), S_OK);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kClassKey, nullptr), "Pellor");
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\DefaultIcon").c_str(), nullptr),
              std::string(kModule) + ",0");
    DWORD attributes = 0, size = sizeof attributes, type = 0;
    EXPECT_EQ(SHGetValueA(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\ShellFolder").c_str(), "Attributes",
                          &type, &attributes, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(attributes, 0xA8000100u);
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kApproved, kClsid), "Pellor");

    ASSERT_EQ(UnregisterServer(GetModuleHandleA(nullptr), kModule, VER_PLATFORM_WIN32_NT), S_OK);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kClassKey, nullptr), "<missing>");
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kApproved, kClsid), "<missing>");
}

TEST_F(RegistrationTest, OutsideTheNtFamilyTheApprovalListIsLeftAlone)
{
    ASSERT_EQ(SHSetValueA(HKEY_LOCAL_MACHINE, kApproved, kClsid, REG_SZ, "marker", 7), ERROR_SUCCESS);
    ASSERT_EQ(RegisterServer(GetModuleHandleA(nullptr), kModule, VER_PLATFORM_WIN32_WINDOWS), S_OK);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kClassKey, "InfoTip"), "Gives you access to the files on your note taker.");
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kApproved, kClsid), "marker");
    ASSERT_EQ(UnregisterServer(GetModuleHandleA(nullptr), kModule, VER_PLATFORM_WIN32_WINDOWS), S_OK);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kClassKey, nullptr), "<missing>");
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kApproved, kClsid), "marker");
}

TEST_F(RegistrationTest, UnregisteringWhatIsGoneFailsOnTheFirstRow)
{
    EXPECT_EQ(UnregisterServer(GetModuleHandleA(nullptr), kModule, VER_PLATFORM_WIN32_NT), SELFREG_E_CLASS);
    EXPECT_TRUE(Logged(std::string("RegDeleteKey(2):\tHKEY_CLASSES_ROOT\\") + kClassKey));
    EXPECT_FALSE(Logged("RegDeleteValue")) << "the loop stops at the first failure";
}

TEST_F(RegistrationTest, MissingStringsFailRegistration)
{
    HMODULE withoutStrings = GetModuleHandleA("kernel32.dll");
    EXPECT_EQ(RegisterServer(withoutStrings, kModule, VER_PLATFORM_WIN32_NT), SELFREG_E_CLASS);
    // The first row's key was made before its value failed; nothing is rolled back.
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kClassKey, "InfoTip"), "<missing>");
}

}  // namespace

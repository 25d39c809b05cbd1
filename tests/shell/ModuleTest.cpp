// The module as Explorer sees it: Pellor.dll loaded from the build, its four
// exports, its class object and registration; and the registration rows themselves.
#include <windows.h>
#include <gtest/gtest.h>
#include <olectl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdlib>

#include "foundation/DbgLog.h"
#include "foundation/Registry.h"
#include "resources/resource.h"
#include "shell/CModule.h"
#include "shell/Guids.h"
#include "shell/Registration.h"
#include "tests/shell/ShellTestSupport.h"

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using NoArgumentFn = HRESULT(STDAPICALLTYPE*)();

std::string ModulePath()
{
    const char* build = getenv("PELLOR_BUILD_DIR");  // set by ctest
    std::string path = std::string("Z:") + (build ? build : "") + "/shell/Pellor.dll";
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

template <class Fn>
Fn Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class ModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        module_ = LoadLibraryA(ModulePath().c_str());
        ASSERT_NE(module_, nullptr) << ModulePath();
        getClassObject_ = Export<GetClassObjectFn>(module_, "DllGetClassObject");
        canUnloadNow_ = Export<NoArgumentFn>(module_, "DllCanUnloadNow");
        register_ = Export<NoArgumentFn>(module_, "DllRegisterServer");
        unregister_ = Export<NoArgumentFn>(module_, "DllUnregisterServer");
    }
    static void TearDownTestSuite() { FreeLibrary(module_); }
    void SetUp() override { ASSERT_EQ(canUnloadNow_(), S_OK) << "an earlier test left an object alive"; }

    static inline HMODULE module_;
    static inline GetClassObjectFn getClassObject_;
    static inline NoArgumentFn canUnloadNow_, register_, unregister_;
};

TEST_F(ModuleTest, ClassObjectMakesRootFoldersUnloadWaitsForThemAndComMakesTheRegisteredClass)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject_(CLSID_ShellDesktop, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject_(CLSID_Pellor, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IShellFolder, &object),
              CLASS_E_NOAGGREGATION);
    ComPtr<IShellFolder> folder;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, folder.putVoid()), S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "a folder still lives";
    folder.reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);

    // Registered, COM makes the class from the module's own path.
    ASSERT_EQ(register_(), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_Pellor, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder, folder.putVoid()), S_OK);
    ComPtr<IShellFolder> child = BindFolder(folder.get(), "R:\\Letters");
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    child.reset();
    folder.reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);
    ASSERT_EQ(unregister_(), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_Pellor, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder, &object),
              REGDB_E_CLASSNOTREG);
}

const char kClsid[] = PELLOR_CLSID_TEXT;
const char kClassKey[] = "CLSID\\" PELLOR_CLSID_TEXT;
const char kApproved[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char kNameSpace[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace\\" PELLOR_CLSID_TEXT;
const char kModule[] = "C:\\Program Files\\Pellor\\Pellor.dll";
const char kMissing[] = "<missing>", kNoValue[] = "<no value>";

std::string ReadText(HKEY root, const std::string& key, const char* name)
{
    char data[MAX_PATH] = "";
    DWORD size = sizeof data, type = 0;
    RegKey opened;
    if (opened.open(root, key.c_str(), KEY_READ) != ERROR_SUCCESS) return kMissing;
    if (RegQueryValueExA(opened.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return kNoValue;
    if (type == REG_DWORD) return std::to_string(*reinterpret_cast<DWORD*>(data));
    return type == REG_SZ ? data : "<type " + std::to_string(type) + ">";
}

Names g_log;

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = DbgSetDebuggerOutput([](const char* line) { g_log.emplace_back(line); });
        DbgOpen(DBG_TO_DEBUGGER, "", 0);
        g_log.clear();
    }
    void TearDown() override
    {
        DbgClose();
        DbgSetDebuggerOutput(previous_);
        SHDeleteKeyA(HKEY_CLASSES_ROOT, kClassKey);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kNameSpace);
        SHDeleteValueA(HKEY_LOCAL_MACHINE, kApproved, kClsid);
    }
    static bool Logged(const std::string& text)
    {
        auto has = [&](const std::string& line) { return line.find(text) != std::string::npos; };
        return std::any_of(g_log.begin(), g_log.end(), has);
    }
    HMODULE strings_ = GetModuleHandleA(nullptr);  // the test program carries the module's string table
    DbgDebuggerOutput previous_ = nullptr;
};

// Outside the NT family the approval list is not ours to write or remove.
// Every row's value after regsvr32 is registry_wine's to read back.
TEST_F(RegistrationTest, ApprovalListIsLeftAloneOutsideNt)
{
    const std::string server = std::string(kClassKey) + "\\InprocServer32";
    ASSERT_EQ(SHSetValueA(HKEY_LOCAL_MACHINE, kApproved, kClsid, REG_SZ, "marker", 7), ERROR_SUCCESS);
    for (DWORD platform : {DWORD{VER_PLATFORM_WIN32_WINDOWS}, DWORD{VER_PLATFORM_WIN32_NT}}) {
        const bool nt = platform == VER_PLATFORM_WIN32_NT;
        ASSERT_EQ(RegisterServer(strings_, kModule, platform), S_OK);
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, server, nullptr), kModule);
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNameSpace, nullptr), "Pellor") << "a name from the module's strings";
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kApproved, kClsid), nt ? "Pellor" : "marker");
        ASSERT_EQ(UnregisterServer(strings_, kModule, platform), S_OK);
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kClassKey, nullptr), kMissing);
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kNameSpace, nullptr), kMissing);
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kApproved, kClsid), nt ? kNoValue : "marker");
    }
}

TEST_F(RegistrationTest, FailuresStopAtTheFirstRow)
{
    EXPECT_EQ(UnregisterServer(strings_, kModule, VER_PLATFORM_WIN32_NT), SELFREG_E_CLASS);
    EXPECT_TRUE(Logged(std::string("RegDeleteKey(2):\tHKEY_CLASSES_ROOT\\") + kClassKey));
    char words[256] = "";
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    ASSERT_GT(FormatMessageA(flags, nullptr, ERROR_FILE_NOT_FOUND, 0, words, sizeof words, nullptr), 5u);
    EXPECT_TRUE(Logged(std::string(words, 5))) << "the system's words for the failure";
    EXPECT_FALSE(Logged("RegDeleteValue")) << "the loop stops at the first failure";
}

}  // namespace

// Pellor.dll as Explorer loads it: its exports, class object and registration.
#include <windows.h>
#include <gtest/gtest.h>
#include <olectl.h>

#include <algorithm>
#include <cstdlib>

#include "foundation/DbgLog.h"
#include "shell/Guids.h"
#include "shell/Registration.h"
#include "tests/shell/ShellTestSupport.h"

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using NoArgumentFn = HRESULT(STDAPICALLTYPE*)();

// The module of the same build: build\shell\ beside this program's build\tests\.
std::string ModulePath()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.resize(folder.find_last_of('\\') + 1);
    return folder + "..\\shell\\Pellor.dll";
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
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject_(CLSID_Pellor, IID_IClassFactory, factory.putVoid()), S_OK);
    ComPtr<IShellFolder> folder;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, folder.putVoid()), S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "a folder still lives";
    // As a view of the folder registers it.
    WNDCLASSA viewClass{0, DefWindowProcA, 0, 0, module_, nullptr, nullptr, nullptr, nullptr, "PellorShellView"};
    ASSERT_NE(RegisterClassA(&viewClass), 0);
    folder.reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);
    EXPECT_FALSE(GetClassInfoA(module_, viewClass.lpszClassName, &viewClass)) << "the view's class left with it";

    // Registered, COM makes the class from the module's own path.
    ASSERT_EQ(register_(), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_Pellor, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder, folder.putVoid()), S_OK);
    folder.reset();
    ASSERT_EQ(unregister_(), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_Pellor, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder, &object),
              REGDB_E_CLASSNOTREG);
}

Names g_log;

bool Logged(const std::string& text)
{
    auto has = [&](const std::string& line) { return line.find(text) != std::string::npos; };
    return std::any_of(g_log.begin(), g_log.end(), has);
}

// The rows themselves after regsvr32 are registry_wine's to read back.
TEST(Registration, FailuresStopAtTheFirstRow)
{
    const DbgDebuggerOutput previous = DbgSetDebuggerOutput([](const char* line) { g_log.emplace_back(line); });
    DbgOpen(DBG_TO_DEBUGGER, "", 0);
    g_log.clear();
    EXPECT_EQ(UnregisterServer(GetModuleHandleA(nullptr), "C:\\Pellor.dll", VER_PLATFORM_WIN32_NT), SELFREG_E_CLASS);
    EXPECT_TRUE(Logged("RegDeleteKey(2):\tHKEY_CLASSES_ROOT\\CLSID\\" PELLOR_CLSID_TEXT));
    char words[256] = "";
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    EXPECT_GT(FormatMessageA(flags, nullptr, ERROR_FILE_NOT_FOUND, 0, words, sizeof words, nullptr), 5u);
    EXPECT_TRUE(Logged(std::string(words, 5))) << "the system's words for the failure";
    EXPECT_FALSE(Logged("RegDeleteValue")) << "the loop stops at the first failure";
    DbgClose();
    DbgSetDebuggerOutput(previous);
}

}  // namespace

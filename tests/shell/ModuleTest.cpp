// The module as Explorer sees it: Pellor.dll loaded from the build, its four
// exports, its class object, and registration in the test prefix's registry.
#include <gtest/gtest.h>
#include <olectl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "shell/ComBase.h"
#include "shell/Guids.h"
#include "shell/ItemId.h"
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

class ModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        module_ = LoadLibraryA(ModulePath().c_str());
        ASSERT_NE(module_, nullptr) << ModulePath();
        getClassObject_ = reinterpret_cast<GetClassObjectFn>(GetProcAddress(module_, "DllGetClassObject"));
        canUnloadNow_ = reinterpret_cast<NoArgumentFn>(GetProcAddress(module_, "DllCanUnloadNow"));
        register_ = reinterpret_cast<NoArgumentFn>(GetProcAddress(module_, "DllRegisterServer"));
        unregister_ = reinterpret_cast<NoArgumentFn>(GetProcAddress(module_, "DllUnregisterServer"));
    }
    static void TearDownTestSuite() { FreeLibrary(module_); }
    void SetUp() override { ASSERT_EQ(canUnloadNow_(), S_OK) << "an earlier test left an object alive"; }

    ComPtr<IClassFactory> Factory()
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(getClassObject_(CLSID_Pellor, IID_IClassFactory, factory.putVoid()), S_OK);
        return factory;
    }

    static inline HMODULE module_;
    static inline GetClassObjectFn getClassObject_;
    static inline NoArgumentFn canUnloadNow_, register_, unregister_;
};

TEST_F(ModuleTest, ClassObjectOnlyForOurClass)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject_(CLSID_ShellDesktop, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject_(CLSID_Pellor, IID_IShellFolder, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(canUnloadNow_(), S_OK) << "the refused class object was destroyed";
}

TEST_F(ModuleTest, UnloadOnlyAfterEveryObjectIsReleased)
{
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    EXPECT_EQ(factory->LockServer(TRUE), E_NOTIMPL);

    ComPtr<IShellFolder> folder;
    ComPtr<IPersistFolder> persist;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, folder.putVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistFolder, persist.putVoid()), S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "two folders still live";
    folder.reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    persist.reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(ModuleTest, CreateInstanceMakesRootFolders)
{
    ComPtr<IClassFactory> factory = Factory();
    void* object = reinterpret_cast<void*>(1);
    IUnknown* outer = reinterpret_cast<IUnknown*>(factory.get());
    EXPECT_EQ(factory->CreateInstance(outer, IID_IShellFolder, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDataObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    ComPtr<IPersistFolder> persist;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistFolder, persist.putVoid()), S_OK);
    CLSID clsid;
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Pellor));
    ComPtr<IShellFolder> folder;
    EXPECT_EQ(persist->QueryInterface(IID_IShellFolder, folder.putVoid()), S_OK);
    ComPtr<IUnknown> a, b;
    persist->QueryInterface(IID_IUnknown, a.putVoid());
    folder->QueryInterface(IID_IUnknown, b.putVoid());
    EXPECT_EQ(a.get(), b.get()) << "one object behind both interfaces";
}

TEST_F(ModuleTest, RegisteredClassIsCreatedByCom)
{
    ASSERT_EQ(register_(), S_OK);
    ASSERT_EQ(register_(), S_OK) << "registering twice";
    {
        // The class's icon, as Explorer finds it: DefaultIcon names icon 0 of the module.
        char icon[MAX_PATH + 8] = "";
        LONG size = sizeof icon;
        ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "CLSID\\" PELLOR_CLSID_TEXT "\\DefaultIcon", icon, &size),
                  ERROR_SUCCESS);
        char* comma = strrchr(icon, ',');
        ASSERT_NE(comma, nullptr) << icon;
        *comma = '\0';
        HICON large = nullptr, small = nullptr;
        EXPECT_GT(ExtractIconExA(icon, atoi(comma + 1), &large, &small, 1), 0u);
        EXPECT_NE(large, nullptr);
        EXPECT_NE(small, nullptr);
        if (large) DestroyIcon(large);
        if (small) DestroyIcon(small);
    }
    {
        ComPtr<IShellFolder> folder;
        ASSERT_EQ(CoCreateInstance(CLSID_Pellor, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder, folder.putVoid()),
                  S_OK);
        LPITEMIDLIST drives = nullptr;
        ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives), S_OK);
        ComPtr<IPersistFolder> persist;
        ASSERT_EQ(folder->QueryInterface(IID_IPersistFolder, persist.putVoid()), S_OK);
        EXPECT_EQ(persist->Initialize(drives), S_OK);
        CoTaskMemFree(drives);

        ItemIdHolder letters(MakeItem("R:\\Letters", 2));
        LPCITEMIDLIST item = letters.get();
        SFGAOF attributes = SFGAO_FOLDER | SFGAO_CANRENAME;
        EXPECT_EQ(folder->GetAttributesOf(1, &item, &attributes), S_OK);
        EXPECT_EQ(attributes, static_cast<SFGAOF>(SFGAO_FOLDER | SFGAO_CANRENAME));
        ComPtr<IShellFolder> child;
        EXPECT_EQ(folder->BindToObject(item, nullptr, IID_IShellFolder, child.putVoid()), S_OK);
        EXPECT_EQ(canUnloadNow_(), S_FALSE);
    }
    EXPECT_EQ(canUnloadNow_(), S_OK);

    ASSERT_EQ(unregister_(), S_OK);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_Pellor, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(unregister_(), SELFREG_E_CLASS) << "the keys are gone already";
}

// Loaded and used on one thread, unloaded from another as COM's sweep for
// unused libraries does: the module leaves each thread's COM as it was.
TEST(ModuleThreads, UnloadOnAnotherThreadLeavesComAlone)
{
    HMODULE module = nullptr;
    std::thread([&module] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        module = LoadLibraryA(ModulePath().c_str());
        ASSERT_NE(module, nullptr);
        auto getClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
        {
            ComPtr<IClassFactory> factory;
            ComPtr<IShellFolder> folder;
            ASSERT_EQ(getClassObject(CLSID_Pellor, IID_IClassFactory, factory.putVoid()), S_OK);
            EXPECT_EQ(factory->CreateInstance(nullptr, IID_IShellFolder, folder.putVoid()), S_OK);
        }
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "the module kept COM on this thread";
        CoUninitialize();
    }).join();
    ASSERT_NE(module, nullptr);
    std::thread([module] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        auto canUnloadNow = reinterpret_cast<NoArgumentFn>(GetProcAddress(module, "DllCanUnloadNow"));
        EXPECT_EQ(canUnloadNow(), S_OK);
        FreeLibrary(module);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE)
            << "the module ended COM on a thread it never started it on";
        CoUninitialize();
        CoUninitialize();
    }).join();
}

}  // namespace

// Module entry points. The entry routine runs under the loader lock, so it
// only keeps the instance: the settings, the log and the module object are
// made by the first entry point that needs them and go again when the
// module may be unloaded. COM is the host thread's business: this module
// never initialises it.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <new>

#include "devicefiles/DeviceThread.h"
#include "foundation/CReg.h"
#include "foundation/CriticalSection.h"
#include "foundation/DbgLog.h"
#include "foundation/ModuleLock.h"
#include "resources/resource.h"
#include "shell/CClassFactory.h"
#include "shell/CModule.h"
#include "shell/Guids.h"
#include "shell/ItemId.h"
#include "shell/Registration.h"
#include "view/CShellView.h"

namespace {

HINSTANCE g_instance = nullptr;

// Start and stop of the process-wide objects; one thread at a time, so that
// an unload test on one thread and a class object asked for on another
// cannot cross.
class Runtime {
public:
    // Runs `use` with the process-wide objects made; `failure` when they cannot be.
    template <class Use>
    HRESULT Run(Use use, HRESULT failure)
    {
        CriticalSection::Held held(lock_);
        return Start() ? use() : failure;
    }

    // False while an object of the module lives.
    bool StopWhenIdle()
    {
        CriticalSection::Held held(lock_);
        long locks = ModuleLockCount();
        DbgEnter("DllCanUnloadNow ? Locks = %ld", locks);
        if (locks != 0) return false;
        // The device thread ends on its own after the last folder goes; it is never waited for here.
        if (!DeviceThreadEnded()) return false;
        if (!g_module) return true;
        DbgPrint("Module stop");
        // COM may unload the module after this, and process detach is no
        // place to free a library.
        g_module->FreeHelpLibrary();
        // The class's window procedure leaves with the module's code; a
        // later load must register it afresh.
        UnregisterClassA(CShellView::kWindowClass, g_instance);
        delete g_module;
        g_module = nullptr;
        ItemIdSetAllocator(nullptr);
        StopSettingsAndLog();
        return true;
    }

private:
    bool Start()
    {
        if (g_module) return true;
        if (!CreateSettings(CLSID_Pellor)) return false;
        const CReg* settings = Settings();
        DbgOpen(settings->m_dwDebugFlags, settings->m_szLogFile, settings->m_dwLogSize * 1024);
        DbgEnter("Module start");
        auto* module = new (std::nothrow) CModule(g_instance, IDA_VIEW);
        if (!module || !module->Ready()) {
            delete module;
            StopSettingsAndLog();
            return false;
        }
        g_module = module;
        ItemIdSetAllocator(g_module->Allocator());
        return true;
    }

    // Destroying the settings saves them, which reopens the log; then it closes for good.
    static void StopSettingsAndLog()
    {
        DestroySettings();
        DbgClose();
    }

    CriticalSection lock_;
};

Runtime& TheRuntime()
{
    static Runtime runtime;
    return runtime;
}

// Registration runs on its own, outside any object: it stops what it started.
template <class Register>
HRESULT WithRuntime(Register run)
{
    HRESULT hr = TheRuntime().Run(run, SELFREG_E_CLASS);
    TheRuntime().StopWhenIdle();
    return hr;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_Pellor)) return CLASS_E_CLASSNOTAVAILABLE;
    // Made under the start lock, so that no unload test on another thread
    // stops the module between its start and the factory's lock.
    return TheRuntime().Run([&] { return CreateComObject<CClassFactory>(riid, ppv); }, E_OUTOFMEMORY);
}

// Unloading is allowed only with no object alive; then the process-wide
// objects go (the settings are saved) and the next use makes them again.
STDAPI DllCanUnloadNow() { return TheRuntime().StopWhenIdle() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer()
{
    return WithRuntime(
        [] { return RegisterServer(g_module->Instance(), g_module->ModulePath(), g_module->PlatformId()); });
}

STDAPI DllUnregisterServer()
{
    return WithRuntime(
        [] { return UnregisterServer(g_module->Instance(), g_module->ModulePath(), g_module->PlatformId()); });
}

// Module entry points: start and stop of the process-wide objects, the
// class object, the unload test and self-registration.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <new>

#include "foundation/CReg.h"
#include "foundation/DbgLog.h"
#include "foundation/ModuleLock.h"
#include "resources/resource.h"
#include "shell/CClassFactory.h"
#include "shell/CModule.h"
#include "shell/Guids.h"
#include "shell/ItemId.h"
#include "shell/OpenViews.h"
#include "shell/Registration.h"

namespace {

bool ProcessAttach(HINSTANCE instance)
{
    DisableThreadLibraryCalls(instance);
    if (!CreateSettings(CLSID_Pellor)) return false;
    const CReg* settings = Settings();
    DbgOpen(settings->m_dwDebugFlags, settings->m_szLogFile, settings->m_dwLogSize * 1024);
    DbgEnter("DllMain - DLL_PROCESS_ATTACH");
    g_module = new (std::nothrow) CModule(instance, IDA_VIEW);
    if (g_module && !g_module->Ready()) {
        delete g_module;
        g_module = nullptr;
    }
    if (!g_module || !CreateOpenViews()) return false;
    ItemIdSetAllocator(g_module->Allocator());
    return true;
}

void ProcessDetach()
{
    DbgPrint("DllMain - DLL_PROCESS_DETACH");
    delete g_module;
    g_module = nullptr;
    DestroyOpenViews();
    ItemIdSetAllocator(nullptr);
    DestroySettings();
    DbgClose();
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) return ProcessAttach(instance);
    if (reason == DLL_PROCESS_DETACH) ProcessDetach();
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_Pellor)) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) CClassFactory;
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow()
{
    long locks = ModuleLockCount();
    DbgEnter("DllCanUnloadNow ? Locks = %ld", locks);
    if (locks != 0) return S_FALSE;
    // COM may unload the module after this answer, and process detach is no
    // place to free a library: free the help library now.
    if (g_module) g_module->FreeHelpLibrary();
    return S_OK;
}

STDAPI DllRegisterServer()
{
    return RegisterServer(g_module->Instance(), g_module->ModulePath(), g_module->PlatformId());
}

STDAPI DllUnregisterServer()
{
    return UnregisterServer(g_module->Instance(), g_module->ModulePath(), g_module->PlatformId());
}

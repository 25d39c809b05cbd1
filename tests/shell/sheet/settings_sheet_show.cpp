// Opens the settings sheet as Explorer does (class object, IID_IShellExtInit, menu item) and prints
// the invocation's result when it closes. Usage: settings_sheet_show <path of Pellor.dll>
#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "shell/ComBase.h"
#include "shell/Guids.h"

int main(int argc, char** argv)
{
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    HMODULE module = argc == 2 ? LoadLibraryA(argv[1]) : nullptr;
    FARPROC entry = module ? GetProcAddress(module, "DllGetClassObject") : nullptr;
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(entry));
    ComPtr<IClassFactory> factory;
    if (!getClassObject || FAILED(getClassObject(CLSID_Pellor, IID_IClassFactory, factory.putVoid()))) {
        fprintf(stderr, "usage: settings_sheet_show <path of a loadable Pellor.dll>\n");
        return 2;
    }
    ComPtr<IShellExtInit> init;
    ComPtr<IContextMenu> menu;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IShellExtInit, init.putVoid());
    if (SUCCEEDED(hr)) hr = init->QueryInterface(IID_IContextMenu, menu.putVoid());
    if (SUCCEEDED(hr)) {
        CMINVOKECOMMANDINFO info{sizeof info};
        info.lpVerb = MAKEINTRESOURCEA(0);
        hr = menu->InvokeCommand(&info);
    }
    printf("InvokeCommand: 0x%08lX\n", static_cast<unsigned long>(hr));
    return SUCCEEDED(hr) ? 0 : 1;
}

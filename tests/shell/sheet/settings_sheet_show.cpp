// Opens the settings sheet the way Explorer does: Pellor.dll loaded by path,
// its class object asked for IID_IShellExtInit, and the menu item invoked.
// Prints the invocation's result when the sheet closes.
// Usage: settings_sheet_show <path of Pellor.dll>
#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "shell/Guids.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: settings_sheet_show <Pellor.dll>\n");
        return 2;
    }
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    HMODULE module = LoadLibraryA(argv[1]);
    auto getClassObject = module ? reinterpret_cast<GetClassObjectFn>(GetProcAddress(module, "DllGetClassObject")) : nullptr;
    IClassFactory* factory = nullptr;
    if (!getClassObject || FAILED(getClassObject(CLSID_Pellor, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    IShellExtInit* init = nullptr;
    IContextMenu* menu = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init));
    factory->Release();
    if (SUCCEEDED(hr)) {
        hr = init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
        init->Release();
    }
    if (SUCCEEDED(hr)) {
        CMINVOKECOMMANDINFO info{sizeof info};
        info.lpVerb = MAKEINTRESOURCEA(0);
        hr = menu->InvokeCommand(&info);
        menu->Release();
    }
    printf("InvokeCommand: 0x%08lX\n", static_cast<unsigned long>(hr));
    return SUCCEEDED(hr) ? 0 : 1;
}

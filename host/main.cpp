// pellor-host: the folder's view in a browser of its own, for checking the
// view's menus, accelerators, toolbar and status bar from the keyboard where
// Wine's Explorer does not activate views.
// Usage: pellor-host [--windows] [--record] [--close-after MS] [--module PATH] [--clipboard FILE]
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/ScopedHandle.h"
#include "host/HostBrowser.h"
#include "shell/Guids.h"
#include "shell/ShellIdList.h"

namespace {

const char kUsage[] =
    "usage: pellor-host [--windows] [--record] [--close-after MS] [--module PATH] [--clipboard FILE]\n"
    "  --windows         behave as Windows 10 Explorer: Organize commands through GetItemObject, SelectItem\n"
    "                    on going back (Backspace), views released on another window's thread\n"
    "  --record          print the menus, toolbar buttons and status texts when the window closes\n"
    "  --close-after MS  close the window after MS milliseconds\n"
    "  --module PATH     the Pellor.dll to load (default: next to pellor-host, or the build's shell\\)\n"
    "  --clipboard FILE  put the PC file FILE on the clipboard first, as a copy in a PC folder does\n";

struct Options {
    bool windows = false;
    bool record = false;
    UINT closeAfter = 0;
    std::string module;
    std::string clipboard;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--record")) {
            options.record = true;
        } else if (!strcmp(argv[i], "--windows")) {
            options.windows = true;
        } else if (!strcmp(argv[i], "--close-after") && i + 1 < argc) {
            options.closeAfter = static_cast<UINT>(strtoul(argv[++i], nullptr, 10));
        } else if (!strcmp(argv[i], "--module") && i + 1 < argc) {
            options.module = argv[++i];
        } else if (!strcmp(argv[i], "--clipboard") && i + 1 < argc) {
            options.clipboard = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

std::string DefaultModule()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, strrchr(path, '\\') ? strrchr(path, '\\') + 1 - path : 0);
    std::string beside = folder + "Pellor.dll";
    return GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES ? beside : folder + "..\\shell\\Pellor.dll";
}

// The file as a PC folder's Copy leaves it: a file list (CF_HDROP).
bool PutFileOnClipboard(const std::string& path)
{
    const SIZE_T size = sizeof(DROPFILES) + path.size() + 2;
    HGLOBAL files = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto* drop = files ? static_cast<DROPFILES*>(GlobalLock(files)) : nullptr;
    if (!drop) {
        if (files) GlobalFree(files);
        return false;
    }
    drop->pFiles = sizeof(DROPFILES);
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path.c_str(), path.size());
    GlobalUnlock(files);
    if (OpenClipboard(nullptr) && EmptyClipboard() && SetClipboardData(CF_HDROP, files)) return CloseClipboard();
    CloseClipboard();
    GlobalFree(files);
    return false;
}

// The root folder as Explorer makes it: from the module's class object, told
// where it sits under My Computer when the shell can say.
HRESULT CreateRootFolder(HMODULE module, IShellFolder** root)
{
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject) return E_NOINTERFACE;
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(CLSID_Pellor, IID_IClassFactory, factory.putVoid());
    if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_IShellFolder, reinterpret_cast<void**>(root));
    if (FAILED(hr)) return hr;
    ShellIdList absolute;
    ComPtr<IPersistFolder> persist;
    if (SUCCEEDED(SHParseDisplayName(L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::" PELLOR_CLSID_TEXT, nullptr,
                                     absolute.put(), 0, nullptr)) &&
        SUCCEEDED((*root)->QueryInterface(IID_IPersistFolder, persist.putVoid())))
        persist->Initialize(absolute.get());
    return S_OK;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        fputs(kUsage, stderr);
        return 2;
    }
    if (options.module.empty()) options.module = DefaultModule();
    OleInitialize(nullptr);
    if (!options.clipboard.empty() && !PutFileOnClipboard(options.clipboard))
        fprintf(stderr, "pellor-host: cannot put %s on the clipboard\n", options.clipboard.c_str());
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    ScopedModule module(LoadLibraryA(options.module.c_str()));
    if (!module) {
        fprintf(stderr, "pellor-host: cannot load %s (error %lu)\n", options.module.c_str(), GetLastError());
        return 1;
    }
    int status = 1;
    {
        ComPtr<IShellFolder> root;
        HRESULT hr = CreateRootFolder(module.get(), root.put());
        ComPtr<HostBrowser> host = MakeComObject<HostBrowser>(options.windows);
        if (FAILED(hr) || !host || !host->Open(root.get(), "Pellor")) {
            fprintf(stderr, "pellor-host: the Pellor folder gave no view (0x%08lX)\n", static_cast<unsigned long>(hr));
        } else {
            if (options.record) host->RecordOnClose();
            if (options.closeAfter) host->CloseAfter(options.closeAfter);
            status = host->Run();
        }
    }
    module.reset();
    OleUninitialize();
    return status;
}

#include "shell/CExtractIcon.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>

#include "shell/CModule.h"

namespace {

// The shell's icon for a name of the given kind, without touching the disk.
HICON ShellIcon(const char* name, DWORD attributes, UINT extraFlags)
{
    SHFILEINFOA info{};
    UINT flags = SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | SHGFI_SHELLICONSIZE | extraFlags;
    return SHGetFileInfoA(name, attributes, &info, sizeof info, flags) ? info.hIcon : nullptr;
}

// The icon at the size Explorer asked for (its views go from 16 to 256
// pixels); the shell's own stays when it cannot be scaled.
HICON Sized(HICON icon, UINT pixels)
{
    if (!icon || pixels == 0) return icon;
    HICON copy = static_cast<HICON>(
        CopyImage(icon, IMAGE_ICON, static_cast<int>(pixels), static_cast<int>(pixels), LR_COPYDELETEORG));
    return copy ? copy : icon;
}

}  // namespace

CExtractIcon::CExtractIcon(LPCITEMIDLIST item) : item_(ItemIdCopy(item)) {}

STDMETHODIMP CExtractIcon::QueryInterface(REFIID riid, void** ppv)
{
    static const QiEntry table[] = {
        QI_ENTRY(CExtractIcon, IExtractIconA),
        QI_ENTRY(CExtractIcon, IExtractIconW),
        {nullptr, 0},
    };
    return QiSearch(this, table, riid, ppv);
}

// The location with the index is the key of the shell's icon cache: files
// are told apart by their extension ("*.txt"), folders by our module.
STDMETHODIMP CExtractIcon::GetIconLocation(UINT flags, LPSTR file, UINT size, int* index, UINT* outFlags)
{
    const bool folder = ItemIdIsFolder(item_.get());
    if (outFlags) *outFlags = GIL_NOTFILENAME;
    if (index) *index = !folder ? ICON_FILE : (flags & GIL_OPENICON) ? ICON_OPEN_FOLDER : ICON_FOLDER;
    if (!file || size == 0) return S_OK;
    if (folder) {
        snprintf(file, size, "%s::folder", g_module ? g_module->ModulePath() : "Pellor");
    } else {
        char name[MAX_PATH] = "";
        snprintf(file, size, "*%s", CharLowerA(PathFindExtensionA(ItemIdName(item_.get(), name, sizeof name))));
    }
    return S_OK;
}

STDMETHODIMP CExtractIcon::Extract(LPCSTR file, UINT index, HICON* large, HICON* small, UINT sizes)
{
    if (large) *large = nullptr;
    if (small) *small = nullptr;
    const char* name = file;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    UINT open = 0;
    switch (index) {
    case ICON_OPEN_FOLDER: open = SHGFI_OPENICON; [[fallthrough]];
    case ICON_FOLDER:
        name = "DGP";
        attributes = FILE_ATTRIBUTE_DIRECTORY;
        break;
    case ICON_FILE: break;
    default: return S_OK;
    }
    if (large) *large = Sized(ShellIcon(name, attributes, open), LOWORD(sizes));
    if (small) *small = Sized(ShellIcon(name, attributes, open | SHGFI_SMALLICON), HIWORD(sizes));
    return S_OK;
}

STDMETHODIMP CExtractIcon::GetIconLocation(UINT flags, LPWSTR file, UINT size, int* index, UINT* outFlags)
{
    char location[MAX_PATH] = "";
    HRESULT hr = GetIconLocation(flags, file ? location : nullptr, sizeof location, index, outFlags);
    if (file && size > 0 && !MultiByteToWideChar(CP_ACP, 0, location, -1, file, static_cast<int>(size))) file[0] = 0;
    return hr;
}

STDMETHODIMP CExtractIcon::Extract(LPCWSTR file, UINT index, HICON* large, HICON* small, UINT sizes)
{
    char name[MAX_PATH] = "";
    if (file) WideCharToMultiByte(CP_ACP, 0, file, -1, name, sizeof name, nullptr, nullptr);
    name[MAX_PATH - 1] = '\0';
    return Extract(name, index, large, small, sizes);
}

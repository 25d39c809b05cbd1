#include "foundation/CPropertiesMenu.h"

#include "foundation/ResourceText.h"
#include "foundation/ScopedHandle.h"
#include "foundation/SettingsSheet.h"
#include "resources/resource.h"

namespace {

// Copies the items of our menu into `menu` at `index`; returns how many.
UINT InsertOurItems(HMENU menu, UINT index, UINT firstId, UINT lastId)
{
    ScopedMenu ours(LoadMenuA(OwnModule(), MAKEINTRESOURCEA(IDR_PROPERTIES_MENU)));
    if (!ours.get()) return 0;
    UINT inserted = 0;
    const int count = GetMenuItemCount(ours.get());
    for (int i = 0; i < count && firstId + inserted <= lastId; ++i) {
        char text[MAX_PATH] = "";
        GetMenuStringA(ours.get(), i, text, sizeof text, MF_BYPOSITION);
        if (InsertMenuA(menu, index + inserted, MF_BYPOSITION | MF_STRING, firstId + inserted, text)) ++inserted;
    }
    return inserted;
}

// The ANSI text into the caller's buffer, as ANSI or wide; S_FALSE when it is empty.
HRESULT GiveText(const char* text, bool wide, LPSTR buffer, UINT size)
{
    if (!buffer || size == 0) return E_INVALIDARG;
    if (wide) {
        WCHAR converted[MAX_PATH] = L"";
        MultiByteToWideChar(CP_ACP, 0, text, -1, converted, MAX_PATH);
        lstrcpynW(reinterpret_cast<LPWSTR>(buffer), converted, static_cast<int>(size));
    } else {
        lstrcpynA(buffer, text, static_cast<int>(size));
    }
    return text[0] ? S_OK : S_FALSE;
}

}  // namespace

STDMETHODIMP CPropertiesMenu::QueryInterface(REFIID riid, void** ppv)
{
    static const QiEntry table[] = {
        QI_ENTRY(CPropertiesMenu, IShellExtInit), QI_ENTRY(CPropertiesMenu, IContextMenu), {nullptr, 0}};
    return QiSearch(this, table, riid, ppv);
}

STDMETHODIMP CPropertiesMenu::Initialize(LPCITEMIDLIST, IDataObject*, HKEY) { return S_OK; }

STDMETHODIMP CPropertiesMenu::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags)
{
    if (flags & CMF_DEFAULTONLY) return E_FAIL;
    const UINT inserted = InsertOurItems(menu, index, firstId, lastId);
    // Below our item, where it parts it from the items Explorer adds after it.
    if (inserted == 0 || !InsertMenuA(menu, index + inserted, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr)) return E_FAIL;
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, inserted + 1);
}

STDMETHODIMP CPropertiesMenu::InvokeCommand(LPCMINVOKECOMMANDINFO info)
{
    if (!info || !IS_INTRESOURCE(info->lpVerb) || LOWORD(info->lpVerb) != 0) return S_FALSE;
    return ShowSettingsSheet(info->hwnd);
}

STDMETHODIMP CPropertiesMenu::GetCommandString(UINT_PTR command, UINT type, UINT*, LPSTR name, UINT size)
{
    if (command != 0) return S_FALSE;
    char text[MAX_PATH] = "";
    switch (type) {
    case GCS_VERBA:
    case GCS_VERBW: {
        ScopedMenu ours(LoadMenuA(OwnModule(), MAKEINTRESOURCEA(IDR_PROPERTIES_MENU)));
        if (ours.get()) GetMenuStringA(ours.get(), IDM_PROPERTIES, text, sizeof text, MF_BYCOMMAND);
        return GiveText(text, type == GCS_VERBW, name, size);
    }
    case GCS_HELPTEXTA:
    case GCS_HELPTEXTW:
        LoadResourceText(IDM_PROPERTIES, text, sizeof text);
        return GiveText(text, type == GCS_HELPTEXTW, name, size);
    case GCS_VALIDATEA: return S_OK;
    default: return S_FALSE;
    }
}

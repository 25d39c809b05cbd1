#include "view/CContextMenu.h"

#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "foundation/CReg.h"
#include "resources/resource.h"
#include "shell/ItemId.h"
#include "view/MenuUtils.h"

namespace {

// Explorer's own commands (ribbon, command bar, keys) name what they want by
// these verbs; "properties" opens the settings.
struct StringVerb {
    const char* verb;
    UINT command;
};
constexpr StringVerb kVerbs[] = {
    {"open", IDC_OPEN},       {"explore", IDC_OPEN},          {"cut", IDC_CUT},
    {"copy", IDC_COPY},       {"paste", IDC_PASTE},           {"delete", IDC_DELETE},
    {"rename", IDC_RENAME},   {"properties", IDM_PROPERTIES}, {"newfolder", IDC_NEW_FOLDER},
    {"refresh", IDC_REFRESH},
};
// Every command of the menu lies at its own number above the caller's first id.
constexpr UINT kHighestOffset = IDC_HELP_TOPICS;

UINT VerbCommand(const char* verb)
{
    for (const StringVerb& known : kVerbs)
        if (lstrcmpiA(verb, known.verb) == 0) return known.command;
    return 0;
}

const char* CommandVerb(UINT_PTR command)
{
    for (const StringVerb& known : kVerbs)
        if (known.command == command) return known.verb;
    return nullptr;
}

// The command an invocation names: an offset, or a verb in either character set.
UINT InvokedCommand(const CMINVOKECOMMANDINFO& info)
{
    const auto& extended = reinterpret_cast<const CMINVOKECOMMANDINFOEX&>(info);
    if (info.cbSize >= sizeof extended && (info.fMask & CMIC_MASK_UNICODE) && extended.lpVerbW &&
        !IS_INTRESOURCE(extended.lpVerbW)) {
        char verb[32] = "";
        if (!WideCharToMultiByte(CP_ACP, 0, extended.lpVerbW, -1, verb, sizeof verb, nullptr, nullptr)) return 0;
        return VerbCommand(verb);
    }
    if (IS_INTRESOURCE(info.lpVerb)) return LOWORD(reinterpret_cast<UINT_PTR>(info.lpVerb));
    return VerbCommand(info.lpVerb);
}

// The menu resource that holds a command with a verb and help text, or 0.
UINT DescribedIn(UINT_PTR id)
{
    if (id >= IDC_BACKUP && id <= IDC_RESTORE_FROM) return IDM_PRODUCT;
    if ((id >= IDC_CUT && id <= IDC_PASTE) || id == IDC_SELECT_ALL || id == IDC_INVERT_SELECTION) return IDM_EDIT;
    if (id == IDC_OPEN) return IDM_OPEN;
    if ((id >= IDC_LARGE_ICONS && id <= IDC_DETAILS) || (id >= IDC_BY_NAME && id <= IDC_BY_DATE) ||
        id == IDC_NEW_FOLDER || id == IDC_REFRESH || id == IDM_PROPERTIES || id == IDC_HELP_TOPICS)
        return IDM_BACKGROUND;
    return 0;
}

// Moves the command ids of the items at [first, end), submenus included,
// from their command numbers to `base` plus that number. The highest number.
UINT MoveIds(HMENU menu, int first, int end, UINT base)
{
    UINT highest = 0;
    for (int position = first; position < end; ++position) {
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
        if (!GetMenuItemInfoA(menu, position, TRUE, &item) || (item.fType & MFT_SEPARATOR)) continue;
        if (item.hSubMenu) {
            UINT inner = MoveIds(item.hSubMenu, 0, GetMenuItemCount(item.hSubMenu), base);
            if (inner > highest) highest = inner;
            continue;
        }
        if (item.wID > highest) highest = item.wID;
        item.fMask = MIIM_ID;
        item.wID += base;
        SetMenuItemInfoA(menu, position, TRUE, &item);
    }
    return highest;
}

// The text of a command for GetCommandString; false when it has none.
bool CommandText(UINT_PTR id, UINT type, char* text, int size)
{
    if (type == GCS_VERBA) {
        if (const char* verb = CommandVerb(id)) return lstrcpynA(text, verb, size) != nullptr;
        return DescribedIn(id) && MenuResourceText(DescribedIn(id), static_cast<UINT>(id), text, size);
    }
    return DescribedIn(id) && LoadResourceText(static_cast<UINT>(id), text, size) > 0;
}

}  // namespace

CContextMenu::CContextMenu(CShellFolder* folder, UINT count, const LPCITEMIDLIST* items) : count_(count)
{
    folder->AddRef();
    folder_.reset(folder);
    if (count) items_.CopyFrom(items, count);
}

STDMETHODIMP CContextMenu::QueryInterface(REFIID riid, void** ppv)
{
    static const QiEntry table[] = {
        QI_ENTRY(CContextMenu, IContextMenu),
        {nullptr, 0},
    };
    return QiSearch(this, table, riid, ppv);
}

// CMF_EXPLORE only says that Explorer shows its tree, as Windows 10 and 11
// always do: the menu is the same with it or without.
STDMETHODIMP CContextMenu::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags)
{
    // A folder opens, as the default verb of a shortcut, a jump list or a typed name.
    const bool opens = count_ == 1 && ItemIdIsDeviceFolder(items_.Item(0));
    if ((flags & CMF_DEFAULTONLY) && !opens) return E_FAIL;
    firstId_ = firstId;
    // No room for our ids in the caller's range: nothing is added.
    if (firstId > lastId || lastId - firstId < kHighestOffset) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    const int before = GetMenuItemCount(menu);
    const int start = static_cast<int>(index) < before ? static_cast<int>(index) : before;
    if (count_ == 0) {
        // Nothing selected: Explorer shows no menu bar for a view, so the
        // background's menu carries every command of the view.
        if (CopyMenuResource(menu, start, IDM_BACKGROUND) == 0) return E_FAIL;
    } else if (!(flags & CMF_DEFAULTONLY)) {
        if (CopyMenuResource(menu, start, IDM_EDIT) == 0) return E_FAIL;
        if (!InsertSeparator(menu, start)) return E_FAIL;
        if (CopyMenuResource(menu, start, IDM_PRODUCT) == 0) return E_FAIL;
    }
    if (opens && CopyMenuResource(menu, start, IDM_OPEN) == 0) return E_FAIL;
    if (flags & CMF_DEFAULTONLY) DeleteMenu(menu, start + 1, MF_BYPOSITION);  // Open's separator
    const UINT highest = MoveIds(menu, start, start + GetMenuItemCount(menu) - before, firstId);
    SetItemStates(menu);
    if (opens) SetMenuDefaultItem(menu, firstId + IDC_OPEN, FALSE);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, highest + 1);
}

void CContextMenu::SetItemStates(HMENU menu) const
{
    SetEnabled(menu, firstId_ + IDC_PASTE, ClipboardHoldsFiles());
    SetEnabled(menu, firstId_ + IDC_CUT, count_ > 0);
    SetEnabled(menu, firstId_ + IDC_COPY, count_ > 0);
    SetEnabled(menu, firstId_ + IDC_DELETE, count_ > 0);
    SetEnabled(menu, firstId_ + IDC_RENAME, count_ == 1);
    const CReg* settings = Settings();
    int layout = settings ? CNotetaker::_isRestorePath(settings->m_szBackupPath, true) : -1;
    SetEnabled(menu, firstId_ + IDC_RESTORE, layout != -1 && layout != 0);
}

STDMETHODIMP CContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* info)
{
    if (!info) return E_INVALIDARG;
    const UINT command = InvokedCommand(*info);
    if (command == 0) return S_FALSE;
    return folder_->RunCommand(command, items_.Count(), items_.Items(), info->hwnd, nullptr);
}

STDMETHODIMP CContextMenu::GetCommandString(UINT_PTR id, UINT type, UINT*, LPSTR buffer, UINT size)
{
    const UINT kind = type & ~GCS_UNICODE;
    if (kind == GCS_VALIDATEA) return CommandVerb(id) || DescribedIn(id) ? S_OK : S_FALSE;
    if (kind != GCS_VERBA && kind != GCS_HELPTEXTA) return E_INVALIDARG;
    if (!buffer || size == 0) return E_INVALIDARG;
    char text[MAX_PATH] = "";
    if (!CommandText(id, kind, text, sizeof text)) return S_FALSE;
    if (type & GCS_UNICODE) {
        auto* wide = reinterpret_cast<LPWSTR>(buffer);
        MultiByteToWideChar(CP_ACP, 0, text, -1, wide, static_cast<int>(size));
        wide[size - 1] = L'\0';  // a text cut at the buffer's end is still terminated
    } else {
        lstrcpynA(buffer, text, static_cast<int>(size));
    }
    return S_OK;
}

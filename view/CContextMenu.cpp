#include "view/CContextMenu.h"

#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "foundation/CReg.h"
#include "resources/resource.h"
#include "view/MenuUtils.h"

namespace {

struct StringVerb {
    const char* verb;
    UINT command;
};
constexpr StringVerb kVerbs[] = {{"copy", IDC_COPY}, {"cut", IDC_CUT}, {"paste", IDC_PASTE}, {"delete", IDC_DELETE}};

// The menu resource that holds a command with a verb and help text, or 0.
UINT DescribedIn(UINT_PTR id)
{
    if (id >= IDC_BACKUP && id <= IDC_RESTORE_FROM) return IDM_PRODUCT;
    if ((id >= IDC_CUT && id <= IDC_PASTE) || id == IDC_SELECT_ALL || id == IDC_INVERT_SELECTION) return IDM_EDIT;
    return 0;
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

STDMETHODIMP CContextMenu::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT, UINT flags)
{
    if (flags & CMF_DEFAULTONLY) return E_FAIL;
    firstId_ = firstId;
    UINT highestId = 0;
    if (CopyMenuResource(menu, index, IDM_EDIT, &highestId) == 0) return E_FAIL;
    if (!InsertSeparator(menu, 0)) return E_FAIL;
    if (CopyMenuResource(menu, index, IDM_PRODUCT, &highestId) == 0) return E_FAIL;
    SetItemStates(menu, (flags & CMF_EXPLORE) != 0);
    // The items keep their own command numbers; the count covers them all.
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, highestId >= firstId ? highestId - firstId + 1 : 0);
}

void CContextMenu::SetItemStates(HMENU menu, bool deleteMode) const
{
    EnableOrDelete(menu, IDC_PASTE, ClipboardHoldsFiles(), deleteMode);
    EnableOrDelete(menu, IDC_CUT, count_ > 0, deleteMode);
    EnableOrDelete(menu, IDC_COPY, count_ > 0, deleteMode);
    const CReg* settings = Settings();
    NotetakerSession session;
    CNotetaker* notetaker = session.get();
    int layout = settings && notetaker ? notetaker->_isRestorePath(settings->m_szBackupPath, true) : -1;
    EnableOrDelete(menu, IDC_RESTORE, layout != -1 && layout != 0, deleteMode);
    if (!deleteMode) return;
    DeleteMenu(menu, IDC_SELECT_ALL, MF_BYCOMMAND);
    DeleteMenu(menu, IDC_INVERT_SELECTION, MF_BYCOMMAND);
    DeleteMenu(menu, GetMenuItemCount(menu) - 1, MF_BYPOSITION);
}

STDMETHODIMP CContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* info)
{
    if (!info) return E_INVALIDARG;
    UINT command = 0;
    if (IS_INTRESOURCE(info->lpVerb)) {
        command = LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb)) + firstId_;
    } else {
        for (const StringVerb& verb : kVerbs)
            if (lstrcmpiA(info->lpVerb, verb.verb) == 0) command = verb.command;
        if (command == 0) return S_FALSE;
    }
    return folder_->RunCommand(command, items_.Count(), items_.Items(), info->hwnd, nullptr);
}

STDMETHODIMP CContextMenu::GetCommandString(UINT_PTR id, UINT type, UINT*, LPSTR buffer, UINT size)
{
    UINT resource = DescribedIn(id);
    if (resource == 0 || (type != GCS_VERBA && type != GCS_HELPTEXTA && type != GCS_VALIDATEA)) return S_FALSE;
    if (type == GCS_VALIDATEA) return S_OK;
    if (!buffer || size == 0) return E_INVALIDARG;
    bool found = type == GCS_VERBA ? MenuResourceText(resource, static_cast<UINT>(id), buffer, static_cast<int>(size))
                                   : LoadResourceText(static_cast<UINT>(id), buffer, static_cast<int>(size)) > 0;
    return found ? S_OK : S_FALSE;
}

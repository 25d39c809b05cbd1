// What the view tells Explorer's details pane and status text about its
// items through IFolderView: how many, which are selected, which has the
// focus, and the items themselves.
#include "view/CShellView.h"

#include "shell/CShellFolder.h"
#include "shell/ItemId.h"

namespace {

HRESULT IndexOrNone(int found, int* index)
{
    if (!index) return E_POINTER;
    *index = found;
    return found >= 0 ? S_OK : S_FALSE;
}

}  // namespace

STDMETHODIMP CShellView::GetCurrentViewMode(UINT* mode)
{
    if (!mode) return E_POINTER;
    *mode = viewMode_;
    return S_OK;
}

STDMETHODIMP CShellView::SetCurrentViewMode(UINT mode)
{
    if (mode < FVM_FIRST || mode > FVM_LAST) return E_INVALIDARG;
    viewMode_ = mode;
    ReapplyStyles();
    return S_OK;
}

STDMETHODIMP CShellView::SelectItem(int index, DWORD flags)
{
    LPCITEMIDLIST item = index >= 0 ? ItemAt(index) : nullptr;  // the note row has none
    return item ? SelectItem(item, static_cast<SVSIF>(flags)) : E_INVALIDARG;
}

STDMETHODIMP CShellView::GetFolder(REFIID riid, void** ppv) { return folder_->QueryInterface(riid, ppv); }

STDMETHODIMP CShellView::Item(int index, PITEMID_CHILD* item)
{
    if (!item) return E_POINTER;
    *item = nullptr;
    LPCITEMIDLIST found = index >= 0 ? ItemAt(index) : nullptr;
    if (!found) return E_INVALIDARG;
    *item = static_cast<PITEMID_CHILD>(ItemIdCopy(found));
    return *item ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CShellView::ItemCount(UINT which, int* count)
{
    if (!count) return E_POINTER;
    *count = 0;
    const UINT kind = which & SVGIO_TYPE_MASK;
    if (kind == SVGIO_BACKGROUND) return S_OK;
    if (kind != SVGIO_SELECTION && kind != SVGIO_ALLVIEW) return E_INVALIDARG;
    // The note row ("Reading the note-taker...") is no item.
    *count = static_cast<int>(kind == SVGIO_SELECTION ? SelectedItems().size() : AllItems().size());
    return S_OK;
}

STDMETHODIMP CShellView::Items(UINT which, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IShellItemArray)) return GetItemObject(which, riid, ppv);
    std::vector<LPCITEMIDLIST> items;
    if ((which & SVGIO_TYPE_MASK) == SVGIO_SELECTION) items = SelectedItems();
    else if ((which & SVGIO_TYPE_MASK) == SVGIO_ALLVIEW) items = AllItems();
    if (items.empty()) return E_FAIL;  // an array of nothing is no array to the shell
    return SHCreateShellItemArray(folder_->AbsoluteList(), folder_.get(), static_cast<UINT>(items.size()),
                                  reinterpret_cast<PCUITEMID_CHILD_ARRAY>(items.data()),
                                  reinterpret_cast<IShellItemArray**>(ppv));
}

STDMETHODIMP CShellView::GetSelectionMarkedItem(int* index)
{
    return IndexOrNone(list_ ? static_cast<int>(SendMessageA(list_, LVM_GETSELECTIONMARK, 0, 0)) : -1, index);
}

STDMETHODIMP CShellView::GetFocusedItem(int* index) { return IndexOrNone(FocusedItem(), index); }

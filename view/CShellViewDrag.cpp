// Drag and drop on the view's list: device items dragged out of it, PC
// files dropped onto it.
#include "view/CShellView.h"

#include "shell/CItemList.h"
#include "shell/CShellFolder.h"
#include "shell/ItemId.h"

LRESULT CShellView::BeginDrag()
{
    const ComPtr<CShellView> held = NewRef(this);  // the drag's modal loop may see the view released
    CItemList dragged;                             // the rows own the selected identifiers and may go
    if (!CopySelection(dragged) || dragged.Count() == 0) return 1;
    // A move takes the rows of the files it deleted out of every open view as
    // each goes; a copy leaves the device and the list as they were.
    HRESULT hr = folder_->CopyItems(list_, CShellFolder::COPY_DRAG, dragged.Count(), dragged.Items());
    return FAILED(hr) ? 1 : 0;
}

STDMETHODIMP CShellView::DropData(DropRequest* request)
{
    if (!request) return E_INVALIDARG;
    const ComPtr<CShellView> held = NewRef(this);  // the paste waits for the device
    POINT point{request->point.x, request->point.y};
    if (!list_ || !ScreenToClient(list_, &point)) return E_FAIL;
    LPCITEMIDLIST folderList = folder_->DeviceList();
    ItemIdHolder subFolder;
    int index = ItemNearest(point);
    LPCITEMIDLIST item = index >= 0 ? ItemAt(index) : nullptr;
    if (item && ItemIdIsDeviceFolder(item)) {
        subFolder.reset(ItemIdConcat(folderList, item));
        if (!subFolder) return E_OUTOFMEMORY;
    }
    // The paste runs once the drop has returned, its progress and boxes owned by the list.
    return PasteDataObject(*folder_.get(), list_, subFolder ? subFolder.get() : folderList, request);
}

int CShellView::ItemNearest(POINT listPoint) const
{
    // The list finds the nearest item in the icon views only; in the list
    // and details views it is the item under the point, or none.
    const DWORD view = static_cast<DWORD>(GetWindowLongPtrA(list_, GWL_STYLE)) & LVS_TYPEMASK;
    if (view == LVS_ICON || view == LVS_SMALLICON) {
        LVFINDINFOA find{};
        find.flags = LVFI_NEARESTXY | LVFI_WRAP;
        find.pt = listPoint;
        return static_cast<int>(
            SendMessageA(list_, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
    }
    LVHITTESTINFO hit{};
    hit.pt = listPoint;
    return static_cast<int>(SendMessageA(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

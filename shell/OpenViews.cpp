#include "shell/OpenViews.h"

#include <cstring>
#include <new>

#include "shell/CShellFolder.h"
#include "shell/ItemId.h"
#include "view/CShellView.h"

namespace {

std::vector<CShellView*>* g_openViews = nullptr;

UINT DeviceBytes(LPCITEMIDLIST list)
{
    UINT size = ItemIdSize(list);
    return size ? size - 3 : 0;
}

// The bytes of the shell's identifiers in front of a folder's device list.
UINT ShellPartBytes(const CShellFolder& folder)
{
    LPCITEMIDLIST absolute = folder.AbsoluteList();
    UINT all = absolute ? ILGetSize(absolute) - sizeof(USHORT) : 0, device = DeviceBytes(folder.DeviceList());
    return all >= device ? all - device : 0;
}

bool SameShellPart(const CShellFolder& a, const CShellFolder& b)
{
    UINT size = ShellPartBytes(a);
    return size == ShellPartBytes(b) && (size == 0 || memcmp(a.AbsoluteList(), b.AbsoluteList(), size) == 0);
}

// Same level by level, by kind and name: the times in two identifiers of
// one device folder differ when they were listed at different moments.
bool SameDeviceList(LPCITEMIDLIST a, LPCITEMIDLIST b)
{
    while (ItemIdLast(a) && ItemIdLast(b)) {
        auto* itemA = reinterpret_cast<const DeviceItemId*>(a);
        auto* itemB = reinterpret_cast<const DeviceItemId*>(b);
        if (ItemIdIsFolder(a) != ItemIdIsFolder(b) || lstrcmpiA(itemA->name, itemB->name) != 0) return false;
        a = ItemIdNext(a);
        b = ItemIdNext(b);
    }
    return !ItemIdLast(a) && !ItemIdLast(b);
}

// The list without its last identifier (an empty list for one identifier).
LPITEMIDLIST WithoutLast(LPCITEMIDLIST list)
{
    LPITEMIDLIST copy = ItemIdCopy(list);
    if (LPCITEMIDLIST last = ItemIdLast(copy)) memset(const_cast<LPITEMIDLIST>(last), 0, sizeof(USHORT));
    return copy;
}

}  // namespace

bool CreateOpenViews()
{
    g_openViews = new (std::nothrow) std::vector<CShellView*>;
    return g_openViews != nullptr;
}

void DestroyOpenViews()
{
    delete g_openViews;
    g_openViews = nullptr;
}

std::vector<CShellView*>* OpenViews() { return g_openViews; }

void UpdateOpenViews(const CShellFolder& folder, LONG event, LPCITEMIDLIST item1, LPCITEMIDLIST item2)
{
    if (!g_openViews || !ItemIdLast(item1)) return;
    ItemIdHolder below(WithoutLast(item1));
    ItemIdHolder holder(below ? ItemIdConcat(folder.DeviceList(), below.get()) : nullptr);
    if (!below || (folder.DeviceList() && !holder)) return;
    for (CShellView* view : *g_openViews)
        if (SameShellPart(*view->Folder(), folder) && SameDeviceList(view->Folder()->DeviceList(), holder.get()))
            view->OnFolderChange(event, ItemIdLast(item1), item2 ? ItemIdLast(item2) : nullptr);
}

#include "shell/OpenViews.h"

#include <cstring>

#include <algorithm>
#include <vector>

#include "foundation/CriticalSection.h"
#include "shell/CShellFolder.h"
#include "shell/ItemId.h"
#include "view/CShellView.h"

namespace {

class ViewList {
public:
    // Runs `use` on the views with the lock held.
    template <class Use>
    auto Locked(Use use)
    {
        CriticalSection::Held held(lock_);
        return use(views_);
    }

private:
    CriticalSection lock_;
    std::vector<CShellView*> views_;
};

ViewList& TheViews()
{
    static ViewList views;  // made on first use, whatever the order of static construction
    return views;
}

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
        if (!ItemIdSameEntry(a, b)) return false;
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

void AddOpenView(CShellView* view)
{
    TheViews().Locked([view](std::vector<CShellView*>& views) { views.push_back(view); });
}

void RemoveOpenView(CShellView* view)
{
    TheViews().Locked([view](std::vector<CShellView*>& views) {
        views.erase(std::remove(views.begin(), views.end(), view), views.end());
    });
}

void ForEachOpenView(const std::function<void(CShellView*)>& visit)
{
    TheViews().Locked([&visit](std::vector<CShellView*>& views) {
        for (CShellView* view : views) visit(view);
    });
}

size_t OpenViewCount()
{
    return TheViews().Locked([](std::vector<CShellView*>& views) { return views.size(); });
}

ComPtr<CShellView> FindOpenView(const std::function<bool(CShellView*)>& match)
{
    return TheViews().Locked([&match](std::vector<CShellView*>& views) {
        for (auto view = views.rbegin(); view != views.rend(); ++view)
            if (match(*view) && (*view)->TryAddRef()) return ComPtr<CShellView>(*view);
        return ComPtr<CShellView>();
    });
}

void UpdateOpenViews(const CShellFolder& folder, LONG event, LPCITEMIDLIST item1, LPCITEMIDLIST item2)
{
    if (!ItemIdLast(item1)) return;
    ItemIdHolder below(WithoutLast(item1));
    ItemIdHolder holder(below ? ItemIdConcat(folder.DeviceList(), below.get()) : nullptr);
    if (!below || (folder.DeviceList() && !holder)) return;
    ForEachOpenView([&](CShellView* view) {
        if (SameShellPart(*view->Folder(), folder) && SameDeviceList(view->Folder()->DeviceList(), holder.get()))
            view->FolderChanged(event, ItemIdLast(item1), item2 ? ItemIdLast(item2) : nullptr);
    });
}

#include "shell/CItemList.h"

#include <utility>

CItemList::CItemList(bool ownsItems, bool ownsArray) : ownsItems_(ownsItems), ownsArray_(ownsArray) {}

CItemList::~CItemList() { Clear(); }

void CItemList::Clear()
{
    if (ownsArray_ && items_) {
        if (ownsItems_)
            for (UINT i = 0; i < count_; ++i) ItemIdFree(items_[i]);
        if (IMalloc* allocator = ItemIdAllocator()) allocator->Free(items_);
    }
    items_ = nullptr;
    count_ = 0;
}

void CItemList::Attach(LPITEMIDLIST* items, UINT count)
{
    Clear();
    items_ = items;
    count_ = count;
}

UINT CItemList::Detach(LPITEMIDLIST** items)
{
    if (items) *items = items_;
    UINT count = count_;
    items_ = nullptr;
    count_ = 0;
    return count;
}

bool CItemList::CopyFrom(const LPCITEMIDLIST* items, UINT count)
{
    Clear();
    IMalloc* allocator = ItemIdAllocator();
    if (!allocator || !items || count == 0) return count == 0;
    auto* copies = static_cast<LPITEMIDLIST*>(allocator->Alloc(count * sizeof(LPITEMIDLIST)));
    if (!copies) return false;
    for (UINT i = 0; i < count; ++i) {
        copies[i] = ItemIdCopy(items[i]);
        if (copies[i]) continue;
        for (UINT j = 0; j < i; ++j) ItemIdFree(copies[j]);
        allocator->Free(copies);
        return false;
    }
    items_ = copies;
    count_ = count;
    return true;
}

void CItemList::Swap(CItemList& other)
{
    std::swap(items_, other.items_);
    std::swap(count_, other.count_);
}

UINT CItemList::Append(LPITEMIDLIST item)
{
    IMalloc* allocator = ItemIdAllocator();
    if (!item || !allocator) return 0;
    auto* grown = static_cast<LPITEMIDLIST*>(allocator->Realloc(items_, (count_ + 1) * sizeof(LPITEMIDLIST)));
    if (!grown) return 0;
    items_ = grown;
    items_[count_++] = item;
    return count_;
}

bool CItemList::AppendEntry(LPCITEMIDLIST folder, DWORD flags, bool relative, const DeviceEntry& entry)
{
    if (entry.sName.empty()) return true;
    DeviceItemData data{EntryAttributes(entry.nType), entry.stTime, entry.nSize};
    bool isFolder = (data.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool wanted = isFolder ? (flags & SHCONTF_FOLDERS) != 0 : data.attributes != 0 && (flags & SHCONTF_NONFOLDERS) != 0;
    if (!wanted) return true;
    if (isFolder) data.size = 0;
    // A folder is listed with its device path; its id keeps its own name.
    const size_t slash = entry.sName.rfind('\\');
    ItemIdHolder item(ItemIdCreate(data, entry.sName.c_str() + (slash == std::string::npos ? 0 : slash + 1)));
    if (item && !relative) item.reset(ItemIdConcat(folder, item.get()));
    if (!item || !Append(item.get())) return false;
    item.release();
    return true;
}

#pragma once
// An array of item identifier lists in shell-allocator memory, filled from
// a device folder listing.
#include <windows.h>
#include <shlobj.h>

#include "devicefiles/DeviceEntry.h"
#include "foundation/ModuleLock.h"
#include "shell/ItemId.h"

class CItemList {
public:
    explicit CItemList(bool ownsItems = true, bool ownsArray = true);
    ~CItemList();
    CItemList(const CItemList&) = delete;
    CItemList& operator=(const CItemList&) = delete;

    static constexpr int kOutOfMemory = -4;  // the port's code, put in words as "Out of memory."

    void Clear();
    void Attach(LPITEMIDLIST* items, UINT count);
    UINT Detach(LPITEMIDLIST** items);
    bool CopyFrom(const LPCITEMIDLIST* items, UINT count);
    UINT Append(LPITEMIDLIST item);
    // Trades contents with a list that owns what it holds as this one does.
    void Swap(CItemList& other);

    // Device is the note-taker object (on the device thread), or anything
    // with its EnumFolder and GetEntry.
    // Lists one device folder (null: the root) into the array: the entries
    // that the SHCONTF_FOLDERS / SHCONTF_NONFOLDERS flags ask for, as
    // relative identifiers or as device lists below `folder`. 0, or the
    // device's negative result, which the caller puts in words; what was
    // appended stays.
    template <class Device>
    int FillFromDevice(Device& device, LPCITEMIDLIST folder, DWORD flags, bool relative, bool clearFirst);
    // Appends everything below each folder of the array, breadth-first; the
    // array holds lists below the device list `base` (null: the root).
    template <class Device>
    int ExpandFolders(Device& device, LPCITEMIDLIST base);

    UINT Count() const { return count_; }
    LPITEMIDLIST Item(UINT index) const { return index < count_ ? items_[index] : nullptr; }
    const LPCITEMIDLIST* Items() const { return items_; }

private:
    // Turns one listed entry into an identifier and appends it; true when
    // the entry is skipped or stored.
    bool AppendEntry(LPCITEMIDLIST folder, DWORD flags, bool relative, const DeviceEntry& entry);
    // FillFromDevice for `folder` below the device list `base`.
    template <class Device>
    int FillBelow(Device& device, LPCITEMIDLIST base, LPCITEMIDLIST folder, DWORD flags, bool relative);

    LPITEMIDLIST* items_ = nullptr;
    UINT count_ = 0;
    bool ownsItems_;
    bool ownsArray_;
    ModuleLockHolder lock_;
};

template <class Device>
int CItemList::FillFromDevice(Device& device, LPCITEMIDLIST folder, DWORD flags, bool relative, bool clearFirst)
{
    if (clearFirst) Clear();
    return FillBelow(device, nullptr, folder, flags, relative);
}

template <class Device>
int CItemList::FillBelow(Device& device, LPCITEMIDLIST base, LPCITEMIDLIST folder, DWORD flags, bool relative)
{
    // A path is made from the device root: ids hold their own names alone.
    ItemIdHolder full(ItemIdConcat(base, folder));
    if ((base || folder) && !full) return kOutOfMemory;
    char path[MAX_PATH] = "\\";
    if (full) ItemIdPath(full.get(), path, sizeof path, false);
    int count = device.EnumFolder(path);
    if (count < 0) return count;
    for (int index = 0; index < count; ++index) {
        DeviceEntry entry;
        if (device.GetEntry(index, entry) != 0) continue;
        if (!AppendEntry(folder, flags, relative, entry)) return kOutOfMemory;
    }
    return 0;
}

template <class Device>
int CItemList::ExpandFolders(Device& device, LPCITEMIDLIST base)
{
    for (UINT index = 0; index < count_; ++index) {
        if (!ItemIdIsFolder(items_[index])) continue;
        const int filled = FillBelow(device, base, items_[index], SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, false);
        if (filled < 0) return filled;
    }
    return 0;
}

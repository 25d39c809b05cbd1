#pragma once
// The item identifier of one device entry and the operations on lists of
// them. Every function here checks each identifier it reads (see
// ItemIdIsValid) and treats a malformed list as no list: identifiers come
// back from the shell's stores and cannot be trusted.
#include <windows.h>
#include <shlobj.h>

#include <cstddef>

#include "foundation/ScopedHandle.h"

// DeviceItemId, little-endian, n = length of the name:
//
//   offset  size   field
//   0       2      cb: size of this identifier, always 32 + n
//   2       4      attributes: 0x80 file, 0x10 folder on R:, 0x14 folder on
//                  F:, 0x1010 special entry shown as a folder
//   6       16     modification time, SYSTEMTIME (year, month, day of week,
//                  day, hour, minute, second, milliseconds)
//   22      4      size of a file in bytes; 0 for folders
//   26      n + 1  name, ANSI, zero-terminated: a file's or special
//                  entry's own name; a folder's full device path
//                  ("R:\Letters" at the device root, "R:\notes\deep"
//                  below it), so that it can be reached at any depth
//   Shown in its folder (ItemIdDisplayName): a drive folder at the root
//   keeps its drive ("R:\Letters"); a folder below it shows its last
//   component ("deep"); other names are shown as they are.
//   27 + n  5      reserved, zero, never read
//
// A list is identifiers back to back ending with a zero cb; lists built
// here end with three zero bytes.
#pragma pack(push, 1)
struct DeviceItemData {
    DWORD attributes;
    SYSTEMTIME modified;
    DWORD size;
};
struct DeviceItemId {
    USHORT cb;
    DeviceItemData data;
    char name[1];
};
#pragma pack(pop)
static_assert(sizeof(DeviceItemData) == 24, "the data block is 24 bytes");
static_assert(offsetof(DeviceItemId, name) == 26, "the name starts at offset 26");

// The shell allocator every list is made and freed with; none makes every
// allocating operation fail.
void ItemIdSetAllocator(IMalloc* allocator);
IMalloc* ItemIdAllocator();

// True when every identifier up to the terminator is a well-formed
// DeviceItemId. The null list (the device root) is valid. Reads stay
// within each identifier's cb and stop at the first fault.
bool ItemIdIsValid(LPCITEMIDLIST list);

LPITEMIDLIST ItemIdCreate(const DeviceItemData& data, const char* name);
UINT ItemIdSize(LPCITEMIDLIST list);  // sum of cb + 3; 0 for none or malformed
LPITEMIDLIST ItemIdCopy(LPCITEMIDLIST list);
LPITEMIDLIST ItemIdConcat(LPCITEMIDLIST a, LPCITEMIDLIST b);
LPCITEMIDLIST ItemIdNext(LPCITEMIDLIST item);
LPCITEMIDLIST ItemIdLast(LPCITEMIDLIST list);
void ItemIdFree(LPITEMIDLIST list);

// Data of the last identifier; zeros for the null, an empty or a bad list.
DeviceItemData ItemIdData(LPCITEMIDLIST list);
DWORD ItemIdAttributes(LPCITEMIDLIST list);
bool ItemIdIsFolder(LPCITEMIDLIST list);
int ItemIdType(LPCITEMIDLIST list);  // 1 to 4; 1 for no data
bool ItemIdIsSpecial(LPCITEMIDLIST list);
// A folder of R: or F:, which opens and takes files; a special entry is shown
// as a folder but is neither.
bool ItemIdIsDeviceFolder(LPCITEMIDLIST list);
FILETIME ItemIdTime(LPCITEMIDLIST list);
DWORD ItemIdFileSize(LPCITEMIDLIST list);
char* ItemIdName(LPCITEMIDLIST list, char* buffer, size_t size);

// The device path of a device list in a buffer of `size` characters: names
// joined by backslashes, a trailing backslash for a folder; a name that no
// longer fits ends the path. A drive-qualified name is a whole path and
// replaces the components before it. stripDrive starts the path at the
// first name's in-folder form ("Letters\...", "deep\..."). Returns the length.
size_t ItemIdPath(LPCITEMIDLIST list, char* buffer, size_t size, bool stripDrive);

// The name shown for the last identifier inside its folder (see the layout).
char* ItemIdDisplayName(LPCITEMIDLIST list, char* buffer, size_t size);
// The last identifier with a new name; a folder named by its path stays in
// its parent and takes the new name's last component.
LPITEMIDLIST ItemIdRenamed(LPCITEMIDLIST list, const char* newName);

enum ItemColumn { COLUMN_NAME, COLUMN_SIZE, COLUMN_TYPE, COLUMN_MODIFIED };
char* ItemIdColumnText(int column, LPCITEMIDLIST list, char* buffer, size_t size);

// Owns one list made by the functions above.
using ItemIdHolder = ScopedResource<LPITEMIDLIST, ItemIdFree>;

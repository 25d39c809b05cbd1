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
//   26      n + 1  name, ANSI, zero-terminated: the entry's own name alone,
//                  without its drive or parents ("Letters", "deep",
//                  "note.txt"), never holding \ / or :. A folder's drive is
//                  in its attributes, and its device path is made by joining
//                  the names of the list from the device root, so that an
//                  id below a renamed folder stays good once its parent's
//                  id is replaced.
//                  Stored by Explorer before: a folder named by its whole
//                  device path ("R:\Letters", "R:\notes\deep"); such an id
//                  still reads, its name being the path's last component.
//   27 + n  5      reserved, zero, never read
//
// Shown in its folder (ItemIdDisplayName): a drive folder at the device
// root with its drive ("R:\Letters"), as R: and F: may hold folders of
// one name; every other item by its name.
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
// The last identifier's own name (see the layout), cut to the buffer.
char* ItemIdName(LPCITEMIDLIST list, char* buffer, size_t size);
// True when the two identifiers at the head of the lists name one entry:
// the same kind, drive and name, whatever their times or layout.
bool ItemIdSameEntry(LPCITEMIDLIST a, LPCITEMIDLIST b);
// A name an identifier can hold: not empty, without \ / or :.
bool ItemIdIsOwnName(const char* name);

// The device path of a device list (from the device root) in a buffer of
// `size` characters: the first folder's drive from its attributes, then the
// names joined by backslashes, a trailing backslash for a folder; a name
// that no longer fits ends the path. stripDrive gives the names alone, the
// path below the folder that holds the list ("Letters\...", "deep\...").
// Returns the length.
size_t ItemIdPath(LPCITEMIDLIST list, char* buffer, size_t size, bool stripDrive);

// The name shown for the last identifier inside its folder, atRoot when
// that folder is the device root (see the layout).
char* ItemIdDisplayName(LPCITEMIDLIST list, char* buffer, size_t size, bool atRoot);
// The last identifier with a new name (ItemIdIsOwnName), in the new layout.
LPITEMIDLIST ItemIdRenamed(LPCITEMIDLIST list, const char* newName);

enum ItemColumn { COLUMN_NAME, COLUMN_SIZE, COLUMN_TYPE, COLUMN_MODIFIED };
char* ItemIdColumnText(int column, LPCITEMIDLIST list, char* buffer, size_t size, bool atRoot);

// Owns one list made by the functions above.
using ItemIdHolder = ScopedResource<LPITEMIDLIST, ItemIdFree>;

#include "shell/ItemId.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "devicefiles/DeviceEntry.h"

namespace {

IMalloc* g_allocator = nullptr;

constexpr UINT kFixedSize = 32;  // cb of an identifier with an empty name
constexpr UINT kMaxName = MAX_PATH - 1;
constexpr UINT kListEnd = 3;  // the zero cb and one more zero byte

USHORT CbOf(LPCITEMIDLIST item)
{
    USHORT cb;
    memcpy(&cb, item, sizeof cb);  // identifiers need not be aligned
    return cb;
}

// Exactly the attributes that stand for one of the entry types.
bool IsKnownAttributes(DWORD attributes)
{
    return attributes != 0 && EntryAttributes(EntryTypeOf(attributes)) == attributes;
}

// One identifier, read field by field so that a short or foreign one is
// refused before anything beyond its own cb is touched.
// "R:\Letters" or "R:\notes\deep": a folder named by its device path, as
// ids were made before they held their own name alone.
bool IsStoredPath(const char* name)
{
    const char* last = strrchr(name, '\\');
    return name[0] != '\0' && name[1] == ':' && name[2] == '\\' && !strchr(name + 2, ':') && last[1] != '\0';
}

bool IsValidItem(LPCITEMIDLIST item)
{
    UINT cb = CbOf(item);
    if (cb < kFixedSize + 1 || cb > kFixedSize + kMaxName) return false;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(item);
    DWORD attributes;
    memcpy(&attributes, bytes + offsetof(DeviceItemId, data.attributes), sizeof attributes);
    if (!IsKnownAttributes(attributes)) return false;
    const char* name = reinterpret_cast<const char*>(bytes + offsetof(DeviceItemId, name));
    if (strnlen(name, cb - offsetof(DeviceItemId, name)) != cb - kFixedSize) return false;
    return ItemIdIsOwnName(name) || ((attributes & FILE_ATTRIBUTE_DIRECTORY) && IsStoredPath(name));
}

LPCITEMIDLIST Step(LPCITEMIDLIST item)
{
    return reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(item) + CbOf(item));
}

// Bytes of the identifiers without the terminator; false for a bad list.
bool ContentSize(LPCITEMIDLIST list, UINT& size)
{
    size = 0;
    if (!list) return true;
    for (LPCITEMIDLIST item = list; CbOf(item) != 0; item = Step(item)) {
        if (!IsValidItem(item)) return false;
        size += CbOf(item);
    }
    return true;
}

LPITEMIDLIST Allocate(UINT size) { return g_allocator ? static_cast<LPITEMIDLIST>(g_allocator->Alloc(size)) : nullptr; }

// A new list of the two contents, each `size` bytes, with the terminator.
LPITEMIDLIST Join(LPCITEMIDLIST a, UINT sizeA, LPCITEMIDLIST b, UINT sizeB)
{
    LPITEMIDLIST list = Allocate(sizeA + sizeB + kListEnd);
    if (!list) return nullptr;
    BYTE* out = reinterpret_cast<BYTE*>(list);
    if (sizeA) memcpy(out, a, sizeA);
    if (sizeB) memcpy(out + sizeA, b, sizeB);
    memset(out + sizeA + sizeB, 0, kListEnd);
    return list;
}

const DeviceItemId* LastItem(LPCITEMIDLIST list) { return reinterpret_cast<const DeviceItemId*>(ItemIdLast(list)); }

// Appends one path component, with one backslash between components.
bool AppendComponent(char* buffer, size_t& length, size_t size, const char* component)
{
    while (*component == '\\') ++component;
    bool separator = length > 0 && buffer[length - 1] != '\\';
    size_t added = (separator ? 1 : 0) + strlen(component);
    if (length + added > size - 1) return false;
    if (separator) buffer[length++] = '\\';
    strcpy(buffer + length, component);
    length += strlen(component);
    return true;
}

// The own name of a checked identifier: the last component of one stored
// with its device path.
const char* OwnName(LPCITEMIDLIST item)
{
    const char* name = reinterpret_cast<const DeviceItemId*>(item)->name;
    const char* last = strrchr(name, '\\');
    return last ? last + 1 : name;
}

// "R:\" for a folder of R:, "F:\" for one of F:; nothing for other entries.
const char* DriveOf(LPCITEMIDLIST item)
{
    switch (EntryTypeOf(reinterpret_cast<const DeviceItemId*>(item)->data.attributes)) {
    case DeviceEntry::TYPE_FOLDER_R: return "R:\\";
    case DeviceEntry::TYPE_FOLDER_F: return "F:\\";
    default: return "";
    }
}

// The item's own name, after its drive when asked for and it has one.
char* NameWithDrive(LPCITEMIDLIST item, bool withDrive, char* buffer, size_t size)
{
    wnsprintfA(buffer, static_cast<int>(size), "%s%s", withDrive ? DriveOf(item) : "", OwnName(item));
    return buffer;
}

// The shell's type name of a file depends on its extension alone. Sorting by
// type asks for it twice per comparison, and the shell takes long to answer
// under Wine, so each thread keeps the names it was given.
void TypeName(LPCITEMIDLIST list, char* buffer, size_t size)
{
    thread_local std::map<std::string, std::string, std::less<>> known;
    char name[MAX_PATH], key[MAX_PATH] = "\\";  // no extension holds a backslash: the folders' key
    bool folder = ItemIdIsFolder(list);
    if (!folder) {
        const char* dot = strrchr(ItemIdName(list, name, sizeof name), '.');
        lstrcpynA(key, dot ? dot : "", sizeof key);
        CharLowerA(key);
    }
    auto found = known.find(std::string_view(key));
    if (found == known.end()) {
        SHFILEINFOA info{};
        if (!SHGetFileInfoA(folder ? "DGP" : name, folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL, &info,
                            sizeof info, SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES))
            return;
        found = known.emplace(key, info.szTypeName).first;
    }
    lstrcpynA(buffer, found->second.c_str(), static_cast<int>(size));
}

void ModifiedText(LPCITEMIDLIST list, char* buffer, size_t size)
{
    SYSTEMTIME time = ItemIdData(list).modified;
    char date[80], clock[80];
    if (!GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, sizeof date)) return;
    // 24-hour form has no use for an AM/PM marker, which some locales add anyway.
    const DWORD timeFlags = TIME_NOSECONDS | TIME_FORCE24HOURFORMAT | TIME_NOTIMEMARKER;
    if (!GetTimeFormatA(LOCALE_USER_DEFAULT, timeFlags, &time, nullptr, clock, sizeof clock)) return;
    wnsprintfA(buffer, static_cast<int>(size), "%s %s", date, clock);
}

}  // namespace

void ItemIdSetAllocator(IMalloc* allocator)
{
    if (allocator) allocator->AddRef();
    if (g_allocator) g_allocator->Release();
    g_allocator = allocator;
}

IMalloc* ItemIdAllocator() { return g_allocator; }

bool ItemIdIsValid(LPCITEMIDLIST list)
{
    UINT size;
    return ContentSize(list, size);
}

LPITEMIDLIST ItemIdCreate(const DeviceItemData& data, const char* name)
{
    size_t length = name ? strlen(name) : 0;
    if (length > kMaxName) return nullptr;
    UINT cb = static_cast<UINT>(kFixedSize + length);
    LPITEMIDLIST list = Allocate(cb + kListEnd);
    if (!list) return nullptr;
    memset(list, 0, cb + kListEnd);
    DeviceItemId* item = reinterpret_cast<DeviceItemId*>(list);
    item->cb = static_cast<USHORT>(cb);
    item->data = data;
    if (length) memcpy(item->name, name, length);
    return list;
}

UINT ItemIdSize(LPCITEMIDLIST list)
{
    UINT size;
    if (!list || !ContentSize(list, size)) return 0;
    return size + kListEnd;
}

LPITEMIDLIST ItemIdCopy(LPCITEMIDLIST list)
{
    UINT size;
    if (!list || !ContentSize(list, size)) return nullptr;
    return Join(list, size, nullptr, 0);
}

LPITEMIDLIST ItemIdConcat(LPCITEMIDLIST a, LPCITEMIDLIST b)
{
    UINT sizeA, sizeB;
    if ((!a && !b) || !ContentSize(a, sizeA) || !ContentSize(b, sizeB)) return nullptr;
    return Join(a, sizeA, b, sizeB);
}

LPCITEMIDLIST ItemIdNext(LPCITEMIDLIST item)
{
    if (!item || CbOf(item) == 0 || !IsValidItem(item)) return nullptr;
    return Step(item);
}

LPCITEMIDLIST ItemIdLast(LPCITEMIDLIST list)
{
    if (!list || !ItemIdIsValid(list)) return nullptr;
    LPCITEMIDLIST last = nullptr;
    for (LPCITEMIDLIST item = list; CbOf(item) != 0; item = Step(item)) last = item;
    return last;
}

void ItemIdFree(LPITEMIDLIST list)
{
    if (list && g_allocator) g_allocator->Free(list);
}

DeviceItemData ItemIdData(LPCITEMIDLIST list)
{
    DeviceItemData data{};
    if (const DeviceItemId* item = LastItem(list)) memcpy(&data, &item->data, sizeof data);
    return data;
}

DWORD ItemIdAttributes(LPCITEMIDLIST list) { return ItemIdData(list).attributes; }

bool ItemIdIsFolder(LPCITEMIDLIST list) { return (ItemIdAttributes(list) & FILE_ATTRIBUTE_DIRECTORY) != 0; }

int ItemIdType(LPCITEMIDLIST list) { return EntryTypeOf(ItemIdAttributes(list)); }

bool ItemIdIsSpecial(LPCITEMIDLIST list) { return ItemIdType(list) == DeviceEntry::TYPE_SPECIAL; }

bool ItemIdIsDeviceFolder(LPCITEMIDLIST list) { return ItemIdIsFolder(list) && !ItemIdIsSpecial(list); }

FILETIME ItemIdTime(LPCITEMIDLIST list)
{
    FILETIME time{};
    if (!LastItem(list)) return time;
    SYSTEMTIME modified = ItemIdData(list).modified;
    if (!SystemTimeToFileTime(&modified, &time)) time = FILETIME{};
    return time;
}

DWORD ItemIdFileSize(LPCITEMIDLIST list) { return ItemIdData(list).size; }

char* ItemIdName(LPCITEMIDLIST list, char* buffer, size_t size)
{
    if (!buffer || size == 0) return buffer;
    buffer[0] = '\0';
    if (LPCITEMIDLIST item = ItemIdLast(list)) lstrcpynA(buffer, OwnName(item), static_cast<int>(size));
    return buffer;
}

bool ItemIdSameEntry(LPCITEMIDLIST a, LPCITEMIDLIST b)
{
    if (!a || !b || CbOf(a) == 0 || CbOf(b) == 0 || !IsValidItem(a) || !IsValidItem(b)) return false;
    const DWORD kindA = reinterpret_cast<const DeviceItemId*>(a)->data.attributes;
    const DWORD kindB = reinterpret_cast<const DeviceItemId*>(b)->data.attributes;
    return EntryTypeOf(kindA) == EntryTypeOf(kindB) && lstrcmpiA(OwnName(a), OwnName(b)) == 0;
}

bool ItemIdIsOwnName(const char* name) { return name && *name && !strpbrk(name, "\\/:"); }

size_t ItemIdPath(LPCITEMIDLIST list, char* buffer, size_t size, bool stripDrive)
{
    if (!buffer || size == 0) return 0;
    buffer[0] = '\0';
    if (!list || !ItemIdIsValid(list) || CbOf(list) == 0) return 0;
    size_t length = 0;
    char first[MAX_PATH + 3];
    for (LPCITEMIDLIST item = list; CbOf(item) != 0; item = Step(item)) {
        const char* name = item == list ? NameWithDrive(item, !stripDrive, first, sizeof first) : OwnName(item);
        if (!AppendComponent(buffer, length, size, name)) break;
    }
    if (length < size - 1 && length > 0 && buffer[length - 1] != '\\' && ItemIdIsFolder(list)) {
        buffer[length++] = '\\';
        buffer[length] = '\0';
    }
    return length;
}

char* ItemIdDisplayName(LPCITEMIDLIST list, char* buffer, size_t size, bool atRoot)
{
    if (!buffer || size == 0) return buffer;
    buffer[0] = '\0';
    if (LPCITEMIDLIST item = ItemIdLast(list)) NameWithDrive(item, atRoot, buffer, size);
    return buffer;
}

LPITEMIDLIST ItemIdRenamed(LPCITEMIDLIST list, const char* newName)
{
    const DeviceItemId* item = LastItem(list);
    if (!item || !ItemIdIsOwnName(newName)) return nullptr;
    return ItemIdCreate(item->data, newName);
}

char* ItemIdColumnText(int column, LPCITEMIDLIST list, char* buffer, size_t size, bool atRoot)
{
    if (!buffer || size == 0) return buffer;
    buffer[0] = '\0';
    if (!LastItem(list)) return buffer;
    switch (column) {
    case COLUMN_NAME: ItemIdDisplayName(list, buffer, size, atRoot); break;
    case COLUMN_SIZE:
        if (!ItemIdIsFolder(list)) StrFormatByteSizeA(ItemIdFileSize(list), buffer, static_cast<UINT>(size));
        break;
    case COLUMN_TYPE: TypeName(list, buffer, size); break;
    case COLUMN_MODIFIED: ModifiedText(list, buffer, size); break;
    default: break;
    }
    return buffer;
}

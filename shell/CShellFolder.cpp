#include "shell/CShellFolder.h"

#include <oleauto.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <utility>
#include <vector>

#include "devicefiles/DeviceThread.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "shell/CEnumIDList.h"
#include "shell/CExtractIcon.h"
#include "devicelink/ResourceText.h"
#include "resources/resource.h"
#include "shell/Guids.h"
#include "shell/Paste.h"
#include "shell/OpenViews.h"
#include "view/CContextMenu.h"
#include "view/CDropTarget.h"
#include "view/CShellView.h"

namespace {

// Every item is slow to reach, so that Explorer does not open files for
// thumbnails or previews; every folder is said to have subfolders, so that
// Explorer's tree does not list the device to find out. Explorer asks for
// one bit at a time: a folder's bits do not wait for SFGAO_FOLDER to be
// asked with them.
constexpr SFGAOF kItemAttributes = SFGAO_CANCOPY | SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_ISSLOW;
constexpr SFGAOF kFolderAttributes =
    kItemAttributes | SFGAO_FOLDER | SFGAO_BROWSABLE | SFGAO_DROPTARGET | SFGAO_HASSUBFOLDER;
// A special entry of the root (the clock) lists nothing, takes no files and
// cannot be fetched: Explorer must not offer to open, drop on or copy it.
constexpr SFGAOF kSpecialAttributes = SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_ISSLOW;
// The root's own, as registered for it.
constexpr SFGAOF kRootAttributes =
    SFGAO_HASSUBFOLDER | SFGAO_FOLDER | SFGAO_BROWSABLE | SFGAO_ISSLOW | SFGAO_DROPTARGET;
constexpr LPARAM kDescending = 0x4;

// A relative identifier or device list from the shell: ours and not empty.
bool IsDeviceItem(LPCITEMIDLIST item) { return item && ItemIdLast(item) != nullptr; }

SFGAOF AttributesOf(LPCITEMIDLIST item)
{
    if (ItemIdIsSpecial(item)) return kSpecialAttributes;
    return ItemIdIsDeviceFolder(item) ? kFolderAttributes : kItemAttributes;
}

// A device path alone ("R:\letters") is read by Windows as a path on the
// PC's own drive R:. Parsing names start with the root's place under This PC
// by class ids, which the desktop's ParseDisplayName brings back to the root.
constexpr char kParsingPrefix[] = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::" PELLOR_CLSID_TEXT "\\";

// Names for people (the address bar) start with the folder's own name.
size_t FriendlyPrefix(char* text, size_t size)
{
    int length = LoadResourceText(IDS_FOLDER_NAME, text, static_cast<int>(size) - 1);
    if (length <= 0) return 0;
    text[length++] = '\\';
    text[length] = '\0';
    return static_cast<size_t>(length);
}

// The device path in a name given to the root: the address bar's
// "Pellor\R:\letters" and a plain "R:\letters" are both taken.
const char* AfterFriendlyPrefix(const char* name)
{
    char prefix[MAX_PATH];
    const int length = static_cast<int>(FriendlyPrefix(prefix, sizeof prefix));
    bool friendly = length > 0 && static_cast<int>(strlen(name)) > length &&
                    CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, name, length, prefix, length) == CSTR_EQUAL;
    return friendly ? name + length : name;
}

int Sign(int value) { return (value > 0) - (value < 0); }

int CompareTimes(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    const WORD SYSTEMTIME::*fields[] = {&SYSTEMTIME::wYear, &SYSTEMTIME::wMonth,  &SYSTEMTIME::wDay,
                                        &SYSTEMTIME::wHour, &SYSTEMTIME::wMinute, &SYSTEMTIME::wSecond};
    for (auto field : fields)
        if (a.*field != b.*field) return a.*field < b.*field ? -1 : 1;
    return 0;
}

int CompareColumn(int column, LPCITEMIDLIST a, LPCITEMIDLIST b)
{
    switch (column) {
    case COLUMN_SIZE: {
        DWORD sizeA = ItemIdFileSize(a), sizeB = ItemIdFileSize(b);
        return sizeA == sizeB ? 0 : sizeA < sizeB ? -1 : 1;
    }
    case COLUMN_TYPE: {
        char typeA[MAX_PATH], typeB[MAX_PATH];
        return Sign(lstrcmpiA(ItemIdColumnText(COLUMN_TYPE, a, typeA, sizeof typeA, false),
                              ItemIdColumnText(COLUMN_TYPE, b, typeB, sizeof typeB, false)));
    }
    case COLUMN_MODIFIED: return CompareTimes(ItemIdData(a).modified, ItemIdData(b).modified);
    default: return 0;
    }
}

// The result of CompareIDs: a success code carrying the signed 16-bit order.
HRESULT OrderResult(int order)
{
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, static_cast<USHORT>(static_cast<short>(order)));
}

HRESULT WideString(const char* text, STRRET* out)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    IMalloc* allocator = ItemIdAllocator();
    auto* wide = allocator ? static_cast<LPWSTR>(allocator->Alloc(length * sizeof(WCHAR))) : nullptr;
    if (!wide) return E_OUTOFMEMORY;
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length);
    out->uType = STRRET_WSTR;
    out->pOleStr = wide;
    return S_OK;
}

constexpr SHGDNF kIncludeNonFileSystem = 0x2000;  // SHGDN_INCLUDE_NONFILESYS, missing from the headers
constexpr SHGDNF kNameFlags =
    SHGDN_INFOLDER | SHGDN_FOREDITING | kIncludeNonFileSystem | SHGDN_FORADDRESSBAR | SHGDN_FORPARSING;

// The identifier at the head of a list on its own, as a one-level list.
std::vector<BYTE> HeadItem(LPCITEMIDLIST list)
{
    if (!list || list->mkid.cb == 0) return {};
    std::vector<BYTE> head(list->mkid.cb + 3u, 0);
    memcpy(head.data(), list, list->mkid.cb);
    return head;
}
LPCITEMIDLIST AsList(const std::vector<BYTE>& bytes)
{
    return bytes.empty() ? nullptr : reinterpret_cast<LPCITEMIDLIST>(bytes.data());
}

// The property keys Windows documents for the four columns (the storage
// property set), in column order.
constexpr GUID kStorageProperties = {0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};
struct ColumnKey {
    DWORD pid;  // ItemNameDisplay 10, Size 12, ItemTypeText 4, DateModified 14
    SHCOLSTATEF state;
    UINT header;
    int format;
};
constexpr ColumnKey kColumns[] = {
    {10, SHCOLSTATE_TYPE_STR | SHCOLSTATE_ONBYDEFAULT, IDS_COLUMN_NAME, LVCFMT_LEFT},
    {12, SHCOLSTATE_TYPE_INT | SHCOLSTATE_ONBYDEFAULT, IDS_COLUMN_SIZE, LVCFMT_RIGHT},
    {4, SHCOLSTATE_TYPE_STR | SHCOLSTATE_ONBYDEFAULT, IDS_COLUMN_TYPE, LVCFMT_LEFT},
    {14, SHCOLSTATE_TYPE_DATE | SHCOLSTATE_ONBYDEFAULT, IDS_COLUMN_MODIFIED, LVCFMT_LEFT},
};
constexpr UINT kColumnCount = ARRAYSIZE(kColumns);
constexpr int kColumnChars[kColumnCount] = {30, 10, 20, 20};

int ColumnOfKey(const SHCOLUMNID& key)
{
    if (!IsEqualGUID(key.fmtid, kStorageProperties)) return -1;
    for (UINT column = 0; column < kColumnCount; ++column)
        if (kColumns[column].pid == key.pid) return static_cast<int>(column);
    return -1;
}

HRESULT StringVariant(const char* text, VARIANT* value)
{
    WCHAR wide[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, MAX_PATH);
    wide[MAX_PATH - 1] = L'\0';
    value->bstrVal = SysAllocString(wide);
    if (!value->bstrVal) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    return S_OK;
}

// The device keeps local time; Explorer's details carry UTC.
HRESULT TimeVariant(LPCITEMIDLIST item, VARIANT* value)
{
    FILETIME local = ItemIdTime(item), utc{};
    SYSTEMTIME time{};
    if (!LocalFileTimeToFileTime(&local, &utc) || !FileTimeToSystemTime(&utc, &time) ||
        !SystemTimeToVariantTime(&time, &value->date))
        return E_FAIL;
    value->vt = VT_DATE;
    return S_OK;
}

}  // namespace

CShellFolder::CShellFolder(const CShellFolder* parent, LPCITEMIDLIST relative)
{
    LPCITEMIDLIST parentList = parent ? parent->DeviceList() : nullptr;
    if (parentList || relative) {
        deviceList_.reset(ItemIdConcat(parentList, relative));
        valid_ = deviceList_.get() != nullptr;
    }
    DeviceThreadAcquire();
}

CShellFolder::~CShellFolder() { DeviceThreadRelease(); }

int CShellFolder::CompareItems(LPARAM sortWord, LPCITEMIDLIST a, LPCITEMIDLIST b)
{
    int direction = (sortWord & kDescending) ? -1 : 1;
    bool emptyA = ItemIdLast(a) == nullptr, emptyB = ItemIdLast(b) == nullptr;
    if (emptyA || emptyB) return direction * ((emptyA ? -1 : 0) + (emptyB ? 1 : 0));
    bool folderA = ItemIdIsFolder(a), folderB = ItemIdIsFolder(b);
    if (folderA != folderB) return direction * (folderA ? -1 : 1);
    int order = CompareColumn(static_cast<int>(sortWord & 0x3), a, b);
    if (order == 0) {
        char nameA[MAX_PATH], nameB[MAX_PATH];
        // By the name the root shows: its folders of R: and F: may share a name.
        order = Sign(lstrcmpiA(ItemIdDisplayName(a, nameA, sizeof nameA, true),
                               ItemIdDisplayName(b, nameB, sizeof nameB, true)));
    }
    return direction * order;
}

STDMETHODIMP CShellFolder::QueryInterface(REFIID riid, void** ppv)
{
    static const QiEntry table[] = {
        QI_ENTRY(CShellFolder, IPersistFolder),
        {&IID_IPersist, QiOffset<CShellFolder, IPersistFolder>()},
        {&IID_IPersistFolder2, QiOffset<CShellFolder, IPersistFolder2>()},
        QI_ENTRY(CShellFolder, IShellFolder),
        {&IID_IShellFolder2, QiOffset<CShellFolder, IShellFolder2>()},
        QI_ENTRY(CShellFolder, IDropSink),
        {nullptr, 0},
    };
    return QiSearch(this, table, riid, ppv);
}

STDMETHODIMP CShellFolder::GetClassID(CLSID* clsid)
{
    if (!clsid) return E_POINTER;
    *clsid = CLSID_Pellor;
    return S_OK;
}

STDMETHODIMP CShellFolder::Initialize(LPCITEMIDLIST absolute)
{
    ShellIdList copy(absolute ? ILClone(absolute) : nullptr);
    if (absolute && !copy) return E_OUTOFMEMORY;
    absoluteList_ = std::move(copy);
    return S_OK;
}

STDMETHODIMP CShellFolder::GetCurFolder(LPITEMIDLIST* absolute)
{
    if (!absolute) return E_POINTER;
    *absolute = nullptr;
    if (!absoluteList_) return S_FALSE;
    *absolute = ILClone(absoluteList_.get());
    return *absolute ? S_OK : E_OUTOFMEMORY;
}

// Takes the names GetDisplayNameOf gives for items of this folder (the
// in-folder name, "R:\Letters" at the root), and paths of them below; the
// desktop hands the root what follows the class ids of a parsing name.
STDMETHODIMP CShellFolder::ParseDisplayName(HWND owner, LPBC, LPOLESTR name, ULONG* eaten, LPITEMIDLIST* list,
                                            ULONG* attributes)
{
    if (!list) return E_POINTER;
    *list = nullptr;
    if (!name || !*name) return E_INVALIDARG;
    char text[MAX_PATH] = "";
    if (wcslen(name) >= MAX_PATH || !WideCharToMultiByte(CP_ACP, 0, name, -1, text, sizeof text, nullptr, nullptr))
        return E_INVALIDARG;
    const char* rest = nullptr;
    ItemIdHolder item;
    LPITEMIDLIST found = nullptr;
    HRESULT hr = FindByName(owner, deviceList_ ? text : AfterFriendlyPrefix(text), &found, &rest);
    item.reset(found);
    if (FAILED(hr)) return hr;
    if (*rest) {
        ComPtr<IShellFolder> child;
        hr = BindToObject(item.get(), nullptr, IID_IShellFolder, child.putVoid());
        WCHAR wideRest[MAX_PATH] = L"";
        MultiByteToWideChar(CP_ACP, 0, rest, -1, wideRest, MAX_PATH);
        LPITEMIDLIST below = nullptr;
        if (SUCCEEDED(hr)) hr = child->ParseDisplayName(owner, nullptr, wideRest, nullptr, &below, nullptr);
        if (FAILED(hr)) return hr;
        ItemIdHolder belowHolder(below);
        item.reset(ItemIdConcat(item.get(), below));
        if (!item) return E_OUTOFMEMORY;
    }
    if (attributes && *attributes) {
        LPCITEMIDLIST last = ItemIdLast(item.get());
        ItemIdHolder lastItem(ItemIdCopy(last));
        LPCITEMIDLIST one = lastItem.get();
        if (FAILED(GetAttributesOf(1, &one, attributes))) *attributes = 0;
    }
    if (eaten) *eaten = static_cast<ULONG>(wcslen(name));
    *list = item.release();
    return S_OK;
}

HRESULT CShellFolder::FindByName(HWND owner, const char* name, LPITEMIDLIST* item, const char** rest)
{
    CItemList items;
    // Explorer parses names on threads of its own without a window: a
    // device error is then returned, not shown.
    const DeviceAnswer answer = DeviceAsk(owner, [&](CNotetaker& notetaker) {
        return items.FillFromDevice(notetaker, deviceList_.get(), SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, true, true);
    });
    if (answer.Failed()) {
        if (owner) ShowMessageText(owner, answer.words.c_str(), MB_ICONERROR | MB_TASKMODAL);
        return answer.Result();
    }
    for (UINT index = 0; index < items.Count(); ++index) {
        LPCITEMIDLIST candidate = items.Item(index);
        char own[MAX_PATH];
        size_t length = strlen(ItemIdDisplayName(candidate, own, sizeof own, !deviceList_));
        bool whole = lstrcmpiA(name, own) == 0;
        bool above = !whole && ItemIdIsFolder(candidate) && strlen(name) > length && name[length] == '\\' &&
                     CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, name, static_cast<int>(length), own,
                                    static_cast<int>(length)) == CSTR_EQUAL;
        if (whole || above) {
            *item = ItemIdCopy(candidate);
            *rest = whole ? name + strlen(name) : name + length + 1;
            return *item ? S_OK : E_OUTOFMEMORY;
        }
    }
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

// Without a window (the navigation pane, the address bar) a failure is a
// code alone; with one, the device's words are shown, owned by it.
STDMETHODIMP CShellFolder::EnumObjects(HWND owner, SHCONTF flags, IEnumIDList** enumerator)
{
    if (!enumerator) return E_POINTER;
    *enumerator = nullptr;
    ComPtr<CEnumIDList> items = MakeComObject<CEnumIDList>();
    if (!items) return E_OUTOFMEMORY;
    const DeviceAnswer answer =
        DeviceAsk(owner, [&](CNotetaker& notetaker) { return items->Fill(notetaker, deviceList_.get(), flags); });
    if (answer.Failed()) {
        if (owner) ShowMessageText(owner, answer.words.c_str(), MB_ICONERROR | MB_TASKMODAL);
        return answer.Result();
    }
    *enumerator = items.detach();
    return S_OK;
}

STDMETHODIMP CShellFolder::BindToObject(LPCITEMIDLIST item, LPBC, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // Only interfaces of a folder may be bound to: a file's IStream, which
    // other programs' Open dialogs ask for, is refused before anything else.
    HRESULT hr = QueryInterface(riid, ppv);
    if (FAILED(hr)) return hr;
    static_cast<IUnknown*>(*ppv)->Release();
    *ppv = nullptr;
    SFGAOF attributes = SFGAO_FOLDER;
    if (FAILED(GetAttributesOf(1, &item, &attributes)) || !(attributes & SFGAO_FOLDER)) return E_INVALIDARG;
    ComPtr<CShellFolder> child = MakeComObject<CShellFolder>(this, item);
    if (!child) return E_OUTOFMEMORY;
    ShellIdList absolute(ILCombine(absoluteList_.get(), item));
    hr = absolute ? child->Initialize(absolute.get()) : E_OUTOFMEMORY;
    return SUCCEEDED(hr) ? child->QueryInterface(riid, ppv) : hr;
}

// Device files are copied through Explorer only: no stream or storage goes
// to other programs, whose Open dialogs then refuse the location.
STDMETHODIMP CShellFolder::BindToStorage(LPCITEMIDLIST, LPBC, REFIID, void** ppv)
{
    if (ppv) *ppv = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CShellFolder::CompareIDs(LPARAM sortWord, LPCITEMIDLIST a, LPCITEMIDLIST b)
{
    if (!ItemIdIsValid(a) || !ItemIdIsValid(b)) return E_INVALIDARG;
    // Level by level: R:\A\x.txt and R:\B\x.txt differ at their folders.
    while ((a && a->mkid.cb) || (b && b->mkid.cb)) {
        int order = CompareItems(sortWord, AsList(HeadItem(a)), AsList(HeadItem(b)));
        if (order != 0) return OrderResult(order);
        if (a && a->mkid.cb) a = ItemIdNext(a);
        if (b && b->mkid.cb) b = ItemIdNext(b);
    }
    return OrderResult(0);
}

STDMETHODIMP CShellFolder::CreateViewObject(HWND owner, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IDropTarget)) return GetUIObjectOf(owner, 0, nullptr, riid, nullptr, ppv);
    if (!IsEqualIID(riid, IID_IShellView)) return E_NOINTERFACE;
    return CreateComObject<CShellView>(riid, ppv, this);
}

STDMETHODIMP CShellFolder::GetAttributesOf(UINT count, LPCITEMIDLIST* items, SFGAOF* attributes)
{
    if (!attributes || (count > 0 && !items)) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        if (!IsDeviceItem(items[i])) return E_INVALIDARG;
    // No items: the folder's own attributes, as Explorer asks of a folder it shows.
    if (count == 0) *attributes &= deviceList_ ? AttributesOf(deviceList_.get()) : kRootAttributes;
    for (UINT i = 0; i < count; ++i) *attributes &= AttributesOf(items[i]);
    return S_OK;
}

STDMETHODIMP CShellFolder::GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* items, REFIID riid, UINT*, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IDataObject)) {
        if (count > 0 && !items) return E_INVALIDARG;
        return CreateItemsDataObject(*this, owner, count, items, ppv);
    }
    if (IsEqualIID(riid, IID_IContextMenu)) return CreateContextMenu(count, items, ppv);
    if (IsEqualIID(riid, IID_IDropTarget)) return CreateDropTarget(owner, count, items, ppv);
    if (!IsEqualIID(riid, IID_IExtractIconA) && !IsEqualIID(riid, IID_IExtractIconW)) return E_NOINTERFACE;
    if (count < 1 || !items || !IsDeviceItem(items[0])) return E_INVALIDARG;
    return CreateComObject<CExtractIcon>(riid, ppv, items[0]);
}

STDMETHODIMP CShellFolder::GetDisplayNameOf(LPCITEMIDLIST item, SHGDNF flags, STRRET* name)
{
    if (!name || !IsDeviceItem(item)) return E_INVALIDARG;
    flags &= kNameFlags;  // the others are hints (SHGDN_FORADDRESSBAR's kin) that change nothing here
    char text[2 * MAX_PATH] = "";
    // A name to edit is always the one inside the folder, as SetNameOf takes it.
    if (flags & (SHGDN_INFOLDER | SHGDN_FOREDITING))
        return WideString(ItemIdDisplayName(item, text, sizeof text, AtRoot(item)), name);
    size_t length = 0;
    if (flags & SHGDN_FORADDRESSBAR) {
        length = FriendlyPrefix(text, MAX_PATH);
    } else if (flags & SHGDN_FORPARSING) {
        length = strlen(lstrcpynA(text, kParsingPrefix, MAX_PATH));
    } else {
        // Only the model the device has already told: Explorer asks for names on
        // every thread and at any time, and an unplugged device would freeze it.
        KnownDeviceName(text, MAX_PATH);
        length = strlen(text);
        if (length > 0) text[length++] = ':';
    }
    if (!DevicePath(item, text + length, MAX_PATH)) return E_OUTOFMEMORY;
    // A folder's parsing name, like a PC folder's, ends without a backslash.
    const size_t end = strlen(text);
    if ((flags & (SHGDN_FORADDRESSBAR | SHGDN_FORPARSING)) && end > length && text[end - 1] == '\\')
        text[end - 1] = '\0';
    return WideString(text, name);
}

STDMETHODIMP CShellFolder::SetNameOf(HWND owner, LPCITEMIDLIST item, LPCOLESTR name, SHGDNF, LPITEMIDLIST* newItem)
{
    if (newItem) *newItem = nullptr;
    if (!item || !name) return E_INVALIDARG;
    SFGAOF attributes = SFGAO_CANRENAME;
    HRESULT hr = GetAttributesOf(1, &item, &attributes);
    if (FAILED(hr)) return hr;
    if (!(attributes & SFGAO_CANRENAME)) return E_FAIL;
    char oldPath[MAX_PATH], newName[MAX_PATH] = "", newPath[MAX_PATH];
    if (!DevicePath(item, oldPath, sizeof oldPath)) return E_OUTOFMEMORY;
    if (wcslen(name) >= MAX_PATH) return E_UNEXPECTED;
    // A letter the code page lacks would reach the device as a look-alike or
    // "?", and a separator would name another folder: neither is sent.
    BOOL lossy = FALSE;
    if (!WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, newName, sizeof newName, nullptr, &lossy) ||
        lossy || !ItemIdIsOwnName(newName)) {
        char words[MAX_PATH] = "";
        LoadResourceText(IDS_BAD_NEW_NAME, words, sizeof words);
        if (owner) ShowDeviceRefusal(owner, words);
        return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    }
    ItemIdHolder renamed(ItemIdRenamed(item, newName));
    if (!renamed || !DevicePath(renamed.get(), newPath, sizeof newPath)) return E_OUTOFMEMORY;
    const DeviceAnswer answer = DeviceAsk(
        owner, [&](CNotetaker& notetaker) { return static_cast<int>(notetaker.Rename(oldPath, newPath, 0)); });
    if (answer.Failed()) {
        if (owner) ShowDeviceRefusal(owner, answer.words.c_str());
        return answer.Result();
    }
    NotifyChange(ItemIdIsFolder(item) ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM, item, renamed.get());
    if (newItem) *newItem = renamed.release();
    return hr;
}

STDMETHODIMP CShellFolder::EnumSearches(IEnumExtraSearch** searches)
{
    if (searches) *searches = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CShellFolder::GetDefaultColumn(DWORD, ULONG* sort, ULONG* display)
{
    if (!sort || !display) return E_POINTER;
    *sort = *display = COLUMN_NAME;
    return S_OK;
}

STDMETHODIMP CShellFolder::GetDefaultColumnState(UINT column, SHCOLSTATEF* state)
{
    if (!state) return E_POINTER;
    if (column >= kColumnCount) return E_INVALIDARG;
    *state = kColumns[column].state;
    return S_OK;
}

STDMETHODIMP CShellFolder::MapColumnToSCID(UINT column, SHCOLUMNID* key)
{
    if (!key) return E_POINTER;
    if (column >= kColumnCount) return E_INVALIDARG;
    key->fmtid = kStorageProperties;
    key->pid = kColumns[column].pid;
    return S_OK;
}

STDMETHODIMP CShellFolder::GetDetailsEx(LPCITEMIDLIST item, const SHCOLUMNID* key, VARIANT* value)
{
    if (!key || !value) return E_POINTER;
    VariantInit(value);
    if (!IsDeviceItem(item)) return E_INVALIDARG;
    char text[MAX_PATH] = "";
    switch (ColumnOfKey(*key)) {
    case COLUMN_NAME: return StringVariant(ItemIdDisplayName(item, text, sizeof text, AtRoot(item)), value);
    case COLUMN_SIZE:
        if (ItemIdIsFolder(item)) return S_OK;  // empty: folders have no size
        value->vt = VT_UI8;
        value->ullVal = ItemIdFileSize(item);
        return S_OK;
    case COLUMN_TYPE: return StringVariant(ItemIdColumnText(COLUMN_TYPE, item, text, sizeof text, false), value);
    case COLUMN_MODIFIED: return TimeVariant(item, value);
    default: return E_FAIL;
    }
}

STDMETHODIMP CShellFolder::GetDetailsOf(LPCITEMIDLIST item, UINT column, SHELLDETAILS* details)
{
    if (!details) return E_POINTER;
    if (column >= kColumnCount) return E_FAIL;  // how a caller finds the number of columns
    char text[MAX_PATH] = "";
    if (!item) {
        LoadResourceText(kColumns[column].header, text, sizeof text);
        details->fmt = kColumns[column].format;
        details->cxChar = kColumnChars[column];
    } else if (IsDeviceItem(item)) {
        ItemIdColumnText(static_cast<int>(column), item, text, sizeof text, AtRoot(item));
    } else {
        return E_INVALIDARG;
    }
    return WideString(text, &details->str);
}

HRESULT CShellFolder::CreateContextMenu(UINT count, LPCITEMIDLIST* items, void** ppv)
{
    if (count > 0 && !items) return E_INVALIDARG;
    return CreateComObject<CContextMenu>(IID_IContextMenu, ppv, this, count, items);
}

bool CShellFolder::AtRoot(LPCITEMIDLIST item) const { return !deviceList_ && ItemIdLast(item) == item; }

bool CShellFolder::DevicePath(LPCITEMIDLIST item, char* path, size_t size) const
{
    ItemIdHolder full(ItemIdConcat(deviceList_.get(), item));
    if (!full) return false;
    ItemIdPath(full.get(), path, size, false);
    return true;
}

HRESULT CShellFolder::CreateDropTarget(HWND owner, UINT count, const LPCITEMIDLIST* items, void** ppv)
{
    if (count > 1) return E_OUTOFMEMORY;
    ItemIdHolder joined;
    if (count == 1) {
        if (!items || !IsDeviceItem(items[0]) || !ItemIdIsDeviceFolder(items[0])) return E_INVALIDARG;
        joined.reset(ItemIdConcat(deviceList_.get(), items[0]));
        if (!joined) return E_OUTOFMEMORY;
    }
    LPCITEMIDLIST target = joined ? joined.get() : deviceList_.get();
    return CreateComObject<CDropTarget>(IID_IDropTarget, ppv, nullptr, this, target, ItemIdSize(target), owner);
}

STDMETHODIMP CShellFolder::DropData(DropRequest* request)
{
    if (!request) return E_INVALIDARG;
    // A drop on a folder shown elsewhere (the tree, a folder icon) is owned
    // by the window that asked for the drop target, or by the paste's own.
    return PasteDataObject(*this, request->owner, request->target, request);
}

void CShellFolder::NotifyChange(LONG event, LPCITEMIDLIST item1, LPCITEMIDLIST item2)
{
    ShellIdList absolute1(ILCombine(absoluteList_.get(), item1));
    ShellIdList absolute2(item2 ? ILCombine(absoluteList_.get(), item2) : nullptr);
    if (absolute1) SHChangeNotify(event, SHCNF_IDLIST, absolute1.get(), absolute2.get());
    UpdateOpenViews(*this, event, item1, item2);
}

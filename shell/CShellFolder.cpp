#include "shell/CShellFolder.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "shell/CEnumIDList.h"
#include "shell/CExtractIcon.h"
#include "shell/Guids.h"
#include "shell/Paste.h"
#include "shell/OpenViews.h"
#include "view/CContextMenu.h"
#include "view/CDropTarget.h"
#include "view/CShellView.h"

namespace {

constexpr SFGAOF kItemAttributes = SFGAO_CANCOPY | SFGAO_CANRENAME | SFGAO_CANDELETE;
constexpr SFGAOF kFolderAttributes = kItemAttributes | SFGAO_FOLDER | SFGAO_BROWSABLE | SFGAO_DROPTARGET;
constexpr LPARAM kDescending = 0x4;

// A relative identifier or device list from the shell: ours and not empty.
bool IsDeviceItem(LPCITEMIDLIST item) { return item && ItemIdLast(item) != nullptr; }

SFGAOF AttributesOf(LPCITEMIDLIST item, SFGAOF requested)
{
    if (!ItemIdIsFolder(item) || !(requested & SFGAO_FOLDER)) return kItemAttributes;
    if (ItemIdIsSpecial(item) && (requested & SFGAO_HASSUBFOLDER)) return kFolderAttributes | SFGAO_HASSUBFOLDER;
    return kFolderAttributes;
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
        return Sign(lstrcmpiA(ItemIdColumnText(COLUMN_TYPE, a, typeA, sizeof typeA),
                              ItemIdColumnText(COLUMN_TYPE, b, typeB, sizeof typeB)));
    }
    case COLUMN_MODIFIED: return CompareTimes(ItemIdData(a).modified, ItemIdData(b).modified);
    default: return 0;
    }
}

// The result of CompareIDs: a success code carrying the signed 16-bit order.
HRESULT OrderResult(int order) { return MAKE_HRESULT(SEVERITY_SUCCESS, 0, static_cast<USHORT>(static_cast<short>(order))); }

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

bool IsDisplayNameFlags(SHGDNF flags)
{
    SHGDNF high = flags & ~0xFFu, low = flags & 0xFFu;
    return (high == 0 || high == SHGDN_FORADDRESSBAR || high == SHGDN_FORPARSING) &&
           (low == SHGDN_NORMAL || low == SHGDN_INFOLDER);
}

}  // namespace

CShellFolder::CShellFolder(const CShellFolder* parent, LPCITEMIDLIST relative)
{
    LPCITEMIDLIST parentList = parent ? parent->DeviceList() : nullptr;
    if (parentList || relative) deviceList_.reset(ItemIdConcat(parentList, relative));
    AcquireNotetaker();
}

CShellFolder::~CShellFolder()
{
    ReleaseNotetaker();
}

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
        order = Sign(lstrcmpiA(ItemIdName(a, nameA, sizeof nameA), ItemIdName(b, nameB, sizeof nameB)));
    }
    return direction * order;
}

STDMETHODIMP CShellFolder::QueryInterface(REFIID riid, void** ppv)
{
    static const QiEntry table[] = {
        QI_ENTRY(CShellFolder, IPersistFolder),
        {&IID_IPersist, QiOffset<CShellFolder, IPersistFolder>()},
        QI_ENTRY(CShellFolder, IShellFolder),
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

STDMETHODIMP CShellFolder::ParseDisplayName(HWND, LPBC, LPOLESTR, ULONG*, LPITEMIDLIST* list, ULONG*)
{
    if (list) *list = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CShellFolder::EnumObjects(HWND, SHCONTF flags, IEnumIDList** enumerator)
{
    if (!enumerator) return E_POINTER;
    *enumerator = nullptr;
    NotetakerSession session;
    CNotetaker* notetaker = session.get();
    if (!notetaker) return E_OUTOFMEMORY;
    return CreateComObject<CEnumIDList>(IID_IEnumIDList, reinterpret_cast<void**>(enumerator), *notetaker,
                                        deviceList_.get(), flags);
}

STDMETHODIMP CShellFolder::BindToObject(LPCITEMIDLIST item, LPBC, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    SFGAOF attributes = SFGAO_FOLDER;
    if (FAILED(GetAttributesOf(1, &item, &attributes)) || !(attributes & SFGAO_FOLDER)) return E_INVALIDARG;
    // Only interfaces of a folder may be bound to.
    HRESULT hr = QueryInterface(riid, ppv);
    if (FAILED(hr)) return hr;
    static_cast<IUnknown*>(*ppv)->Release();
    *ppv = nullptr;
    ComPtr<CShellFolder> child = MakeComObject<CShellFolder>(this, item);
    if (!child) return E_OUTOFMEMORY;
    ShellIdList absolute(ILCombine(absoluteList_.get(), item));
    hr = absolute ? child->Initialize(absolute.get()) : E_OUTOFMEMORY;
    return SUCCEEDED(hr) ? child->QueryInterface(riid, ppv) : hr;
}

STDMETHODIMP CShellFolder::BindToStorage(LPCITEMIDLIST, LPBC, REFIID, void** ppv)
{
    if (ppv) *ppv = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CShellFolder::CompareIDs(LPARAM sortWord, LPCITEMIDLIST a, LPCITEMIDLIST b)
{
    if (!ItemIdIsValid(a) || !ItemIdIsValid(b)) return E_INVALIDARG;
    while (ItemIdLast(a) || ItemIdLast(b)) {
        int order = CompareItems(sortWord, a, b);
        if (order != 0) return OrderResult(order);
        if (LPCITEMIDLIST next = ItemIdNext(a)) a = next;
        if (LPCITEMIDLIST next = ItemIdNext(b)) b = next;
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
    SFGAOF requested = *attributes;
    for (UINT i = 0; i < count; ++i) *attributes &= AttributesOf(items[i], requested);
    return S_OK;
}

STDMETHODIMP CShellFolder::GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* items, REFIID riid, UINT*,
                                         void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IDataObject)) {
        if (count > 0 && !items) return E_INVALIDARG;
        return CreateItemsDataObject(*this, owner, count, items, ppv);
    }
    if (IsEqualIID(riid, IID_IContextMenu)) return CreateContextMenu(count, items, ppv);
    if (IsEqualIID(riid, IID_IDropTarget)) return CreateDropTarget(count, items, ppv);
    if (!IsEqualIID(riid, IID_IExtractIconA)) return E_NOINTERFACE;
    if (count < 1 || !items || !IsDeviceItem(items[0])) return E_INVALIDARG;
    return CreateComObject<CExtractIcon>(riid, ppv, items[0]);
}

STDMETHODIMP CShellFolder::GetDisplayNameOf(LPCITEMIDLIST item, SHGDNF flags, STRRET* name)
{
    if (!name || !IsDisplayNameFlags(flags) || !IsDeviceItem(item)) return E_INVALIDARG;
    char text[MAX_PATH] = "";
    if (flags & SHGDN_INFOLDER) return WideString(ItemIdDisplayName(item, text, sizeof text), name);
    NotetakerSession session;
    CNotetaker* notetaker = session.get();
    if (notetaker) notetaker->GetDeviceName(text, sizeof text);
    size_t length = strlen(text);
    if (length + 1 < sizeof text) text[length++] = ':';
    text[length] = '\0';
    if (!DevicePath(item, text + length, sizeof text - length)) return E_OUTOFMEMORY;
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
    char oldPath[MAX_PATH], newName[2 * MAX_PATH + 2] = "", newPath[MAX_PATH];
    if (!DevicePath(item, oldPath, sizeof oldPath)) return E_OUTOFMEMORY;
    if (wcslen(name) > MAX_PATH) return E_UNEXPECTED;
    WideCharToMultiByte(CP_ACP, 0, name, -1, newName, sizeof newName, nullptr, nullptr);
    newName[MAX_PATH - 1] = '\0';
    ItemIdHolder renamed(ItemIdRenamed(item, newName));
    if (!renamed || !DevicePath(renamed.get(), newPath, sizeof newPath)) return E_OUTOFMEMORY;
    NotetakerSession session;
    CNotetaker* notetaker = session.get();
    if (!notetaker) return E_FAIL;
    hr = notetaker->Rename(oldPath, newPath, 0);
    if (FAILED(hr)) {
        ShowDeviceRefusal(owner, *notetaker);
        return hr;
    }
    NotifyChange(ItemIdIsFolder(item) ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM, item, renamed.get());
    if (newItem) *newItem = renamed.release();
    return hr;
}

HRESULT CShellFolder::CreateContextMenu(UINT count, LPCITEMIDLIST* items, void** ppv)
{
    if (count > 0 && !items) return E_INVALIDARG;
    return CreateComObject<CContextMenu>(IID_IContextMenu, ppv, this, count, items);
}

bool CShellFolder::DevicePath(LPCITEMIDLIST item, char* path, size_t size) const
{
    ItemIdHolder full(ItemIdConcat(deviceList_.get(), item));
    if (!full) return false;
    ItemIdPath(full.get(), path, size, false);
    return true;
}

HRESULT CShellFolder::CreateDropTarget(UINT count, const LPCITEMIDLIST* items, void** ppv)
{
    if (count > 1) return E_OUTOFMEMORY;
    ItemIdHolder joined;
    if (count == 1) {
        if (!items || !IsDeviceItem(items[0])) return E_INVALIDARG;
        joined.reset(ItemIdConcat(deviceList_.get(), items[0]));
        if (!joined) return E_OUTOFMEMORY;
    }
    LPCITEMIDLIST target = joined ? joined.get() : deviceList_.get();
    return CreateComObject<CDropTarget>(IID_IDropTarget, ppv, nullptr, this, target, ItemIdSize(target));
}

STDMETHODIMP CShellFolder::DropData(DropRequest* request)
{
    if (!request) return E_INVALIDARG;
    return PasteDataObject(*this, nullptr, request->target, request);
}

void CShellFolder::NotifyChange(LONG event, LPCITEMIDLIST item1, LPCITEMIDLIST item2)
{
    ShellIdList absolute1(ILCombine(absoluteList_.get(), item1));
    ShellIdList absolute2(item2 ? ILCombine(absoluteList_.get(), item2) : nullptr);
    if (absolute1) SHChangeNotify(event, SHCNF_IDLIST, absolute1.get(), absolute2.get());
    UpdateOpenViews(*this, event, item1, item2);
}

// The item list inside the view window: styles, filling, texts and icons,
// sorting, column widths, selection, opening and in-place renaming.
#include "view/CShellView.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "devicefiles/DeviceThread.h"
#include "devicefiles/ErrorText.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "foundation/CReg.h"
#include "resources/resource.h"
#include "shell/CModule.h"
#include "shell/CItemList.h"
#include "shell/CShellFolder.h"
#include "shell/ItemId.h"

// A listing the view asked the device thread for: filled there, read here
// once the arrival is posted.
struct PendingListing : DeviceTicket {
    LPARAM number = 0;  // posted with its arrival: an address could be a later listing's
    ItemIdHolder folder;
    CItemList items;
    std::string words;                 // the device's, for a failure
    std::vector<std::string> leftOut;  // names the listing left out
};

namespace {

constexpr DWORD kListStyle =
    WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | LVS_EDITLABELS | LVS_SHAREIMAGELISTS;
constexpr DWORD kDefaultWidths[CReg::kColumns] = {200, 75, 100, 300};
constexpr UINT kColumnHeaders[CReg::kColumns] = {IDS_COLUMN_NAME, IDS_COLUMN_SIZE, IDS_COLUMN_TYPE,
                                                 IDS_COLUMN_MODIFIED};
constexpr int kRenameLength = 21;  // characters the device takes, terminator included
constexpr char kDummyName[] = "DGP";

// Which list styles a folder flag turns on (or, inverted, off).
struct FlagStyle {
    UINT flag;
    DWORD style, exStyle, listExStyle;
    bool inverted;
};
constexpr FlagStyle kFlagStyles[] = {
    {FWF_AUTOARRANGE, LVS_AUTOARRANGE, 0, 0, false},
    {FWF_OWNERDATA, LVS_OWNERDATA, 0, 0, false},
    {FWF_SINGLESEL, LVS_SINGLESEL, 0, 0, false},
    {FWF_TRANSPARENT, 0, WS_EX_TRANSPARENT, 0, false},
    {FWF_NOCLIENTEDGE, 0, WS_EX_CLIENTEDGE, 0, true},
    {FWF_NOSCROLL, LVS_NOSCROLL, 0, 0, false},
    {FWF_ALIGNLEFT, LVS_ALIGNLEFT, 0, 0, false},
    {FWF_SHOWSELALWAYS, LVS_SHOWSELALWAYS, 0, 0, false},
    {FWF_SINGLECLICKACTIVATE, 0, 0, LVS_EX_UNDERLINEHOT | LVS_EX_ONECLICKACTIVATE | LVS_EX_TRACKSELECT, false},
};

// The list has four modes. Explorer's picture modes become large icons;
// tiles, content and anything unknown become details, whose columns carry
// what those modes would show, and the View menu marks the mode shown.
UINT ShownViewMode(UINT mode)
{
    if (mode >= FVM_ICON && mode <= FVM_DETAILS) return mode;
    return mode == FVM_THUMBNAIL || mode == FVM_THUMBSTRIP ? UINT{FVM_ICON} : UINT{FVM_DETAILS};
}

void SetBits(DWORD& value, DWORD bits, bool on) { value = on ? (value | bits) : (value & ~bits); }

int CALLBACK CompareListItems(LPARAM a, LPARAM b, LPARAM sortWord)
{
    return CShellFolder::CompareItems(sortWord, reinterpret_cast<LPCITEMIDLIST>(a), reinterpret_cast<LPCITEMIDLIST>(b));
}

int SystemIconIndex(LPCITEMIDLIST item)
{
    char name[MAX_PATH] = "";
    bool folder = ItemIdIsFolder(item);
    SHFILEINFOA info{};
    SHGetFileInfoA(folder ? kDummyName : ItemIdName(item, name, sizeof name),
                   folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                   SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES);
    return info.iIcon;
}

HIMAGELIST SystemImageList(UINT size)
{
    SHFILEINFOA info{};
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(kDummyName, FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                                       SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | size));
}

// The folder's name as its parent lists it; the product's name for the device root.
void FolderName(LPCITEMIDLIST deviceList, char* name, size_t size)
{
    ItemIdDisplayName(deviceList, name, size, ItemIdLast(deviceList) == deviceList);
    if (!name[0] && g_module) g_module->LoadString(IDS_FOLDER_NAME, name, static_cast<int>(size));
}

}  // namespace

bool CShellView::CreateList()
{
    DWORD style = kListStyle, exStyle = 0, listExStyle = 0;
    ComputeStyles(style, exStyle, listExStyle);
    HINSTANCE instance = g_module ? g_module->Instance() : GetModuleHandleA(nullptr);
    // A screen reader names the view and its list by their window texts, which neither shows.
    char name[MAX_PATH];
    FolderName(folder_->DeviceList(), name, sizeof name);
    SetWindowTextA(window_, name);
    list_ = CreateWindowExA(exStyle, WC_LISTVIEWA, name, style, 0, 0, 0, 0, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), instance, nullptr);
    if (!list_) return false;
    SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, listExStyle);
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    const CReg* settings = Settings();
    for (int column = 0; column < CReg::kColumns; ++column) {
        char header[64] = "";
        if (g_module) g_module->LoadString(kColumnHeaders[column], header, sizeof header);
        LVCOLUMNA entry{};
        entry.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        entry.fmt = LVCFMT_LEFT;
        entry.cx = static_cast<int>(settings ? settings->m_dwColumnWidths[column] : kDefaultWidths[column]);
        entry.pszText = header;
        entry.iSubItem = column;
        SendMessageA(list_, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&entry));
    }
    if (!(folderFlags_ & FWF_NOICONS)) {
        SendMessageA(list_, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(SystemImageList(0)));
        SendMessageA(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(SystemImageList(SHGFI_SMALLICON)));
    }
    FillList();
    return true;
}

void CShellView::ComputeStyles(DWORD& style, DWORD& exStyle, DWORD& listExStyle)
{
    viewMode_ = ShownViewMode(viewMode_);
    style &= ~LVS_TYPEMASK;
    listExStyle &= ~LVS_EX_HEADERDRAGDROP;
    switch (viewMode_) {
    case FVM_ICON: style |= LVS_ICON; break;
    case FVM_SMALLICON: style |= LVS_SMALLICON; break;
    case FVM_LIST: style |= LVS_LIST; break;
    case FVM_DETAILS:
        style |= LVS_REPORT;
        listExStyle |= LVS_EX_HEADERDRAGDROP;
        break;
    default: break;
    }
    for (const FlagStyle& row : kFlagStyles) {
        bool on = ((folderFlags_ & row.flag) != 0) != row.inverted;
        SetBits(style, row.style, on);
        SetBits(exStyle, row.exStyle, on);
        SetBits(listExStyle, row.listExStyle, on);
    }
    style |= LVS_SHOWSELALWAYS;
    SHGetSettings(&shellFlags_, ~0u);
    if (shellFlags_.fWin95Classic) {
        listExStyle &= ~LVS_EX_ONECLICKACTIVATE;
        listExStyle |= LVS_EX_TWOCLICKACTIVATE;
    }
}

void CShellView::ReapplyStyles()
{
    if (!list_) return;
    DWORD oldStyle = static_cast<DWORD>(GetWindowLongPtrA(list_, GWL_STYLE));
    DWORD oldExStyle = static_cast<DWORD>(GetWindowLongPtrA(list_, GWL_EXSTYLE));
    DWORD oldListExStyle = static_cast<DWORD>(SendMessageA(list_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    DWORD style = oldStyle, exStyle = oldExStyle, listExStyle = oldListExStyle;
    ComputeStyles(style, exStyle, listExStyle);
    if (style != oldStyle) SetWindowLongPtrA(list_, GWL_STYLE, style);
    if (exStyle != oldExStyle) SetWindowLongPtrA(list_, GWL_EXSTYLE, exStyle);
    if (listExStyle != oldListExStyle) SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, listExStyle);
    if (style != oldStyle || exStyle != oldExStyle || listExStyle != oldListExStyle) {
        RECT client{};
        GetClientRect(window_, &client);
        MoveWindow(list_, 0, 0, client.right, client.bottom, TRUE);
    }
    SortList();
}

// The view does not wait for the device: a long folder would freeze the
// window, so the listing comes back by a message and Esc can drop it.
void CShellView::FillList()
{
    if (!list_) return;
    CancelListing();
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    auto pending = std::make_shared<PendingListing>();
    pending->number = ++listings_;
    pending->folder.reset(ItemIdCopy(folder_->DeviceList()));
    const SHCONTF flags = (folderFlags_ & FWF_NOSUBFOLDERS) ? SHCONTF_NONFOLDERS : SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;
    const HWND window = window_;
    const bool started = DeviceStart(
        pending,
        [pending, flags](CNotetaker& notetaker) {
            notetaker.SetListingCancel(&pending->cancelled);
            const int result = pending->items.FillFromDevice(notetaker, pending->folder.get(), flags, true, true);
            notetaker.SetListingCancel(nullptr);
            pending->leftOut = notetaker.LeftOutNames();
            if (result < 0) pending->words = notetaker.GetErrorString(result);
            return result;
        },
        [window, number = pending->number](const DeviceTicket&) { PostMessageA(window, kListingArrived, 0, number); });
    char text[MAX_PATH] = "";
    if (!started) {
        char busy[MAX_PATH] = "", format[MAX_PATH] = "";
        ErrorText(busy, sizeof busy, CNotetaker::ERR_BUSY, 0);
        LoadResourceText(IDS_LIST_RETRY, format, sizeof format);
        snprintf(text, sizeof text, format, busy);
        ShowListNote(text);
        return;
    }
    listing_ = pending;
    LoadResourceText(IDS_READING_DEVICE, text, sizeof text);
    ShowListNote(text);
}

void CShellView::OnListingArrived(LPARAM which)
{
    if (!listing_ || listing_->number != which || !list_) return;  // an older, dropped one
    const std::shared_ptr<PendingListing> arrived = std::move(listing_);
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    listingFailed_ = arrived->result < 0;
    if (arrived->result < 0) {
        char format[MAX_PATH] = "", text[2 * MAX_PATH] = "";
        LoadResourceText(IDS_LIST_RETRY, format, sizeof format);
        snprintf(text, sizeof text, format, arrived->words.c_str());
        ShowListNote(text);
        return;
    }
    SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    for (UINT index = 0; index < arrived->items.Count(); ++index) AppendItem(arrived->items.Item(index));
    ShowLeftOut(arrived->leftOut);
    SortList();
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
    if (ItemIdHolder selected{pendingSelect_.release()}) SelectItem(selected.get(), pendingSelectFlags_ | SVSI_FOCUSED);
    if (FocusedItem() < 0) FocusFirstItem();
}

void CShellView::ShowLeftOut(const std::vector<std::string>& names)
{
    if (names.empty()) return;
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "\"" : ", \"") + name + "\"";
    char format[MAX_PATH] = "";
    LoadResourceText(IDS_LEFT_OUT, format, sizeof format);
    std::vector<char> text(strlen(format) + joined.size() + 1);
    snprintf(text.data(), text.size(), format, joined.c_str());
    ShowListNote(text.data());
}

void CShellView::CancelListing()
{
    if (!listing_) return;
    InterlockedExchange(&listing_->cancelled, 1);
    listing_.reset();
}

void CShellView::ShowListNote(const char* text)
{
    LVITEMA entry{};
    entry.mask = LVIF_TEXT | LVIF_PARAM;
    entry.pszText = const_cast<char*>(text);
    entry.lParam = 0;  // no device item: commands and renaming pass it by
    SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&entry));
}

void CShellView::SortList()
{
    if (list_) SendMessageA(list_, LVM_SORTITEMS, sortWord_ & 0x7, reinterpret_cast<LPARAM>(CompareListItems));
}

bool CShellView::AppendItem(LPCITEMIDLIST item)
{
    LPITEMIDLIST copy = ItemIdCopy(item);
    if (!copy) return false;
    LVITEMA entry{};
    entry.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    entry.iItem = static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
    entry.pszText = LPSTR_TEXTCALLBACKA;
    entry.iImage = I_IMAGECALLBACK;
    entry.lParam = reinterpret_cast<LPARAM>(copy);
    if (SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&entry)) >= 0) return true;
    ItemIdFree(copy);
    return false;
}

int CShellView::FindItem(LPCITEMIDLIST item) const
{
    int count = list_ ? static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0)) : 0;
    for (int index = 0; index < count; ++index)
        if (CShellFolder::CompareItems(0, ItemAt(index), item) == 0) return index;
    return -1;
}

LPCITEMIDLIST CShellView::ItemAt(int index) const
{
    LVITEMA entry{};
    entry.mask = LVIF_PARAM;
    entry.iItem = index;
    if (!list_ || !SendMessageA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&entry))) return nullptr;
    return reinterpret_cast<LPCITEMIDLIST>(entry.lParam);
}

void CShellView::SetItemData(int index, LPITEMIDLIST item)
{
    if (!item) return;
    LPITEMIDLIST old = const_cast<LPITEMIDLIST>(ItemAt(index));
    LVITEMA entry{};
    entry.mask = LVIF_PARAM;
    entry.iItem = index;
    entry.lParam = reinterpret_cast<LPARAM>(item);
    if (SendMessageA(list_, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&entry))) {
        ItemIdFree(old);
        SendMessageA(list_, LVM_UPDATE, index, 0);
    } else {
        ItemIdFree(item);
    }
}

void CShellView::OnDispInfo(NMLVDISPINFOA* info) const
{
    auto item = reinterpret_cast<LPCITEMIDLIST>(info->item.lParam);
    if ((info->item.mask & LVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0)
        ItemIdColumnText(info->item.iSubItem, item, info->item.pszText, info->item.cchTextMax, !folder_->DeviceList());
    if (info->item.mask & LVIF_IMAGE) info->item.iImage = SystemIconIndex(item);
}

void CShellView::OnItemChanged(const NMLISTVIEW* change)
{
    // Focus and hot-tracking changes leave the selection as it was.
    if (!(change->uChanged & LVIF_STATE) || !((change->uOldState ^ change->uNewState) & LVIS_SELECTED)) return;
    // Select All changes the items one by one; the clipboard and the browser
    // are asked once, when the list is done.
    if (browser_ && !selectionPosted_) selectionPosted_ = PostMessageA(window_, kSelectionChanged, 0, 0) != FALSE;
}

void CShellView::OnSelectionChanged()
{
    selectionPosted_ = false;
    if (!browser_ || !list_) return;
    int selected = static_cast<int>(SendMessageA(list_, LVM_GETSELECTEDCOUNT, 0, 0));
    if (selected != 0 && g_module) {
        char text[512] = "";
        g_module->FormatString(IDS_STATUS_SELECTED, text, sizeof text, selected);
        SetStatusText(0, text);
    }
    UpdateToolbar();
}

void CShellView::OnHeaderClick(int column)
{
    if (column < 0 || column >= CReg::kColumns) return;
    if (static_cast<int>(sortWord_ & 0x3) == column) sortWord_ ^= 0x4;
    else sortWord_ = static_cast<UINT>(column);
    ReapplyStyles();
}

void CShellView::StoreColumnWidths(int tracked, int width) const
{
    CReg* settings = Settings();
    if (!settings || !list_) return;
    for (int column = 0; column < CReg::kColumns; ++column)
        settings->m_dwColumnWidths[column] = static_cast<DWORD>(SendMessageA(list_, LVM_GETCOLUMNWIDTH, column, 0));
    // The header tells the end of a drag before the list takes the new width.
    if (tracked >= 0 && tracked < CReg::kColumns && width >= 0)
        settings->m_dwColumnWidths[tracked] = static_cast<DWORD>(width);
}

void CShellView::OpenItem(int index)
{
    LPCITEMIDLIST item = ItemAt(index);
    if (item && ItemIdIsDeviceFolder(item)) Browse(item);
}

HRESULT CShellView::Browse(LPCITEMIDLIST item)
{
    return browser_ ? browser_->BrowseObject(item, SBSP_RELATIVE) : E_FAIL;
}

// A browser that never hands keys to TranslateAccelerator (Wine's Explorer)
// still lets the list see them, so the view's accelerators work there too. A
// browser that does hand them over has taken its accelerators before the
// list saw them, so nothing runs twice.
void CShellView::OnListKey(WORD key)
{
    if (labelEditing_) return;
    if (key == VK_F5) {
        Refresh();
        return;
    }
    if (key == VK_ESCAPE && listing_) {
        CancelListing();
        char text[MAX_PATH] = "", format[MAX_PATH] = "", cancelled[MAX_PATH] = "";
        ErrorText(cancelled, sizeof cancelled, CYModem::ERR_ABORTED, 0);
        LoadResourceText(IDS_LIST_RETRY, format, sizeof format);
        snprintf(text, sizeof text, format, cancelled);
        SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
        ShowListNote(text);
        return;
    }
    MSG message{list_, WM_KEYDOWN, key, 0, 0, {0, 0}};
    TranslateAccelerator(&message);
}

int CShellView::FocusedItem() const
{
    return list_ ? static_cast<int>(SendMessageA(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)) : -1;
}

BOOL CShellView::BeginLabelEdit(const NMLVDISPINFOA* info)
{
    labelEditing_ = false;
    LPCITEMIDLIST item = reinterpret_cast<LPCITEMIDLIST>(info->item.lParam);
    SFGAOF attributes = SFGAO_CANRENAME;
    HWND edit = reinterpret_cast<HWND>(SendMessageA(list_, LVM_GETEDITCONTROL, 0, 0));
    if (FAILED(folder_->GetAttributesOf(1, &item, &attributes)) || !(attributes & SFGAO_CANRENAME) || !edit)
        return TRUE;
    PostMessageA(edit, EM_LIMITTEXT, kRenameLength, 0);
    labelEditing_ = true;
    return FALSE;
}

BOOL CShellView::EndLabelEdit(const NMLVDISPINFOA* info)
{
    labelEditing_ = false;
    if (!info->item.pszText) return FALSE;
    const ComPtr<CShellView> held = NewRef(this);  // the rename waits for the device
    const int index = info->item.iItem;
    ItemIdHolder old(ItemIdCopy(ItemAt(index)));
    WCHAR name[kRenameLength];
    LPITEMIDLIST renamed = nullptr;
    // A name that does not fit with its terminator is refused, not cut, and
    // the user is told why; the folder says why the device refused one.
    if (old && MultiByteToWideChar(CP_ACP, 0, info->item.pszText, -1, name, kRenameLength) <= 0) {
        MessageBeep(MB_ICONEXCLAMATION);
        char text[256] = "";
        LoadResourceText(IDS_NAME_TOO_LONG, text, sizeof text);
        ShowMessageText(browserWindow_, text, MB_ICONEXCLAMATION | MB_TASKMODAL);
        return FALSE;
    }
    if (!old || FAILED(folder_->SetNameOf(browserWindow_, old.get(), name, SHGDN_NORMAL, &renamed)) || !renamed) {
        MessageBeep(MB_ICONEXCLAMATION);
        return FALSE;
    }
    ItemIdHolder result(renamed);
    if (!list_) return FALSE;  // the window went during the wait
    if (ItemIdIsFolder(renamed)) {
        ShellIdList oldAbsolute(ILCombine(folder_->AbsoluteList(), old.get()));
        ShellIdList newAbsolute(ILCombine(folder_->AbsoluteList(), renamed));
        if (oldAbsolute && newAbsolute)
            SHChangeNotify(SHCNE_RENAMEFOLDER, SHCNF_FLUSH, oldAbsolute.get(), newAbsolute.get());
    }
    // The row is found again: a listing that came in during the wait may
    // have replaced the rows, and the folder's broadcast may already have
    // given this one the new identifier.
    int row = FindItem(old.get());
    if (row < 0) row = FindItem(renamed);
    if (row >= 0) SetItemData(row, result.release());
    // The list writes the typed name into the row it edited: only when that is still the renamed one.
    return row == index;
}

void CShellView::OnFolderChange(LONG event, LPCITEMIDLIST item1, LPCITEMIDLIST item2)
{
    if (!list_) return;
    switch (event) {
    case SHCNE_CREATE:
    case SHCNE_MKDIR: {
        // A paste over an existing name changes that row; it adds none.
        int index = FindItem(item1);
        if (index < 0) AppendItem(item1);
        else SetItemData(index, ItemIdCopy(item1));
        break;
    }
    case SHCNE_DELETE:
    case SHCNE_RMDIR: {
        int index = FindItem(item1);
        if (index >= 0) SendMessageA(list_, LVM_DELETEITEM, index, 0);
        break;
    }
    case SHCNE_RENAMEITEM:
    case SHCNE_RENAMEFOLDER: {
        if (labelEditing_ || !item2) break;
        int index = FindItem(item1);
        if (index >= 0) SetItemData(index, ItemIdCopy(item2));
        break;
    }
    case SHCNE_UPDATEITEM: {
        int index = FindItem(item1);
        if (index >= 0) SetItemData(index, ItemIdCopy(item1));
        break;
    }
    default: break;
    }
}

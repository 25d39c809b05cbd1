// The folder's side of the view's commands: backup and restore, view mode
// and arrangement, clipboard, deleting, renaming and selection.
#include <ole2.h>
#include <commctrl.h>
#include <htmlhelp.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "devicefiles/DeviceEntry.h"
#include "devicefiles/DeviceThread.h"
#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "foundation/CReg.h"
#include "foundation/SettingsSheet.h"
#include "resources/resource.h"
#include "shell/CDataObject.h"
#include "shell/CItemList.h"
#include "shell/CModule.h"
#include "shell/CShellFolder.h"
#include "shell/ClipFormats.h"
#include "shell/ItemId.h"
#include "shell/OpenViews.h"
#include "shell/ShellIdList.h"
#include "shell/Paste.h"
#include "view/CDropSource.h"
#include "view/CShellView.h"
#include "view/FolderPicker.h"
#include "view/MaskDialog.h"

namespace {

enum class WindowKind { Other, List, Tree };

WindowKind KindOf(HWND window)
{
    char name[64] = "";
    if (!window || !GetClassNameA(window, name, sizeof name)) return WindowKind::Other;
    if (strstr(name, "TreeView")) return WindowKind::Tree;
    return strstr(name, "ListView") ? WindowKind::List : WindowKind::Other;
}

// The newest open view of the folder, or null; held while the command that
// asked uses it, since Explorer may release it during a wait (Back, an
// address typed).
ComPtr<CShellView> ViewOf(const CShellFolder* folder)
{
    return FindOpenView([folder](CShellView* view) { return view->Folder() == folder; });
}

// The view of the folder in `window`: its list, its own window, or the
// Explorer window around it (the command bar and the ribbon name that one).
// Held while the command that asked uses it.
ComPtr<CShellView> ViewInside(const CShellFolder* folder, HWND window)
{
    return FindOpenView([folder, window](CShellView* view) {
        HWND own = nullptr;
        view->GetWindow(&own);
        return view->Folder() == folder && window && own &&
               (view->ListWindow() == window || own == window || IsChild(window, own));
    });
}

// The view a command came from, else the folder's newest.
ComPtr<CShellView> ViewFor(const CShellFolder* folder, HWND window)
{
    ComPtr<CShellView> found = ViewInside(folder, window);
    return found ? std::move(found) : ViewOf(folder);
}

// In a view the folder opens in place; from elsewhere (the tree, a shortcut)
// in a window of its own, through the shell's folder class so that this
// menu is not asked again.
HRESULT OpenFolderItem(CShellFolder& folder, LPCITEMIDLIST item, HWND window)
{
    if (ComPtr<CShellView> view = ViewInside(&folder, window)) return view->Browse(item);
    ShellIdList absolute(ILCombine(folder.AbsoluteList(), item));
    if (!absolute) return E_OUTOFMEMORY;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_IDLIST | SEE_MASK_CLASSNAME | SEE_MASK_FLAG_NO_UI;
    info.hwnd = window;
    info.lpVerb = "open";
    info.lpIDList = absolute.get();
    info.lpClass = "Folder";
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExA(&info) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

// A command that changes only the view, asked for from a context menu: the
// view runs it as it runs its own keys.
HRESULT SendToView(const ComPtr<CShellView>& view, UINT command)
{
    HWND window = nullptr;
    if (!view || FAILED(view->GetWindow(&window)) || !window) return S_FALSE;
    SendMessageA(window, WM_COMMAND, command, 0);
    return S_OK;
}

void ShowDeviceWords(HWND window, const std::string& words)
{
    if (window && !words.empty()) ShowMessageText(window, words.c_str(), MB_ICONERROR | MB_TASKMODAL);
}

// Explorer's tree where a cut last marked a folder: Explorer never clears
// a mark it did not set, so the next cut or copy here does. Windows of other
// threads are reached through messages alone.
void* volatile g_markedTree = nullptr;

void ClearTreeCutMarks(HWND tree, HTREEITEM first)
{
    for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree, item)) {
        TreeView_SetItemState(tree, item, 0, TVIS_CUT);
        ClearTreeCutMarks(tree, TreeView_GetChild(tree, item));
    }
}

// Marks Explorer's tree item of a cut folder; a new cut or copy takes the old mark away.
void MarkTreeCut(HWND tree)
{
    auto marked = static_cast<HWND>(InterlockedExchangePointer(&g_markedTree, tree));
    if (marked && IsWindow(marked)) ClearTreeCutMarks(marked, TreeView_GetRoot(marked));
    if (HTREEITEM caret = tree ? TreeView_GetSelection(tree) : nullptr)
        TreeView_SetItemState(tree, caret, TVIS_CUT, TVIS_CUT);
}

void SetCutMarks(HWND list, bool onSelected)
{
    ListView_SetItemState(list, -1, 0, LVIS_CUT);
    if (!onSelected) return;
    for (int item = ListView_GetNextItem(list, -1, LVNI_SELECTED); item >= 0;
         item = ListView_GetNextItem(list, item, LVNI_SELECTED))
        ListView_SetItemState(list, item, LVIS_CUT, LVIS_CUT);
}

void SelectAll(HWND list) { ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED); }

void InvertSelection(HWND list)
{
    for (int item = ListView_GetItemCount(list) - 1; item >= 0; --item)
        ListView_SetItemState(list, item, ListView_GetItemState(list, item, LVIS_SELECTED) ^ LVIS_SELECTED,
                              LVIS_SELECTED);
}

void SelectByMask(HWND list)
{
    char mask[MAX_PATH];
    if (!RunMaskDialog(list, mask)) return;
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    for (int item = ListView_GetItemCount(list) - 1; item >= 0; --item) {
        char name[MAX_PATH] = "";
        ListView_GetItemText(list, item, 0, name, sizeof name);
        if (PathMatchSpecA(name, mask)) ListView_SetItemState(list, item, LVIS_SELECTED, LVIS_SELECTED);
    }
}

// The names the device lists in the folder now. At the root these are R:'s
// and F:'s folders alike.
bool ListedNames(CShellFolder& folder, HWND window, std::vector<std::string>& names)
{
    ComPtr<IEnumIDList> items;
    if (FAILED(folder.EnumObjects(window, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, items.put())) || !items) return false;
    LPITEMIDLIST item = nullptr;
    while (items->Next(1, &item, nullptr) == S_OK) {
        char name[MAX_PATH] = "";
        names.emplace_back(ItemIdName(item, name, sizeof name));
        ItemIdFree(item);
    }
    return true;
}

// "New Folder", or "New Folder (2)" and on while the name is listed. A name
// that F: has at the root is passed over too: the device root shows both
// drives' folders side by side, and two folders of one name could not be
// told apart there.
std::string FreeFolderName(const std::vector<std::string>& listed)
{
    char name[MAX_PATH] = "";
    for (int number = 1; number < 1000 && g_module; ++number) {
        if (number == 1) g_module->LoadString(IDS_NEW_FOLDER, name, sizeof name);
        else g_module->FormatString(IDS_NEW_FOLDER_NUMBERED, name, sizeof name, number);
        auto same = [&name](const std::string& other) { return lstrcmpiA(other.c_str(), name) == 0; };
        if (std::none_of(listed.begin(), listed.end(), same)) return name;
    }
    return "";
}

// Makes a folder with a free name on the device, shows it in every view of
// the folder, and starts renaming it in the view it was asked from, as
// Explorer's New Folder does. At the root the folder goes on R:, as a paste
// there does.
void MakeNewFolder(CShellFolder& folder, HWND window)
{
    std::vector<std::string> listed;
    // A failed listing has shown the device's words already, to a caller with a window.
    if (!ListedNames(folder, window, listed)) return;
    const std::string name = FreeFolderName(listed);
    if (name.empty()) return;
    char path[MAX_PATH] = "R:\\";
    if (ItemIdLast(folder.DeviceList())) ItemIdPath(folder.DeviceList(), path, sizeof path, false);
    const std::string devicePath = path + name;
    const DeviceAnswer answer = DeviceAsk(window, [&devicePath](CNotetaker& notetaker) {
        return static_cast<int>(notetaker.FolderCreate(devicePath.c_str()));
    });
    if (answer.Failed()) return ShowDeviceWords(window, answer.words);
    DeviceItemData data{};
    const bool onF = devicePath.compare(0, 2, "F:") == 0;
    data.attributes = EntryAttributes(onF ? DeviceEntry::TYPE_FOLDER_F : DeviceEntry::TYPE_FOLDER_R);
    GetLocalTime(&data.modified);
    ItemIdHolder item(ItemIdCreate(data, name.c_str()));
    if (!item) return;
    folder.NotifyChange(SHCNE_MKDIR, item.get(), nullptr);
    if (ComPtr<CShellView> view = ViewFor(&folder, window))
        view->SelectItem(item.get(), SVSI_EDIT | SVSI_DESELECTOTHERS | SVSI_FOCUSED | SVSI_ENSUREVISIBLE);
}

// Asked once, before any device item is deleted; No is the default button.
bool ConfirmDelete(HWND window, UINT count)
{
    char text[512] = "";
    if (!g_module) return false;
    g_module->FormatString(IDS_CONFIRM_DELETE, text, sizeof text, count);
    return ShowMessageText(window, text, MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION | MB_TASKMODAL) == IDYES;
}

bool IsViewSettingsCommand(UINT command)
{
    return (command >= IDC_LARGE_ICONS && command <= IDC_DETAILS) || (command >= IDC_BY_NAME && command <= IDC_LINE_UP);
}

// View mode, sort order or arrangement: the commands that change only the view's settings.
void ChangeViewSettings(UINT command, ViewSettings& settings)
{
    if (command >= IDC_LARGE_ICONS && command <= IDC_DETAILS)
        settings.viewMode = FVM_ICON + (command - IDC_LARGE_ICONS);
    else if (command >= IDC_BY_NAME && command <= IDC_BY_DATE) settings.sortWord = command - IDC_BY_NAME;
    else if (command == IDC_AUTO_ARRANGE)
        settings.folderFlags = (settings.folderFlags & FWF_AUTOARRANGE) ? 0u : UINT{FWF_AUTOARRANGE};
    else if (command == IDC_LINE_UP) settings.folderFlags = FWF_SNAPTOGRID;
}

}  // namespace

HRESULT CShellFolder::RunCommand(UINT command, UINT count, const LPCITEMIDLIST* items, HWND window,
                                 ViewSettings* settings)
{
    // A command may wait for the device while Explorer lets go of the folder.
    const ComPtr<CShellFolder> held = NewRef(this);
    const WindowKind kind = KindOf(window);
    if (IsViewSettingsCommand(command) && settings) {
        ChangeViewSettings(command, *settings);
        return S_OK;
    }
    // From the background's menu, which stands in for the menu bar that
    // Explorer does not show, these act on the view.
    if (IsViewSettingsCommand(command) || command == IDC_REFRESH) return SendToView(ViewFor(this, window), command);
    switch (command) {
    case IDC_BACKUP:
    case IDC_BACKUP_ALT:
    case IDC_BACKUP_TO:
    case IDC_RESTORE:
    case IDC_RESTORE_ALT:
    case IDC_RESTORE_FROM: RunBackupCommand(command, window); return S_OK;
    case IDC_CUT:
    case IDC_COPY:
        if (kind == WindowKind::List) SetCutMarks(window, command == IDC_CUT);
        MarkTreeCut(kind == WindowKind::Tree && command == IDC_CUT ? window : nullptr);
        CopyItems(window, command == IDC_CUT ? COPY_MOVE : COPY_CLIPBOARD, count, items);
        return S_OK;
    case IDC_PASTE: PasteInto(count, items, window); return S_OK;
    case IDC_DELETE:
        if (count > 0 && items && ConfirmDelete(window, count)) DeleteItems(count, items, window);
        return S_OK;
    case IDC_OPEN:
        if (count != 1 || !items || !ItemIdIsDeviceFolder(items[0])) return S_FALSE;
        return OpenFolderItem(*this, items[0], window);
    case IDC_RENAME:
        if (count != 1 || !items) return S_FALSE;
        if (kind == WindowKind::List) {
            // The selection mark stays on an item that Select All, Invert or
            // a mask left unselected: the item is the one selected.
            SetFocus(window);
            SendMessageA(window, LVM_EDITLABELA, ListView_GetNextItem(window, -1, LVNI_SELECTED), 0);
        } else if (ComPtr<CShellView> view = ViewInside(this, window)) {
            // The command bar or the ribbon, naming Explorer's window.
            return view->SelectItem(items[0], SVSI_EDIT | SVSI_DESELECTOTHERS | SVSI_FOCUSED | SVSI_ENSUREVISIBLE);
        }
        return S_OK;
    case IDC_SELECT_ALL:
    case IDC_INVERT_SELECTION:
    case IDC_SELECT_MASK:
        if (kind != WindowKind::List) return S_OK;
        SetFocus(window);
        if (command == IDC_SELECT_ALL) SelectAll(window);
        if (command == IDC_INVERT_SELECTION) InvertSelection(window);
        if (command == IDC_SELECT_MASK) SelectByMask(window);
        return S_OK;
    case IDC_NEW_FOLDER: MakeNewFolder(*this, window); return S_OK;
    case IDM_PROPERTIES: ShowSettingsSheet(window); return S_OK;
    case IDC_HELP_TOPICS:
        if (g_module) g_module->ShowHelp(window, nullptr, HH_DISPLAY_TOPIC, 0);
        return S_OK;
    default: return S_FALSE;
    }
}

void CShellFolder::RunBackupCommand(UINT command, HWND window)
{
    const bool restore = command >= IDC_RESTORE;
    char folder[MAX_PATH] = "";
    if (command == IDC_BACKUP_TO || command == IDC_RESTORE_FROM) {
        if (!PickCommandFolder(window, restore ? IDS_PICK_RESTORE : IDS_PICK_BACKUP,
                               restore ? PickFor::Restore : PickFor::Backup, folder))
            return;
    } else if (const CReg* settings = Settings()) {
        lstrcpynA(folder, settings->m_szBackupPath, sizeof folder);
    }
    // Held for the whole job: a restore takes minutes, and the view is refreshed after it.
    const ComPtr<CShellView> view = ViewOf(this);
    HWND owner = view ? view->BrowserWindow() : window;
    const DeviceAnswer answer = DeviceAsk(
        owner,
        [&](CNotetaker& notetaker) {
            return static_cast<int>(restore ? notetaker.Restore(owner, folder) : notetaker.Backup(owner, folder));
        },
        DeviceJob::Long);
    if (answer.Failed()) {
        if (window) ShowMessageText(window, answer.words.c_str(), MB_ICONERROR | MB_TASKMODAL);
    } else if (restore && view) {
        view->Refresh();
    }
}

void CShellFolder::PasteInto(UINT count, const LPCITEMIDLIST* items, HWND window)
{
    ItemIdHolder target;
    if (count == 1 && items && ItemIdIsDeviceFolder(items[0])) {
        target.reset(ItemIdConcat(deviceList_.get(), items[0]));
        if (!target) return;
    }
    DropRequest request{};
    PasteDataObject(*this, window, target ? target.get() : deviceList_.get(), &request);
}

HRESULT CShellFolder::CopyItems(HWND window, UINT flags, UINT count, const LPCITEMIDLIST* items)
{
    if (count == 0 || !items) return E_INVALIDARG;
    ComPtr<IDataObject> data;
    // GetUIObjectOf only reads the array.
    HRESULT hr =
        GetUIObjectOf(window, count, const_cast<LPCITEMIDLIST*>(items), IID_IDataObject, nullptr, data.putVoid());
    if (FAILED(hr)) return hr;
    if (!data) return E_UNEXPECTED;
    if (flags & COPY_MOVE) SetDataDword(data.get(), g_cfPreferredDropEffect, DROPEFFECT_MOVE);
    if (flags & COPY_DRAG) return RunDrag(window, data.get());
    return OleSetClipboard(data.get());
}

HRESULT CShellFolder::DeleteItems(UINT count, const LPCITEMIDLIST* items, HWND window)
{
    if (count == 0 || !items) return E_INVALIDARG;
    HRESULT hr = S_OK;
    // One request for every item: another window's job cannot turn the
    // second item's delete busy half-way.
    const DeviceAnswer answer = DeviceAsk(window, [&](CNotetaker&) {
        for (UINT step = 0; step < count && SUCCEEDED(hr); ++step) {
            LPCITEMIDLIST item = items[step];
            SFGAOF attributes = SFGAO_CANDELETE;
            if (FAILED(GetAttributesOf(1, &item, &attributes)) || !(attributes & SFGAO_CANDELETE)) continue;
            // The device deletes empty folders only: a folder goes with
            // everything in it, deepest first.
            CItemList tree;
            if (!tree.CopyFrom(&item, 1)) hr = E_OUTOFMEMORY;
            else if (ItemIdIsFolder(item) && !ExpandDeviceFolders(*this, tree, window)) hr = E_FAIL;
            else hr = DeleteExpandedItems(*this, tree, window);
        }
        return 0;
    });
    if (answer.Failed() && window) ShowDeviceRefusal(window, answer.words.c_str());
    return answer.Failed() ? answer.Result() : hr;
}

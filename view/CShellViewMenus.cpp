// The view's menus merged into the browser's menu bar, their item states and
// help texts, the commands they send, and the context menu of the list.
#include "view/CShellView.h"

#include <windowsx.h>

#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "foundation/CReg.h"
#include "resources/resource.h"
#include "shell/CItemList.h"
#include "shell/CShellFolder.h"
#include "view/MenuUtils.h"

namespace {

constexpr UINT kViewItemsPosition = 4;
constexpr UINT kHelpItemsPosition = 1;
constexpr WPARAM kSimplePart = 255 | SBT_NOBORDERS;

bool HasHelpText(UINT id)
{
    return (id >= IDC_BACKUP && id <= IDC_RESTORE_FROM) || (id >= IDC_LARGE_ICONS && id <= IDC_LINE_UP) ||
           (id >= IDC_CUT && id <= IDC_PASTE) || id == IDC_SELECT_ALL || id == IDC_INVERT_SELECTION;
}

bool BackupPathHoldsBackup()
{
    const CReg* settings = Settings();
    if (!settings) return false;
    int layout = CNotetaker::_isRestorePath(settings->m_szBackupPath, true);
    return layout != -1 && layout != 0;
}

}  // namespace

void CShellView::MergeMenus(UINT state)
{
    RemoveMenus();
    if (!browser_ || state == SVUIA_DEACTIVATE || state == SVUIA_INPLACEACTIVATE) return;
    sharedMenu_ = CreateMenu();
    OLEMENUGROUPWIDTHS widths{};
    browser_->InsertMenusSB(sharedMenu_, &widths);
    productPopup_ = InsertResourcePopup(sharedMenu_, FCIDM_MENU_HELP, IDM_PRODUCT);
    if ((viewPopup_ = SubMenuOf(sharedMenu_, FCIDM_MENU_VIEW)))
        CopyMenuResource(viewPopup_, kViewItemsPosition, IDM_VIEW);
    if ((editPopup_ = SubMenuOf(sharedMenu_, FCIDM_MENU_EDIT))) {
        while (DeleteMenu(editPopup_, 0, MF_BYPOSITION)) {
        }
        CopyMenuResource(editPopup_, 0, IDM_EDIT);
    }
    if ((helpPopup_ = SubMenuOf(sharedMenu_, FCIDM_MENU_HELP)))
        CopyMenuResource(helpPopup_, kHelpItemsPosition, IDM_HELP);
    browser_->SetMenuSB(sharedMenu_, nullptr, window_);
}

void CShellView::RemoveMenus()
{
    if (!sharedMenu_) return;
    if (browser_) {
        browser_->SetMenuSB(nullptr, nullptr, nullptr);
        browser_->RemoveMenusSB(sharedMenu_);
    }
    // The product popup is ours; the browser's popups left with RemoveMenusSB.
    if (productPopup_) {
        for (int index = GetMenuItemCount(sharedMenu_) - 1; index >= 0; --index)
            if (GetSubMenu(sharedMenu_, index) == productPopup_) RemoveMenu(sharedMenu_, index, MF_BYPOSITION);
        DestroyMenu(productPopup_);
    }
    DestroyMenu(sharedMenu_);
    sharedMenu_ = viewPopup_ = editPopup_ = productPopup_ = helpPopup_ = nullptr;
}

LRESULT CShellView::OnCommand(UINT command)
{
    // A command may wait for the device while Explorer releases this view.
    const ComPtr<CShellView> held = NewRef(this);
    HRESULT hr = S_FALSE;
    if (command == IDC_REFRESH) return Refresh() < 0 ? 1 : 0;
    if ((command >= IDC_LARGE_ICONS && command <= IDC_DETAILS) || (command >= IDC_BY_NAME && command <= IDC_LINE_UP)) {
        ViewSettings settings{viewMode_, folderFlags_, sortWord_};
        hr = folder_->RunCommand(command, 0, nullptr, list_, &settings);
        if (hr < 0) return 1;
        viewMode_ = settings.viewMode;
        folderFlags_ = settings.folderFlags;
        sortWord_ = settings.sortWord;
        ReapplyStyles();
        SortList();
    } else if (command >= IDC_CUT && command <= IDC_RENAME) {
        CItemList chosen;
        if (!CopySelection(chosen)) return 1;
        hr = folder_->RunCommand(command, chosen.Count(), chosen.Items(), list_, nullptr);
    } else if ((command >= IDC_BACKUP && command <= IDC_RESTORE_FROM) ||
               (command >= IDC_SELECT_ALL && command <= IDC_SELECT_MASK) || command == IDC_NEW_FOLDER ||
               command == IDM_PROPERTIES || command == IDC_HELP_TOPICS) {
        hr = folder_->RunCommand(command, 0, nullptr, list_, nullptr);
    }
    return hr < 0 ? 1 : 0;
}

void CShellView::OnInitMenuPopup(HMENU popup)
{
    if (!popup) return;
    if (popup == viewPopup_) {
        bool known = viewMode_ >= FVM_ICON && viewMode_ <= FVM_DETAILS;
        for (UINT id = IDC_LARGE_ICONS; id <= IDC_DETAILS; ++id) CheckMenuItem(popup, id, MF_BYCOMMAND | MF_UNCHECKED);
        if (known)
            CheckMenuRadioItem(popup, IDC_LARGE_ICONS, IDC_DETAILS, IDC_LARGE_ICONS + viewMode_ - FVM_ICON,
                               MF_BYCOMMAND);
        CheckMenuItem(popup, IDC_AUTO_ARRANGE,
                      MF_BYCOMMAND | ((folderFlags_ & FWF_AUTOARRANGE) ? MF_CHECKED : MF_UNCHECKED));
    } else if (popup == editPopup_) {
        const LRESULT selected = list_ ? SendMessageA(list_, LVM_GETSELECTEDCOUNT, 0, 0) : 0;
        SetEnabled(popup, IDC_PASTE, ClipboardHoldsFiles());
        // Delete and Rename greyed with nothing to act on, as in the context menu.
        for (UINT id : {IDC_CUT, IDC_COPY, IDC_DELETE}) SetEnabled(popup, id, selected > 0);
        SetEnabled(popup, IDC_RENAME, selected == 1);
        for (UINT id : {IDC_SELECT_ALL, IDC_INVERT_SELECTION, IDC_SELECT_MASK}) SetEnabled(popup, id, true);
    } else if (popup == productPopup_) {
        SetEnabled(popup, IDC_RESTORE, BackupPathHoldsBackup());
        for (UINT id : {IDC_BACKUP, IDC_BACKUP_TO, IDC_RESTORE_FROM}) SetEnabled(popup, id, true);
    }
}

LRESULT CShellView::OnMenuSelect(UINT id, UINT flags, HMENU menu)
{
    LRESULT result = 0;
    if (!menu && flags == 0xFFFF) {
        if (browser_) {
            browser_->SendControlMsg(FCW_STATUS, SB_SETTEXTA, kSimplePart, reinterpret_cast<LPARAM>(""), &result);
            browser_->SendControlMsg(FCW_STATUS, SB_SIMPLE, FALSE, 0, &result);
        }
        return 1;
    }
    if (flags & (MF_SEPARATOR | MF_SYSMENU)) return 0;
    if ((flags & MF_POPUP) || !HasHelpText(id) || !browser_) return 1;
    char text[MAX_PATH] = "";
    LoadResourceText(id, text, sizeof text);
    browser_->SendControlMsg(FCW_STATUS, SB_SETTEXTA, kSimplePart, reinterpret_cast<LPARAM>(text), &result);
    browser_->SendControlMsg(FCW_STATUS, SB_SIMPLE, TRUE, 0, &result);
    return 0;
}

std::vector<LPCITEMIDLIST> CShellView::SelectedItems() const
{
    std::vector<LPCITEMIDLIST> items;
    if (!list_) return items;
    for (int index = ListView_GetNextItem(list_, -1, LVNI_SELECTED); index >= 0;
         index = ListView_GetNextItem(list_, index, LVNI_SELECTED))
        if (LPCITEMIDLIST item = ItemAt(index)) items.push_back(item);
    return items;
}

bool CShellView::CopySelection(CItemList& chosen) const
{
    const std::vector<LPCITEMIDLIST> selected = SelectedItems();
    return selected.empty() || chosen.CopyFrom(selected.data(), static_cast<UINT>(selected.size()));
}

std::vector<LPCITEMIDLIST> CShellView::AllItems() const
{
    std::vector<LPCITEMIDLIST> items;
    int count = list_ ? static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0)) : 0;
    for (int index = 0; index < count; ++index)
        if (LPCITEMIDLIST item = ItemAt(index)) items.push_back(item);
    return items;
}

void CShellView::OnContextMenu(LPARAM position)
{
    if (uiState_ == SVUIA_ACTIVATE_NOFOCUS || !list_) return;
    POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (point.x == -1 && point.y == -1) {
        // From the keyboard: at the first selected item, or the list's corner.
        point = POINT{0, 0};
        RECT icon{};
        icon.left = LVIR_ICON;
        int first = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
        if (first >= 0 && SendMessageA(list_, LVM_GETITEMRECT, first, reinterpret_cast<LPARAM>(&icon)))
            point = POINT{(icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2};
        ClientToScreen(list_, &point);
    }
    std::vector<LPCITEMIDLIST> items = SelectedItems();
    ComPtr<IContextMenu> menu;
    if (FAILED(folder_->GetUIObjectOf(browserWindow_, static_cast<UINT>(items.size()), items.data(), IID_IContextMenu,
                                      nullptr, menu.putVoid())) ||
        !menu)
        return;
    HMENU popup = CreatePopupMenu();
    if (SUCCEEDED(menu->QueryContextMenu(popup, 0, 0, 0xFFFF, CMF_NORMAL))) {
        SetForegroundWindow(window_);
        UINT chosen = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_LEFTALIGN, point.x, point.y, 0, window_, nullptr);
        if (chosen) {
            CMINVOKECOMMANDINFO info{};
            info.cbSize = sizeof info;
            info.hwnd = list_;
            info.lpVerb = MAKEINTRESOURCEA(chosen);
            menu->InvokeCommand(&info);
        }
    }
    DestroyMenu(popup);
}

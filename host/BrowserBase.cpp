#include "host/BrowserBase.h"

STDMETHODIMP BrowserBase::InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths)
{
    if (!shared) return E_INVALIDARG;
    UINT next = firstItem_;
    for (const BrowserPopup& browserPopup : popups_) {
        HMENU popup = CreatePopupMenu();
        for (const char* item : browserPopup.items)
            AppendMenuA(popup, *item ? MF_STRING : MF_SEPARATOR, *item ? next++ : 0, item);
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.wID = browserPopup.id;
        info.hSubMenu = popup;
        info.dwTypeData = const_cast<char*>(browserPopup.title);
        InsertMenuItemA(shared, GetMenuItemCount(shared), TRUE, &info);
    }
    // File; Edit and View for the container; Help.
    if (widths) {
        const LONG groups[6] = {1, 1, 1, 0, 0, 1};
        for (int i = 0; i < 6; ++i) widths->width[i] = groups[i];
    }
    return S_OK;
}

STDMETHODIMP BrowserBase::RemoveMenusSB(HMENU shared)
{
    if (!shared) return E_INVALIDARG;
    for (const BrowserPopup& browserPopup : popups_) DeleteMenu(shared, browserPopup.id, MF_BYCOMMAND);
    return S_OK;
}

std::string BrowserBase::MenuText(HMENU menu, int index)
{
    char text[MAX_PATH] = "";
    GetMenuStringA(menu, index, text, sizeof text, MF_BYPOSITION);
    return text;
}

std::vector<std::string> BrowserBase::RecordMenuBar(HMENU bar, HWND target)
{
    std::vector<std::string> lines;
    for (int index = 0; bar && index < GetMenuItemCount(bar); ++index) {
        lines.push_back(MenuText(bar, index));
        RecordPopup(GetSubMenu(bar, index), target, "  ", lines);
    }
    return lines;
}

void BrowserBase::RecordPopup(HMENU popup, HWND target, const std::string& indent, std::vector<std::string>& lines)
{
    if (!popup) return;
    SendMessageA(target, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    for (int index = 0; index < GetMenuItemCount(popup); ++index) {
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
        GetMenuItemInfoA(popup, index, TRUE, &info);
        if (info.fType & MFT_SEPARATOR) {
            lines.push_back(indent + "-");
            continue;
        }
        std::string line = indent + (info.hSubMenu ? "" : std::to_string(info.wID) + " ") + MenuText(popup, index);
        if (info.fState & MFS_GRAYED) line += " [greyed]";
        if (info.fState & MFS_CHECKED) line += " [checked]";
        if (!info.hSubMenu) {
            TakeMenuHelp();
            SendMessageA(target, WM_MENUSELECT, MAKEWPARAM(info.wID, 0), reinterpret_cast<LPARAM>(popup));
            std::string help = TakeMenuHelp();
            if (!help.empty()) line += " | " + help;
        }
        lines.push_back(line);
        if (info.hSubMenu) RecordPopup(info.hSubMenu, target, indent + "  ", lines);
    }
}

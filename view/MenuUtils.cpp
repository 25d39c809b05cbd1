#include "view/MenuUtils.h"

#include <ole2.h>

#include "devicelink/ResourceText.h"
#include "foundation/ScopedHandle.h"
#include "shell/ComBase.h"

namespace {

// Copies `from`'s items into `to` before `position`, submenus copied alike;
// raises `highestId` to the highest command id copied.
UINT CopyItems(HMENU from, HMENU to, UINT position, UINT& highestId)
{
    UINT copied = 0;
    int count = GetMenuItemCount(from);
    for (int index = 0; index < count; ++index) {
        char text[MAX_PATH] = "";
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = sizeof text;
        if (!GetMenuItemInfoA(from, index, TRUE, &item)) continue;
        if (item.hSubMenu) {
            // A popup has no command of its own.
            item.fMask &= ~MIIM_ID;
            HMENU copy = CreatePopupMenu();
            CopyItems(item.hSubMenu, copy, 0, highestId);
            item.hSubMenu = copy;
        } else if (!(item.fType & MFT_SEPARATOR) && item.wID > highestId) {
            highestId = item.wID;
        }
        if (!InsertMenuItemA(to, position + copied, TRUE, &item)) {
            if (item.hSubMenu) DestroyMenu(item.hSubMenu);
            continue;
        }
        ++copied;
    }
    return copied;
}

bool FindText(HMENU menu, UINT id, char* buffer, int size)
{
    if (GetMenuStringA(menu, id, buffer, size, MF_BYCOMMAND) > 0) return true;
    for (int index = 0, count = GetMenuItemCount(menu); index < count; ++index) {
        HMENU sub = GetSubMenu(menu, index);
        if (sub && FindText(sub, id, buffer, size)) return true;
    }
    return false;
}

HMENU LoadMenuResource(UINT id) { return LoadMenuA(OwnModule(), MAKEINTRESOURCEA(id)); }

}  // namespace

UINT CopyMenuResource(HMENU menu, UINT position, UINT resourceId, UINT* highestId)
{
    ScopedMenu source(LoadMenuResource(resourceId));
    UINT highest = highestId ? *highestId : 0;
    UINT copied = source.get() ? CopyItems(source.get(), menu, position, highest) : 0;
    if (highestId) *highestId = highest;
    return copied;
}

HMENU InsertResourcePopup(HMENU menu, UINT beforeCommand, UINT resourceId)
{
    ScopedMenu source(LoadMenuResource(resourceId));
    char title[MAX_PATH] = "";
    HMENU items = source.get() ? GetSubMenu(source.get(), 0) : nullptr;
    if (!items || GetMenuStringA(source.get(), 0, title, sizeof title, MF_BYPOSITION) <= 0) return nullptr;
    HMENU popup = CreatePopupMenu();
    UINT highest = 0;
    CopyItems(items, popup, 0, highest);
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_SUBMENU | MIIM_STRING;
    item.hSubMenu = popup;
    item.dwTypeData = title;
    if (InsertMenuItemA(menu, beforeCommand, FALSE, &item)) return popup;
    DestroyMenu(popup);
    return nullptr;
}

bool InsertSeparator(HMENU menu, UINT position)
{
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE;
    item.fType = MFT_SEPARATOR;
    return InsertMenuItemA(menu, position, TRUE, &item) != FALSE;
}

bool MenuResourceText(UINT resourceId, UINT id, char* buffer, int size)
{
    if (size > 0) buffer[0] = '\0';
    ScopedMenu source(LoadMenuResource(resourceId));
    return source.get() && FindText(source.get(), id, buffer, size);
}

void SetEnabled(HMENU menu, UINT id, bool enable)
{
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

HMENU SubMenuOf(HMENU menu, UINT id)
{
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_SUBMENU;
    return GetMenuItemInfoA(menu, id, FALSE, &item) ? item.hSubMenu : nullptr;
}

// Asked after every change of the selection: OleGetClipboard would call the
// clipboard's owner, which may hang; the formats on offer are known without it.
bool ClipboardHoldsFiles() { return IsClipboardFormatAvailable(CF_HDROP) != FALSE; }

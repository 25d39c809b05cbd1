#pragma once
// Menu resources of the module copied into live menus: the browser's shared
// menu bar and the context menu.
#include <windows.h>

// Copies every item of menu resource `resourceId` (popups with copies of
// their submenus) into `menu` before `position`. The number of items
// copied; `highestId`, when given, is raised to the highest command id
// copied, submenus included.
UINT CopyMenuResource(HMENU menu, UINT position, UINT resourceId, UINT* highestId = nullptr);

// Inserts a popup made from the first item of menu resource `resourceId`
// before the item with command `beforeCommand`. The new submenu, or null.
HMENU InsertResourcePopup(HMENU menu, UINT beforeCommand, UINT resourceId);

bool InsertSeparator(HMENU menu, UINT position);

// The text of item `id` of menu resource `resourceId`, searched through its
// popups; false (and empty) when the item is not there.
bool MenuResourceText(UINT resourceId, UINT id, char* buffer, int size);

// Enables or greys item `id`.
void SetEnabled(HMENU menu, UINT id, bool enable);

// The submenu of the item with command `id` (the browser's FCIDM_MENU_*).
HMENU SubMenuOf(HMENU menu, UINT id);

// Whether the clipboard holds files that paste can take (CF_HDROP).
bool ClipboardHoldsFiles();

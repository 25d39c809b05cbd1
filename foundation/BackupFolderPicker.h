#pragma once
// The folder picker behind the Paths page's "Move..." button.
#include <windows.h>

// Lets the user choose an existing folder that a backup may go into,
// starting at `start`. True, with the folder in `chosen` (MAX_PATH), on OK.
bool PickBackupFolder(HWND owner, const char* start, char* chosen);

// Names the picker's folder tree after the picker's title, for a screen
// reader: the tree has no label of its own that names it.
void NameFolderTree(HWND picker, const char* title);

#pragma once
// The "Enter File Mask" dialog of Select by Mask, over the settings' mask
// history.
#include <windows.h>

// True with the entered mask in `mask` (MAX_PATH characters); false when
// cancelled or left empty. A mask taken goes to the front of the history.
bool RunMaskDialog(HWND owner, char* mask);

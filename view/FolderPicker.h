#pragma once
// The shell's folder browser for Backup To and Restore From.
#include <windows.h>

enum class PickFor { Backup, Restore };

// True with a folder (MAX_PATH characters) that passes the backup or
// restore test; a folder that fails is reported to the user, a cancelled
// picker ends silently.
bool PickCommandFolder(HWND owner, UINT titleId, PickFor mode, char* folder);

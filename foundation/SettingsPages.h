#pragma once
// The four pages of the settings sheet: which page a dialog is, and how each
// shows the settings object's values and stores them back.
#include <windows.h>

enum SettingsPage { kPageConnection, kPagePaths, kPageLog, kPageAdvanced, kPageCount, kPageNone = -1 };

// Found from the controls the page holds.
SettingsPage IdentifyPage(HWND page);
void LoadPage(HWND page, SettingsPage which);
// Stores the page's values into the settings object and saves all settings;
// false (nothing stored) when the page holds nothing that can be stored.
bool StorePage(HWND page, SettingsPage which);
// The log's parameter controls are enabled only while "Enable Log" is checked.
void UpdateLogControls(HWND page);

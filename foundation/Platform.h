#pragma once
// Facts about the system the module runs on.

// True when running under Wine, whose serial driver lacks a few calls on
// pseudo-terminals (see devicelink/ComApi.cpp) and whose folder picker does
// not check a typed name (see BackupFolderPicker.cpp).
bool RunningUnderWine();

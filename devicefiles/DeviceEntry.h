#pragma once
// One entry of a device folder listing, and one row of a transfer list.
#include <windows.h>

#include <string>

struct DeviceEntry {
    enum Type { TYPE_FILE = 1, TYPE_FOLDER_R = 2, TYPE_FOLDER_F = 3, TYPE_SPECIAL = 4 };
    // Transfer list: a row left out on purpose (a special entry a backup
    // cannot copy), named afterwards with the rows that failed.
    static constexpr int ROW_SKIPPED = 2;
    // Transfer list: a folder of F: left out because R: has a folder of the
    // same name at its root, which the cable cannot tell apart from it.
    static constexpr int ROW_NAMESAKE = 3;

    std::string sName;    // listing: name (folders with their drive); transfer: device path
    std::string sPcName;  // transfer: PC path
    int nType = 0;        // listing: type code; transfer: row status
    DWORD nSize = 0;
    SYSTEMTIME stTime{};
};

// Shell attributes standing for an entry type, and back.
DWORD EntryAttributes(int type);
int EntryTypeOf(DWORD attributes);

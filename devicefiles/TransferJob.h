#pragma once
// What the note-taker object keeps while a transfer job runs.
#include <windows.h>

#include <functional>

#include "devicefiles/DeviceEntry.h"
#include "foundation/ScopedHandle.h"

struct TransferJob {
    HWND dialog = nullptr;  // the progress dialog, while it is up
    UINT_PTR timer = 0;
    int mode = 0;                  // DCMD_TX or DCMD_RX
    ScopedKernelHandle ready;      // set once the dialog is up, or has failed to come up
    ScopedKernelHandle rowsEnded;  // set by the device thread after the last row
    // Cancel was pressed. The engine forgets a request when it starts a file,
    // so one pressed while a command was going out is asked again from here.
    volatile LONG cancelled = 0;
    // Told each byte-count line as the dialog shows it (the console front end).
    void (*observer)(const char* line) = nullptr;
    // Told each row that arrived, on the worker; it may still fail the row (a backup).
    std::function<void(DeviceEntry& row)> rowDone;
    // Send mode: block 0 names each file by its device path, not by its PC name (a restore from an index).
    bool deviceNames = false;
};

// The dialog's lines as the worker writes them, and what it has shown.
struct ProgressLines {
    HWND control[4] = {};  // source, destination, bar, byte count
    int lastPacket = -1;
    DWORD total = 0;
};

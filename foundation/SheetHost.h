#pragma once
// What the settings sheet and the backup folder picker need from the layers
// above foundation/: the module's message boxes and help, and the note-taker's
// backup rules. The module registers itself when it starts and takes itself
// back when it goes; with none registered the sheet shows no message or help
// and the picker accepts no folder.
#include <windows.h>

class SheetHost {
public:
    // text: a string, or a string id below 0x10000.
    virtual void SheetMessage(HWND owner, const char* textOrId, UINT style) = 0;
    // topic: a string id naming a topic of the help file.
    virtual void SheetHelp(HWND owner, const char* topic, UINT command) = 0;
    // Whether the note-taker's backup rules take `folder` as a backup folder.
    virtual bool IsBackupFolder(const char* folder) = 0;

protected:
    ~SheetHost() = default;
};

// null takes the registration back.
void RegisterSheetHost(SheetHost* host);
SheetHost* RegisteredSheetHost();

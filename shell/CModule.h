#pragma once
// The process-wide module object: resources, the shell allocator, version,
// help and message boxes.
#include <windows.h>
#include <objidl.h>

#include "foundation/SheetHost.h"
#include "shell/HtmlHelpLibrary.h"

// While it lives, the module answers the settings sheet's SheetHost.
class CModule : private SheetHost {
public:
    CModule(HINSTANCE instance, UINT acceleratorsId, const HtmlHelpLoader& help = HtmlHelpLibrary::kSystem);
    virtual ~CModule();
    CModule(const CModule&) = delete;
    CModule& operator=(const CModule&) = delete;

    // False when the common controls or the shell allocator could not be had.
    bool Ready() const { return ready_; }

    int LoadString(UINT id, char* buffer, int size) const;
    // Formats string `id` as printf format; nothing happens when it is missing.
    void FormatString(UINT id, char* buffer, int size, ...) const;
    // text: a string, or a string id below 0x10000. -1 when there is no text.
    int ShowMessage(HWND owner, const char* text, UINT style) const;
    // The module's folder followed by the help file name; null when unknown.
    const char* GetHelpFile();
    // topic: none, a string, or a string id. The help window, or 0.
    HWND ShowHelp(HWND owner, const char* topic, UINT command, DWORD_PTR data);
    // Before the module is unloaded: closes help windows, frees the library.
    void FreeHelpLibrary() { helpLibrary_.Free(); }

    HINSTANCE Instance() const { return instance_; }
    IMalloc* Allocator() const { return allocator_; }
    HACCEL Accelerators() const { return accelerators_; }
    DWORD PlatformId() const { return platformId_; }
    const char* ModulePath() const { return modulePath_; }

private:
    IMalloc* allocator_ = nullptr;
    HINSTANCE instance_;
    HACCEL accelerators_ = nullptr;
    DWORD majorVersion_ = 0, minorVersion_ = 0, platformId_ = 0;
    char modulePath_[MAX_PATH] = "";
    char helpFile_[MAX_PATH] = "";
    HtmlHelpLibrary helpLibrary_;
    bool ready_ = false;

    void SheetMessage(HWND owner, const char* textOrId, UINT style) override { ShowMessage(owner, textOrId, style); }
    void SheetHelp(HWND owner, const char* topic, UINT command) override { ShowHelp(owner, topic, command, 0); }
    bool IsBackupFolder(const char* folder) override;
};

// Set by the first entry point that needs it; gone when the module may unload.
extern CModule* g_module;

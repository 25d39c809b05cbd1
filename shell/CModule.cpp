#include "shell/CModule.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "resources/resource.h"
#include "shell/ClipFormats.h"

CModule* g_module = nullptr;

namespace {

// Paste and drop take file lists only.
const FORMATETC kPasteFormats[] = {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};

}  // namespace

CModule::CModule(HINSTANCE instance, UINT acceleratorsId, const HtmlHelpLoader& help)
    : instance_(instance), helpLibrary_(help)
{
    OSVERSIONINFOA version{sizeof version};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExA(&version)) {
#pragma GCC diagnostic pop
        majorVersion_ = version.dwMajorVersion;
        minorVersion_ = version.dwMinorVersion;
        platformId_ = version.dwPlatformId;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
    bool controlsReady = InitCommonControlsEx(&controls) != FALSE;
    bool allocatorReady = SUCCEEDED(SHGetMalloc(&allocator_));
    GetModuleFileNameA(instance_, modulePath_, sizeof modulePath_);
    accelerators_ = LoadAcceleratorsA(instance_, MAKEINTRESOURCEA(acceleratorsId));
    SetPasteFormats(kPasteFormats, ARRAYSIZE(kPasteFormats));
    ready_ = controlsReady && allocatorReady;
    RegisterSheetHost(this);
}

CModule::~CModule()
{
    if (RegisteredSheetHost() == this) RegisterSheetHost(nullptr);
    SetPasteFormats(nullptr, 0);
    if (allocator_) allocator_->Release();
}

int CModule::LoadString(UINT id, char* buffer, int size) const { return ::LoadStringA(instance_, id, buffer, size); }

void CModule::FormatString(UINT id, char* buffer, int size, ...) const
{
    char format[1024];
    if (size <= 0 || LoadString(id, format, sizeof format) <= 0) return;
    va_list arguments;
    va_start(arguments, size);
    vsnprintf(buffer, size, format, arguments);
    va_end(arguments);
}

int CModule::ShowMessage(HWND owner, const char* text, UINT style) const
{
    char loaded[1024];
    if (!text) return -1;
    if (IS_INTRESOURCE(text)) {
        if (LoadString(static_cast<UINT>(reinterpret_cast<UINT_PTR>(text)), loaded, sizeof loaded) <= 0) return -1;
        text = loaded;
    }
    return ShowMessageText(owner ? owner : GetActiveWindow(), text, style);
}

const char* CModule::GetHelpFile()
{
    if (helpFile_[0]) return helpFile_;
    const char* slash = strrchr(modulePath_, '\\');
    if (!slash) return nullptr;
    size_t folder = slash + 1 - modulePath_;
    memcpy(helpFile_, modulePath_, folder);
    helpFile_[folder] = '\0';
    LoadString(IDS_HELPFILE, helpFile_ + folder, static_cast<int>(sizeof helpFile_ - folder));
    return helpFile_;
}

HWND CModule::ShowHelp(HWND owner, const char* topic, UINT command, DWORD_PTR data)
{
    const char* file = GetHelpFile();
    if (!file) return nullptr;
    char path[MAX_PATH];
    lstrcpynA(path, file, sizeof path);
    size_t length = strlen(path);
    if (IS_INTRESOURCE(topic) && topic)
        LoadString(static_cast<UINT>(reinterpret_cast<UINT_PTR>(topic)), path + length,
                   static_cast<int>(sizeof path - length));
    else if (topic) lstrcpynA(path + length, topic, static_cast<int>(sizeof path - length));
    HtmlHelpFunction htmlHelp = helpLibrary_.Function();
    return htmlHelp ? htmlHelp(owner, path, command, data) : nullptr;
}

bool CModule::IsBackupFolder(const char* folder) { return CNotetaker::_isBackupPath(folder, true); }

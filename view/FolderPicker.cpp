#include "view/FolderPicker.h"

#include <shlobj.h>

#include "devicefiles/UserMessage.h"
#include "devicelink/CNotetaker.h"
#include "devicelink/ResourceText.h"
#include "foundation/BackupFolderPicker.h"
#include "resources/resource.h"
#include "shell/ShellIdList.h"

namespace {

constexpr UINT kErrorBoxFlags = MB_ICONERROR | MB_TASKMODAL;

void ShowInvalidPath(HWND owner)
{
    char text[MAX_PATH];
    LoadResourceText(IDS_ERR_INVALIDPATH, text, sizeof text);
    ShowMessageText(owner, text, kErrorBoxFlags);
}

int CALLBACK PickerCallback(HWND picker, UINT message, LPARAM, LPARAM title)
{
    if (message == BFFM_INITIALIZED) {
        NameFolderTree(picker, reinterpret_cast<const char*>(title));
        char documents[MAX_PATH];
        if (SHGetSpecialFolderPathA(picker, documents, CSIDL_PERSONAL, FALSE))
            SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(documents));
    } else if (message == BFFM_VALIDATEFAILEDA) {
        ShowInvalidPath(picker);
        return 1;  // stay open
    }
    return 0;
}

bool PassesTest(const char* folder, PickFor mode)
{
    if (mode == PickFor::Backup) return CNotetaker::_isBackupPath(folder, true);
    int layout = CNotetaker::_isRestorePath(folder, true);
    return layout != -1 && layout != 0;
}

}  // namespace

bool PickCommandFolder(HWND owner, UINT titleId, PickFor mode, char* folder)
{
    char title[MAX_PATH];
    LoadResourceText(titleId, title, sizeof title);
    BROWSEINFOA browse{};
    browse.hwndOwner = owner;
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;
    browse.lpfn = PickerCallback;
    browse.lParam = reinterpret_cast<LPARAM>(title);
    ShellIdList chosen(SHBrowseForFolderA(&browse));
    if (!chosen) return false;
    bool found = SHGetPathFromIDListA(chosen.get(), folder) != FALSE;
    if (found && PassesTest(folder, mode)) return true;
    ShowInvalidPath(owner);
    return false;
}

#include "foundation/BackupFolderPicker.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "foundation/Platform.h"
#include "foundation/ResourceText.h"
#include "foundation/ScopedHandle.h"
#include "foundation/SheetHost.h"
#include "resources/resource.h"

namespace {

// The picker's selection as a file-system path; empty when it has none.
char g_selected[MAX_PATH];
// Where the picker does not resolve typed names: the folder named when OK was pressed.
char g_typed[MAX_PATH];

void ShowInvalidPath(HWND picker)
{
    SheetHost* host = RegisteredSheetHost();
    if (host) host->SheetMessage(picker, MAKEINTRESOURCEA(IDS_ERR_INVALIDPATH), MB_ICONHAND | MB_TASKMODAL);
}

bool UsableBackupFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    SheetHost* host = RegisteredSheetHost();
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) && host &&
           host->IsBackupFolder(path);
}

// The folder the picker's edit box names: the selection under its own name,
// a path, or a name below the selection. False when it names no usable folder.
bool TypedFolder(HWND picker, char* folder)
{
    char typed[MAX_PATH] = "";
    HWND edit = FindWindowExA(picker, nullptr, "Edit", nullptr);
    if (edit) GetWindowTextA(edit, typed, sizeof typed);
    SHFILEINFOA selection{};
    const bool selectionNamed =
        !typed[0] || (g_selected[0] && SHGetFileInfoA(g_selected, 0, &selection, sizeof selection, SHGFI_DISPLAYNAME) &&
                      lstrcmpiA(selection.szDisplayName, typed) == 0);
    if (selectionNamed) {
        lstrcpynA(folder, g_selected, MAX_PATH);
    } else if (!PathIsRelativeA(typed)) {
        lstrcpynA(folder, typed, MAX_PATH);
    } else if (!g_selected[0] || !PathCombineA(folder, g_selected, typed)) {
        return false;
    }
    PathRemoveBackslashA(folder);
    return folder[0] && UsableBackupFolder(folder);
}

// Wine's picker returns its selection whatever name was typed into the edit
// box, and never reports a name it cannot use. There the typed name is
// checked when OK is pressed: a usable folder is the answer (its tree cannot
// select every folder, hidden ones among them), and anything else is refused
// with the message the platform's own check brings.
LRESULT CALLBACK CheckTypedName(HWND picker, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        if (!TypedFolder(picker, g_typed)) {
            g_typed[0] = '\0';
            ShowInvalidPath(picker);
            return 0;
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(picker, CheckTypedName, 0);
    }
    return DefSubclassProc(picker, message, wParam, lParam);
}

int CALLBACK PickerEvent(HWND picker, UINT event, LPARAM data, LPARAM start)
{
    switch (event) {
    case BFFM_INITIALIZED: {
        if (RunningUnderWine()) SetWindowSubclass(picker, CheckTypedName, 0, 0);
        SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, start);
        char title[MAX_PATH] = "";
        LoadResourceText(IDS_PICK_BACKUP, title, sizeof title);
        NameFolderTree(picker, title);
        break;
    }
    case BFFM_SELCHANGED:
        if (!SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(data), g_selected)) g_selected[0] = '\0';
        SendMessageA(picker, BFFM_ENABLEOK, 0, g_selected[0] && UsableBackupFolder(g_selected));
        break;
    case BFFM_VALIDATEFAILEDA: ShowInvalidPath(picker); return 1;  // stay open
    default: break;
    }
    return 0;
}

BOOL CALLBACK NameTree(HWND window, LPARAM title)
{
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpiA(name, WC_TREEVIEWA) != 0) return TRUE;
    SetWindowTextA(window, reinterpret_cast<const char*>(title));
    return FALSE;
}

}  // namespace

void NameFolderTree(HWND picker, const char* title)
{
    EnumChildWindows(picker, NameTree, reinterpret_cast<LPARAM>(title));
}

bool PickBackupFolder(HWND owner, const char* start, char* chosen)
{
    char title[MAX_PATH] = "";
    LoadResourceText(IDS_PICK_BACKUP, title, sizeof title);
    char name[MAX_PATH] = "";
    BROWSEINFOA browse{};
    browse.hwndOwner = owner;
    browse.pszDisplayName = name;
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;
    browse.lpfn = PickerEvent;
    browse.lParam = reinterpret_cast<LPARAM>(start);
    g_selected[0] = g_typed[0] = '\0';
    ScopedTaskMemory<PIDLIST_ABSOLUTE> picked(SHBrowseForFolderA(&browse));
    if (!picked) return false;
    if (g_typed[0]) {
        lstrcpynA(chosen, g_typed, MAX_PATH);
        return true;
    }
    return SHGetPathFromIDListA(picked.get(), chosen) != FALSE;
}

// The host's record: the menu bar as the view left it (BrowserBase), the
// toolbar buttons and the status bar texts.
#include "host/HostBrowser.h"

#include <shlwapi.h>

#include <string>

#include "foundation/ScopedHandle.h"

namespace {

void RecordToolbar(HWND toolbar, std::string& out)
{
    int count = static_cast<int>(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        TBBUTTON button{};
        SendMessageA(toolbar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button));
        if (button.fsStyle & BTNS_SEP) {
            out += "  ----\n";
            continue;
        }
        out += "  [" + std::to_string(button.idCommand) + "] bitmap " + std::to_string(button.iBitmap) +
               ((button.fsState & TBSTATE_ENABLED) ? " enabled\n" : " disabled\n");
    }
}

void RecordStatus(HWND status, std::string& out)
{
    int parts = static_cast<int>(SendMessageA(status, SB_GETPARTS, 0, 0));
    for (int part = 0; part < parts; ++part) {
        char text[512] = "";
        if (LOWORD(SendMessageA(status, SB_GETTEXTLENGTHA, part, 0)) < sizeof text)
            SendMessageA(status, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
        out += "  " + std::to_string(part) + ": " + text + "\n";
    }
}

}  // namespace

// What Explorer's details pane reads of the view.
std::string HostBrowser::FolderViewLine() const
{
    ComPtr<IFolderView> folderView;
    int items = -1, selected = -1;
    UINT mode = 0;
    if (!view_ || FAILED(view_->QueryInterface(IID_IFolderView, folderView.putVoid()))) return "view: no IFolderView";
    folderView->GetCurrentViewMode(&mode);
    folderView->ItemCount(SVGIO_ALLVIEW, &items);
    folderView->ItemCount(SVGIO_SELECTION, &selected);
    return "view: mode " + std::to_string(mode) + ", " + std::to_string(items) + " items, " + std::to_string(selected) +
           " selected";
}

// The item whose focused state a screen reader speaks.
std::string HostBrowser::FocusedItemLine() const
{
    ComPtr<IFolderView> folderView;
    int index = -1;
    ScopedTaskMemory<PITEMID_CHILD> item;
    if (!view_ || FAILED(view_->QueryInterface(IID_IFolderView, folderView.putVoid())) ||
        folderView->GetFocusedItem(&index) != S_OK || FAILED(folderView->Item(index, item.put())))
        return "focused item: none";
    ComPtr<IShellFolder> folder;
    STRRET name{};
    char text[MAX_PATH] = "";
    if (SUCCEEDED(folderView->GetFolder(IID_IShellFolder, folder.putVoid())) &&
        SUCCEEDED(folder->GetDisplayNameOf(item.get(), SHGDN_INFOLDER, &name)))
        StrRetToBufA(&name, item.get(), text, sizeof text);
    return "focused item: " + std::to_string(index) + " " + text;
}

std::string HostBrowser::Record()
{
    char title[MAX_PATH] = "";
    GetWindowTextA(frame_, title, sizeof title);
    std::string out = std::string("title: ") + title + "\nstatus:\n";
    RecordStatus(status_, out);
    out += "toolbar:\n";
    RecordToolbar(toolbar_, out);
    out += "menus:\n";
    for (const std::string& line : RecordMenuBar(GetMenu(frame_), menuTarget_)) out += "  " + line + "\n";
    // The menus are closed again, as after the user's look at them.
    if (menuTarget_) SendMessageA(menuTarget_, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    SendMessageA(status_, SB_SIMPLE, FALSE, 0);
    out += "focus:\n";
    for (const std::string& line : focusNotes_) out += "  " + line + "\n";
    out += "  " + FocusedItemLine() + "\n";
    if (windowsMode_) {
        out += "windows:\n  " + FolderViewLine() + "\n";
        for (const std::string& line : events_) out += "  " + line + "\n";
    }
    return out;
}

// What a screen reader reads of the view and dialogs through oleacc: whatever takes the focus has a name and role.
// Wine's oleacc names a combo box by its own text, a list box not at all, and offers no list items: read as oleacc
// on Windows does.
#include <oleacc.h>
#include <prsht.h>

#include <algorithm>

#include "foundation/DbgLog.h"
#include "foundation/SettingsSheet.h"
#include "tests/view/ViewFixture.h"
#include "view/FolderPicker.h"
#include "view/MaskDialog.h"

namespace {

struct Row {
    std::string object, name;
};
using Rows = std::vector<Row>;

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// A combo box (and its edit) or a list box is named after the static text before it, unless a tab group starts between.
std::string ComboLabel(HWND window)
{
    if (ClassOf(GetParent(window)) == WC_COMBOBOXA) window = GetParent(window);
    const bool labelled = ClassOf(window) == WC_COMBOBOXA || ClassOf(window) == "ListBox";
    HWND before = labelled ? GetWindow(window, GW_HWNDPREV) : nullptr;
    for (; before && ClassOf(before) != "Static"; before = GetWindow(before, GW_HWNDPREV))
        if ((GetWindowLongA(before, GWL_STYLE) & (WS_GROUP | WS_TABSTOP)) == (WS_GROUP | WS_TABSTOP)) return "";
    char text[128] = "";
    if (before) GetWindowTextA(before, text, sizeof text);
    std::string label = text;
    label.erase(std::remove(label.begin(), label.end(), '&'), label.end());
    return label;
}

// Adds the window's object and then its children's, each checked for a name and role if focusable.
void Walk(HWND hwnd, const std::string& window, Rows& rows)
{
    ComPtr<IAccessible> object;
    EXPECT_EQ(AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible), object.putVoid()), S_OK);
    if (!object) return;
    VARIANT self{}, role{}, state{};
    self.vt = VT_I4;
    const std::string kind = ClassOf(hwnd);
    const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    const bool neverFocused = kind == "Static" || kind == WC_HEADERA || !(style & WS_VISIBLE) ||
                              (kind == "Button" && (style & BS_TYPEMASK) == BS_GROUPBOX);
    Row row{kind + " #" + std::to_string(GetDlgCtrlID(hwnd)), ""};
    ScopedResource<BSTR, SysFreeString> name;
    char text[512] = "", roleText[64] = "";
    if (object->get_accName(self, name.put()) == S_OK && name)
        WideCharToMultiByte(CP_ACP, 0, name.get(), -1, text, sizeof text, nullptr, nullptr);
    row.name = *text ? text : ComboLabel(hwnd);
    if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4)
        GetRoleTextA(role.lVal, roleText, sizeof roleText);
    const bool focusable = SUCCEEDED(object->get_accState(self, &state)) && state.vt == VT_I4 &&
                           (state.lVal & STATE_SYSTEM_FOCUSABLE) && !neverFocused;
    EXPECT_TRUE(!focusable || (row.name != "" && *roleText))
        << window << ": " << row.object << " lacks a name or a role";
    rows.push_back(row);
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        Walk(child, window, rows);
}

bool Has(const Rows& rows, const std::string& objectStart, const std::string& name)
{
    return std::any_of(rows.begin(), rows.end(),
                       [&](const Row& row) { return row.object.rfind(objectStart, 0) == 0 && row.name == name; });
}

class AccessibilityTest : public ShellViewTest {};

TEST_F(AccessibilityTest, ViewAndListAreNamedAfterTheirFolderAndItemsReadEveryColumn)
{
    OpenView view(letters_.get(), browser_);
    Rows rows;
    Walk(view.window, "view", rows);
    EXPECT_TRUE(Has(rows, "PellorShellView", "R:\\Letters") && Has(rows, "SysListView32 #", "R:\\Letters"));
    // An item reads as its name, then each other column after its header.
    std::string headers;
    for (int column = 1; column < 4; ++column) {
        char header[64] = "";
        LVCOLUMNA heading{LVCF_TEXT, 0, 0, header, sizeof header};
        ListView_GetColumn(view.list, column, &heading);
        headers += std::string(header) + ",";
    }
    EXPECT_EQ(headers, "Size,Type,Modified,");
}

TEST_F(AccessibilityTest, EverySettingsFieldAndDialogFieldIsNamed)
{
    Settings()->m_dwDebugFlags = DBG_TO_FILE;  // the Log page's fields enabled, so focusable
    Rows rows;
    // The sheet is the frame's modal popup; the frame itself is never shown.
    WhileOpen([this] { return GetLastActivePopup(browser_.Frame()); },
              [&](HWND sheet) {
                  const char* const pages[] = {"Connection", "Paths", "Log", "Advanced"};
                  for (int page = 0; page < 4; ++page) {
                      PropSheet_SetCurSel(sheet, nullptr, page);
                      Walk(PropSheet_GetCurrentPageHwnd(sheet), std::string("page ") + pages[page], rows);
                  }
                  PropSheet_PressButton(sheet, PSBTN_CANCEL);
              },
              [&] { EXPECT_EQ(ShowSettingsSheet(browser_.Frame()), S_OK); });
    for (const char* label : {"Path:", "Name:", "Size (KB)", "Timeout (msec)", "Retries", "Transfer Retries"})
        EXPECT_TRUE(Has(rows, "Edit", label) &&
                    (std::string(label).back() == ':' || Has(rows, "msctls_updown32", label)))
            << "no field, or a numeric one with no spin, named " << label;
    EXPECT_TRUE(Has(rows, "ListBox", "Port the note-taker is on:"));

    char chosen[MAX_PATH];
    auto readThenCancel = [&rows](const char* label) {
        return [&rows, label](HWND dialog) {
            rows.clear();
            Walk(dialog, label, rows);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        };
    };
    WhileOpen([] { return FindWindowA(nullptr, "Enter File Mask"); }, readThenCancel("Select by Mask"),
              [&] { EXPECT_FALSE(RunMaskDialog(browser_.Frame(), chosen)); });
    EXPECT_TRUE(Has(rows, "ComboBox", "Mask:") && Has(rows, "Edit", "Mask:"));
    WhileOpen([] { return FindWindowA(nullptr, "Browse for Folder"); }, readThenCancel("Backup To"),
              [&] { EXPECT_FALSE(PickCommandFolder(browser_.Frame(), IDS_PICK_BACKUP, PickFor::Backup, chosen)); });
    EXPECT_TRUE(Has(rows, "SysTreeView32", "Select a folder for the backup"));
}

}  // namespace

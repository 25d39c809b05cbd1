// What a screen reader reads: the view window, each page of the settings
// sheet and the Select by Mask dialog walked through the platform's
// accessibility interface, printed as a table of window, object, role and
// name. Every object that can take the keyboard focus needs a name and a role.
//
// Where Wine's oleacc falls short of Windows: every child window reports the
// role "client" (Windows: push button, check box, list, spin button...);
// every child window reports itself focusable, static texts, group boxes and
// list headers included; a combo box is named by its own text, not by the
// label before it; and a list offers no items as children. The test reads
// those names and items as oleacc does on Windows: the label by the window
// order, the items through the list's own messages.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <prsht.h>
#include <shlwapi.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "foundation/DbgLog.h"
#include "foundation/SettingsSheet.h"
#include "tests/view/ViewFixture.h"
#include "view/FolderPicker.h"
#include "view/MaskDialog.h"

namespace {

struct Row {
    std::string window, object, role, name;
    bool focusable;
};

std::string Narrow(BSTR text)
{
    if (!text) return "";
    char buffer[512] = "";
    WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    SysFreeString(text);
    return buffer;
}

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Windows never gives these the keyboard focus, whatever Wine's oleacc says.
bool NeverFocused(HWND window)
{
    const std::string name = ClassOf(window);
    const bool groupBox = name == "Button" && (GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
    return name == "Static" || name == WC_HEADERA || groupBox || !(GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE);
}

// The label Windows names a combo box (and the edit inside it) after: the
// nearest static text before it in the window order, unless a control that
// starts a tab group comes first. Wine's oleacc looks for labels for plain
// edits only.
std::string ComboLabel(HWND window)
{
    if (ClassOf(GetParent(window)) == WC_COMBOBOXA) window = GetParent(window);
    if (ClassOf(window) != WC_COMBOBOXA) return "";
    for (HWND before = GetWindow(window, GW_HWNDPREV); before; before = GetWindow(before, GW_HWNDPREV)) {
        if (ClassOf(before) == "Static") {
            char text[128] = "";
            GetWindowTextA(before, text, sizeof text);
            std::string label = text;
            const size_t mnemonic = label.find('&');
            if (mnemonic != std::string::npos) label.erase(mnemonic, 1);
            return label;
        }
        if ((GetWindowLongA(before, GWL_STYLE) & (WS_GROUP | WS_TABSTOP)) == (WS_GROUP | WS_TABSTOP)) break;
    }
    return "";
}

Row Describe(IAccessible* object, const std::string& window)
{
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    HWND hwnd = nullptr;
    WindowFromAccessibleObject(object, &hwnd);
    Row row{window, ClassOf(hwnd) + " #" + std::to_string(GetDlgCtrlID(hwnd)), "", "", false};
    BSTR name = nullptr;
    if (object->get_accName(self, &name) == S_OK) row.name = Narrow(name);
    if (row.name.empty()) row.name = ComboLabel(hwnd);
    VARIANT role{}, state{};
    if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4) {
        char text[64] = "";
        GetRoleTextA(role.lVal, text, sizeof text);
        row.role = text;
    }
    if (SUCCEEDED(object->get_accState(self, &state)) && state.vt == VT_I4)
        row.focusable = (state.lVal & STATE_SYSTEM_FOCUSABLE) && !NeverFocused(hwnd);
    return row;
}

// The list's items as oleacc reads them on Windows: the name from the first
// column, the other columns after their headers.
void AddListItems(HWND list, const std::string& window, std::vector<Row>& rows)
{
    char role[64] = "";
    GetRoleTextA(ROLE_SYSTEM_LISTITEM, role, sizeof role);
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int item = 0; item < count; ++item) {
        std::string name;
        for (int column = 0; column < 4; ++column) {
            char text[MAX_PATH] = "", header[64] = "";
            LVITEMA entry{};
            entry.iSubItem = column;
            entry.pszText = text;
            entry.cchTextMax = sizeof text;
            SendMessageA(list, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&entry));
            LVCOLUMNA heading{};
            heading.mask = LVCF_TEXT;
            heading.pszText = header;
            heading.cchTextMax = sizeof header;
            SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&heading));
            name += column == 0 ? text : std::string(", ") + header + ": " + text;
        }
        rows.push_back({window, "SysListView32 item " + std::to_string(item), role, name, true});
    }
}

// The object and the child windows it holds, each read through its client
// area as a screen reader reads the window that has the focus.
void Walk(IAccessible* object, const std::string& window, std::vector<Row>& rows)
{
    rows.push_back(Describe(object, window));
    HWND hwnd = nullptr;
    WindowFromAccessibleObject(object, &hwnd);
    if (ClassOf(hwnd) == WC_LISTVIEWA) AddListItems(hwnd, window, rows);
    LONG count = 0;
    if (FAILED(object->get_accChildCount(&count)) || count <= 0) return;
    std::vector<VARIANT> children(count);
    LONG obtained = 0;
    if (FAILED(AccessibleChildren(object, 0, count, children.data(), &obtained))) return;
    for (LONG i = 0; i < obtained; ++i) {
        IAccessible* child = nullptr;
        HWND childWindow = nullptr;
        if (children[i].vt == VT_DISPATCH && children[i].pdispVal &&
            SUCCEEDED(children[i].pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&child)))) {
            WindowFromAccessibleObject(child, &childWindow);
            child->Release();
            child = nullptr;
        }
        if (childWindow && childWindow != hwnd &&
            SUCCEEDED(AccessibleObjectFromWindow(childWindow, OBJID_CLIENT, __uuidof(IAccessible),
                                                 reinterpret_cast<void**>(&child)))) {
            Walk(child, window, rows);
            child->Release();
        }
        VariantClear(&children[i]);
    }
}

std::vector<Row> WalkWindow(HWND window, const std::string& label)
{
    std::vector<Row> rows;
    IAccessible* client = nullptr;
    EXPECT_EQ(AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&client)),
              S_OK);
    if (!client) return rows;
    Walk(client, label, rows);
    client->Release();
    return rows;
}

void ExpectNamed(const std::vector<Row>& rows)
{
    for (const Row& row : rows) {
        std::printf("| %s | %s | %s | %s |%s\n", row.window.c_str(), row.object.c_str(), row.role.c_str(),
                    row.name.c_str(), row.focusable ? "" : " not focusable");
        if (!row.focusable) continue;
        EXPECT_NE(row.name, "") << row.window << ": " << row.object << " has no name";
        EXPECT_NE(row.role, "") << row.window << ": " << row.object << " has no role";
    }
}

bool Has(const std::vector<Row>& rows, const std::string& objectStart, const std::string& name)
{
    for (const Row& row : rows)
        if (row.object.rfind(objectStart, 0) == 0 && row.name == name) return true;
    return false;
}

// Runs `act` on the first visible window of this thread that `find` accepts,
// from inside the modal loop that `open` runs.
std::function<HWND()> g_find;
std::function<void(HWND)> g_act;

void CALLBACK ActOnWindow(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND window = g_find();
    if (!window || !IsWindowVisible(window)) return;
    KillTimer(nullptr, timer);
    g_act(window);
}

void WhileOpen(std::function<HWND()> find, std::function<void(HWND)> act, const std::function<void()>& open)
{
    g_find = std::move(find);
    g_act = std::move(act);
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ActOnWindow);
    open();
    KillTimer(nullptr, timer);
}

BOOL CALLBACK FindSheet(HWND window, LPARAM found)
{
    if (!IsWindowVisible(window) || !FindWindowExA(window, nullptr, WC_TABCONTROLA, nullptr)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

class AccessibilityTest : public ShellViewTest {};

TEST_F(AccessibilityTest, ViewAndListAreNamedAfterTheirFolderAndItemsReadEveryColumn)
{
    IShellFolder* letters = Letters();
    const struct {
        IShellFolder* folder;
        const char* name;
    } cases[] = {{root_, "Pellor"}, {letters, "R:\\Letters"}};
    for (const auto& c : cases) {
        OpenView view(c.folder, browser_);
        std::vector<Row> rows = WalkWindow(view.window, std::string("view ") + c.name);
        ExpectNamed(rows);
        EXPECT_TRUE(Has(rows, "PellorShellView", c.name));
        EXPECT_TRUE(Has(rows, "SysListView32 #", c.name));
    }
    OpenView view(letters, browser_);
    std::vector<Row> rows;
    AddListItems(view.list, "", rows);
    ASSERT_EQ(rows.size(), 3u);
    char size[32];
    StrFormatByteSizeA(3000, size, sizeof size);
    EXPECT_EQ(rows[0].name.rfind(std::string("a.mmq, Size: ") + size + ", Type: ", 0), 0u) << rows[0].name;
    EXPECT_NE(rows[0].name.find(", Modified: "), std::string::npos);
    letters->Release();
}

TEST_F(AccessibilityTest, EverySettingsFieldIsNamed)
{
    Settings()->m_dwDebugFlags = DBG_TO_FILE;  // the Log page's fields enabled, so focusable
    std::vector<Row> rows;
    WhileOpen(
        [] {
            HWND sheet = nullptr;
            EnumThreadWindows(GetCurrentThreadId(), FindSheet, reinterpret_cast<LPARAM>(&sheet));
            return sheet;
        },
        [&](HWND sheet) {
            static const char* const kPages[] = {"Connection", "Paths", "Log", "Advanced"};
            for (int page = 0; page < 4; ++page) {
                PropSheet_SetCurSel(sheet, nullptr, page);
                std::vector<Row> pageRows = WalkWindow(PropSheet_GetCurrentPageHwnd(sheet), std::string("page ") + kPages[page]);
                rows.insert(rows.end(), pageRows.begin(), pageRows.end());
            }
            PropSheet_PressButton(sheet, PSBTN_CANCEL);
        },
        [&] { EXPECT_EQ(ShowSettingsSheet(browser_.Frame()), S_OK); });
    ExpectNamed(rows);
    for (const char* label : {"Path:", "Name:", "Size (KB)", "Timeout (msec)", "Retries", "Transfer Retries"})
        EXPECT_TRUE(Has(rows, "Edit", label)) << "no field named " << label;
    for (const char* label : {"Size (KB)", "Timeout (msec)", "Retries", "Transfer Retries"})
        EXPECT_TRUE(Has(rows, "msctls_updown32", label)) << "no spin named " << label;
}

TEST_F(AccessibilityTest, MaskFieldIsNamed)
{
    std::vector<Row> rows;
    char mask[MAX_PATH];
    WhileOpen([] { return FindWindowA(nullptr, "Enter File Mask"); },
              [&](HWND dialog) {
                  rows = WalkWindow(dialog, "Select by Mask");
                  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
              },
              [&] { EXPECT_FALSE(RunMaskDialog(browser_.Frame(), mask)); });
    ExpectNamed(rows);
    EXPECT_TRUE(Has(rows, "ComboBox", "Mask:"));
    EXPECT_TRUE(Has(rows, "Edit", "Mask:"));
}

TEST_F(AccessibilityTest, FolderPickerIsNamed)
{
    std::vector<Row> rows;
    char folder[MAX_PATH];
    WhileOpen([] { return FindWindowA(nullptr, "Browse for Folder"); },
              [&](HWND picker) {
                  rows = WalkWindow(picker, "Backup To");
                  PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
              },
              [&] { EXPECT_FALSE(PickCommandFolder(browser_.Frame(), IDS_PICK_BACKUP, PickFor::Backup, folder)); });
    ExpectNamed(rows);
    EXPECT_TRUE(Has(rows, "SysTreeView32", "Select a folder for the backup"));
}

}  // namespace

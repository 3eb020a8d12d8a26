// Window helpers against real controls: list view, combo box, menus,
// resources, strings and window placement.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "gui_support.h"
#include "orv-core.h"
#include "orv-str.h"
#include "winhelpr.h"

namespace {

const int kList = 1033;
const int kCombo = 1007;
const int kEdit = 1003;

class WinHelprTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = CreateHost("Helpers");
        HINSTANCE instance = GetModuleHandleA(nullptr);
        CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 300, 150,
                        host_, HMENU(INT_PTR(kList)), instance, nullptr);
        CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 0, 160, 200, 100, host_,
                        HMENU(INT_PTR(kCombo)), instance, nullptr);
        CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 200, 100, 20, host_, HMENU(INT_PTR(kEdit)),
                        instance, nullptr);
    }
    void TearDown() override { DestroyWindow(host_); }

    std::string Cell(int row, int column) {
        char text[STR_TEXT_SIZE];
        Win_ListGetText(host_, kList, row, column, text, sizeof(text));
        return text;
    }

    HWND host_ = nullptr;
};

TEST_F(WinHelprTest, ListColumnsRowsAndCells) {
    int count = -1;
    ASSERT_TRUE(Win_ListColumnCount(host_, kList, &count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(Win_ListInsertColumn(host_, kList, 0, 25, "Filename", WIN_COLUMN_LEFT));
    EXPECT_TRUE(Win_ListInsertColumn(host_, kList, 1, 12, "Size", WIN_COLUMN_RIGHT));
    EXPECT_TRUE(Win_ListInsertColumn(host_, kList, 2, 0, "Path", WIN_COLUMN_LEFT));
    ASSERT_TRUE(Win_ListColumnCount(host_, kList, &count));
    EXPECT_EQ(count, 3);

    HWND list = GetDlgItem(host_, kList);
    EXPECT_EQ(ListView_GetColumnWidth(list, 2), 0);
    int wide = ListView_GetColumnWidth(list, 0), narrow = ListView_GetColumnWidth(list, 1);
    EXPECT_GT(wide, narrow);
    EXPECT_NEAR(double(wide) / narrow, 25.0 / 12.0, 0.05);
    // A title longer than its width widens its column to show it whole.
    EXPECT_TRUE(Win_ListInsertColumn(host_, kList, 3, 2, "New Dimensions", WIN_COLUMN_RIGHT));
    EXPECT_GT(ListView_GetColumnWidth(list, 3), ListView_GetStringWidth(list, "New Dimensions"));
    EXPECT_TRUE(Win_ListScaleColumns(host_, kList, 3, 2));
    EXPECT_EQ(ListView_GetColumnWidth(list, 0), wide * 3 / 2);
    EXPECT_EQ(ListView_GetColumnWidth(list, 2), 0) << "a hidden column stays hidden";
    EXPECT_TRUE(Win_ListScaleColumns(host_, kList, 2, 3));
    EXPECT_TRUE(SendMessageA(list, LVM_DELETECOLUMN, 3, 0));
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT;
    ListView_GetColumn(list, 1, &column);
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_RIGHT);

    int row = -1;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Win_ListAppendRow(host_, kList, &row));
        EXPECT_EQ(row, i);
        char name[16];
        wsprintfA(name, "file%d.jpg", i);
        EXPECT_TRUE(Win_ListSetText(host_, kList, row, 0, name));
        EXPECT_TRUE(Win_ListSetText(host_, kList, row, 2, "C:\\pics\\x.jpg"));
    }
    EXPECT_TRUE(Win_ListInsertRow(host_, kList, 1));
    int rows = 0;
    Win_ListRowCount(host_, kList, &rows);
    EXPECT_EQ(rows, 4);
    EXPECT_EQ(Cell(0, 0), "file0.jpg");
    EXPECT_EQ(Cell(1, 0), "");
    EXPECT_EQ(Cell(2, 0), "file1.jpg");
    EXPECT_EQ(Cell(3, 2), "C:\\pics\\x.jpg");

    char cut[5];
    Win_ListGetText(host_, kList, 0, 0, cut, sizeof(cut));
    EXPECT_STREQ(cut, "file");

    EXPECT_TRUE(Win_ListDeleteRow(host_, kList, 1));
    Win_ListRowCount(host_, kList, &rows);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(Cell(1, 0), "file1.jpg");

    EXPECT_TRUE(Win_ListFullRowSelect(host_, kList, 1));
    EXPECT_TRUE(ListView_GetExtendedListViewStyle(list) & LVS_EX_FULLROWSELECT);
    Win_ListFullRowSelect(host_, kList, 0);
    EXPECT_FALSE(ListView_GetExtendedListViewStyle(list) & LVS_EX_FULLROWSELECT);

    EXPECT_TRUE(Win_ListDeleteAll(host_, kList));
    Win_ListRowCount(host_, kList, &rows);
    EXPECT_EQ(rows, 0);
}

TEST_F(WinHelprTest, FocusedRowIsTheFocusNotTheSelection) {
    Win_ListInsertColumn(host_, kList, 0, 10, "Filename", 0);
    int row = 0;
    for (int i = 0; i < 4; ++i) Win_ListAppendRow(host_, kList, &row);
    HWND list = GetDlgItem(host_, kList);

    EXPECT_FALSE(Win_ListFocusedRow(host_, kList, &row));
    EXPECT_EQ(row, 0);

    ListView_SetItemState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(list, 1, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(list, 3, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(list, 2, LVIS_FOCUSED, LVIS_FOCUSED);
    row = -1;
    ASSERT_TRUE(Win_ListFocusedRow(host_, kList, &row));
    EXPECT_EQ(row, 2);

    ASSERT_TRUE(Win_ListFocusRow(host_, kList, 3));
    Win_ListFocusedRow(host_, kList, &row);
    EXPECT_EQ(row, 3);
    EXPECT_EQ(ListView_GetItemState(list, 3, LVIS_SELECTED | LVIS_FOCUSED), UINT(LVIS_SELECTED | LVIS_FOCUSED));
}

TEST_F(WinHelprTest, ComboDataAndSelection) {
    int index = -1;
    int64_t value = 7;
    EXPECT_FALSE(Win_ComboGetSelection(host_, kCombo, &index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(Win_ComboGetSelectedData(host_, kCombo, &value));
    EXPECT_EQ(value, 7);

    const char* texts[] = {"Original quality", "High quality", "Medium quality", "Low quality"};
    const int64_t data[] = {100, 75, 60, 50};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(Win_ComboAddString(host_, kCombo, texts[i], &index));
        EXPECT_EQ(index, i);
        EXPECT_TRUE(Win_ComboSetData(host_, kCombo, index, data[i]));
    }
    EXPECT_TRUE(Win_ComboGetData(host_, kCombo, 2, &value));
    EXPECT_EQ(value, 60);
    EXPECT_FALSE(Win_ComboGetData(host_, kCombo, 9, &value));
    EXPECT_EQ(value, 0);

    EXPECT_TRUE(Win_ComboSelectByData(host_, kCombo, 50));
    EXPECT_TRUE(Win_ComboGetSelection(host_, kCombo, &index));
    EXPECT_EQ(index, 3);
    EXPECT_TRUE(Win_ComboGetSelectedData(host_, kCombo, &value));
    EXPECT_EQ(value, 50);

    // No entry holds 90: the selection stays where it was.
    EXPECT_FALSE(Win_ComboSelectByData(host_, kCombo, 90));
    Win_ComboGetSelection(host_, kCombo, &index);
    EXPECT_EQ(index, 3);

    // An entry holding -1 ends the walk: the entry after it is not reached.
    Win_ComboSetData(host_, kCombo, 1, -1);
    EXPECT_FALSE(Win_ComboSelectByData(host_, kCombo, 60));

    EXPECT_TRUE(Win_ComboReset(host_, kCombo));
    EXPECT_FALSE(Win_ComboGetData(host_, kCombo, 0, &value));
}

TEST_F(WinHelprTest, EditNumbersAndChecks) {
    int value = -1;
    EXPECT_TRUE(Win_SetItemInt(host_, kEdit, -1200, 5));
    Win_GetItemInt(host_, kEdit, &value);
    EXPECT_EQ(value, -1200);
    EXPECT_EQ(SendDlgItemMessageA(host_, kEdit, EM_GETLIMITTEXT, 0, 0), 5);
    Win_SetItemText(host_, kEdit, "abc", 80);
    value = 9;
    EXPECT_TRUE(Win_GetItemInt(host_, kEdit, &value));
    EXPECT_EQ(value, 0);
    char text[8];
    Win_SetItemText(host_, kEdit, "_resized", 80);
    Win_GetItemText(host_, kEdit, text, sizeof(text));
    EXPECT_STREQ(text, "_resize");

    HWND box = CreateWindowExA(0, "BUTTON", "Keep", WS_CHILD | BS_AUTO3STATE, 0, 230, 100, 20, host_,
                               HMENU(INT_PTR(1041)), GetModuleHandleA(nullptr), nullptr);
    int state = -1;
    for (int set : {1, 2, 0, 5}) {
        Win_SetCheck(host_, 1041, set);
        Win_GetCheck(host_, 1041, &state);
        EXPECT_EQ(state, set == 5 ? 0 : set);
    }
    Win_EnableItem(host_, 1041, 0);
    EXPECT_FALSE(IsWindowEnabled(box));
    Win_EnableItem(host_, 1041, 1);
    EXPECT_TRUE(IsWindowEnabled(box));
    Win_ShowItem(host_, 1041, 1);
    EXPECT_TRUE(IsWindowVisible(box));
    EXPECT_FALSE(Win_ShowItem(host_, 999, 1));
}

TEST(WinHelpr, MenusInsertEnableAndGrey) {
    HMENU menu = CreatePopupMenu();
    EXPECT_TRUE(Win_AppendMenuText(menu, 4001, "&Open in Preview"));
    EXPECT_TRUE(Win_AppendMenuText(menu, 4000, "&Remove"));
    EXPECT_TRUE(Win_InsertMenuText(menu, 0, 4005, "First"));
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    EXPECT_EQ(GetMenuItemID(menu, 0), 4005u);
    EXPECT_EQ(GetMenuItemID(menu, 1), 4001u);
    EXPECT_EQ(GetMenuItemID(menu, 2), 4000u);

    Win_EnableMenuItem(menu, 4000, 0);
    EXPECT_EQ(GetMenuState(menu, 4000, MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED), UINT(MF_DISABLED | MF_GRAYED));
    Win_EnableMenuItem(menu, 4000, 7);
    EXPECT_EQ(GetMenuState(menu, 4000, MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED), UINT(MF_DISABLED | MF_GRAYED));
    Win_EnableMenuItem(menu, 4000, 1);
    EXPECT_EQ(GetMenuState(menu, 4000, MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED), 0u);
    DestroyMenu(menu);
}

TEST(WinHelpr, ResourcesAndStrings) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    unsigned char* data = nullptr;
    int size = 0;
    ASSERT_TRUE(Win_LoadResourceData(instance, 10, &data, &size));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 7), "payload");
    Mem_Free(data, size, MEM_HEAP, "tests", __LINE__);

    ScopedLog log("gui-resources.log", LOG_FILE);
    EXPECT_FALSE(Win_LoadResourceData(instance, 11, &data, &size));
    EXPECT_EQ(data, nullptr);

    char buffer[10];
    ASSERT_TRUE(Win_LoadString(instance, 1, buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, "Fifteen l");
    char whole[80];
    ASSERT_TRUE(Win_LoadString(instance, 1, whole, sizeof(whole)));
    EXPECT_STREQ(whole, "Fifteen letters");
    // Five characters into five bytes leave no room for the terminator.
    char exact[5];
    Win_LoadString(instance, 2, exact, sizeof(exact));
    EXPECT_STREQ(exact, "Shor");
    EXPECT_FALSE(Win_LoadString(instance, 3, whole, sizeof(whole)));
    EXPECT_STREQ(whole, "");

    std::string text = log.Contents();
    EXPECT_NE(text.find("Unable to find Resource [#11]"), std::string::npos);
    EXPECT_NE(text.find("String 1 length longer than buffer (15 > 10)"), std::string::npos);
    EXPECT_NE(text.find("Unable to load string resource ID (3)"), std::string::npos);
}

TEST(WinHelpr, PlaceWindowStaysOnTheVirtualScreen) {
    HWND host = CreateHost("Place");
    int vx = GetSystemMetrics(SM_XVIRTUALSCREEN), vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int vw = GetSystemMetrics(SM_CXVIRTUALSCREEN), vh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    int left, top, width, height;

    // Where a window closed while minimised was stored.
    ASSERT_TRUE(Win_PlaceWindow(host, -32000, -32000, 0, 0));
    Win_GetWindowRect(host, &left, &top, &width, &height);
    EXPECT_EQ(left, vx);
    EXPECT_EQ(top, vy);
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 300);

    Win_PlaceWindow(host, 100, 120, 0, 0);
    Win_GetWindowRect(host, &left, &top, &width, &height);
    EXPECT_EQ(left, 100);
    EXPECT_EQ(top, 120);

    // Past the right and bottom borders it comes back whole.
    Win_PlaceWindow(host, vx + vw + 500, vy + vh + 500, 0, 0);
    Win_GetWindowRect(host, &left, &top, &width, &height);
    EXPECT_EQ(left, vx + vw - 400);
    EXPECT_EQ(top, vy + vh - 300);

    Win_PlaceWindow(host, 10, 20, 200, 100);
    Win_GetWindowRect(host, &left, &top, &width, &height);
    EXPECT_EQ(left, 10);
    EXPECT_EQ(top, 20);
    EXPECT_EQ(width, 200);
    EXPECT_EQ(height, 100);

    HWND child = CreateHost("Centred");
    Win_PlaceWindow(child, 0, 0, 150, 60);
    int childWidth, childHeight;
    Win_GetWindowRect(child, &left, &top, &childWidth, &childHeight);
    Win_GetWindowRect(host, &left, &top, &width, &height);
    ASSERT_TRUE(Win_CenterWindow(child, host));
    int expectLeft = left + (width - childWidth) / 2, expectTop = top + (height - childHeight) / 2;
    Win_GetWindowRect(child, &left, &top, &width, &height);
    EXPECT_EQ(left, expectLeft);
    EXPECT_EQ(top, expectTop);
    DestroyWindow(child);
    DestroyWindow(host);
}

TEST(WinHelpr, SaveDialogAddsTheDefaultExtension) {
    HWND host = CreateHost("Save");
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof(current), current);
    std::string typed = std::string(current) + "\\holiday-copy";
    SaveAnswer reply = {"Select save path", typed};
    TestThread answer;
    TestThread_Start(&answer, AnswerSaveDialog, &reply);
    char folder[STR_TEXT_SIZE] = "", name[80] = "resized.jpg";
    int chosen = Win_SaveFileDialog(host, "Select save path", folder, sizeof(folder), name, sizeof(name), 0, 1,
                                    "JPEG files (*.jpg)", "*.jpg");
    TestThread_Join(&answer);
    ASSERT_TRUE(chosen);
    EXPECT_STREQ(name, "holiday-copy.jpg");
    EXPECT_EQ(std::string(folder), std::string(current) + "\\");
    DestroyWindow(host);
}

struct FolderAnswer {
    HWND owner;
    std::string last;  // the name of the folder the dialog should reach
    RECT placed;
};

// The text of the folder selected in the dialog's tree, "" when none.
std::string SelectedFolder(HWND dialog) {
    HWND tree = FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr);
    if (!tree) return "";
    HTREEITEM item = HTREEITEM(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item) return "";
    char text[STR_TEXT_SIZE] = "";
    TVITEMA tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = int(sizeof text);
    SendMessageA(tree, TVM_GETITEMA, 0, LPARAM(&tv));
    return text;
}

// Confirms the folder dialog owned by the host once its tree has reached
// the folder (opening a crowded tree takes a while).
void ConfirmFolder(void* data) {
    FolderAnswer* answer = static_cast<FolderAnswer*>(data);
    HWND dialog = WaitForDialog(nullptr, answer->owner, nullptr, 5000);
    if (!dialog) return;
    for (int waited = 0; waited < 10000 && SelectedFolder(dialog) != answer->last; waited += 50) Sleep(50);
    Sleep(100);
    GetWindowRect(dialog, &answer->placed);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

TEST(WinHelpr, FolderDialogStartsAtTheInitialFolder) {
    HWND host = CreateHost("Browse");
    // The system's own folder: a short, quiet tree. Wine's dialog has been
    // seen to stop short in a crowded temporary folder.
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof(windows));
    std::string initial = std::string(windows) + "\\";
    Win_PlaceWindow(host, 100, 100, 700, 600);
    std::string here = windows;
    FolderAnswer answer = {host, here.substr(here.rfind('\\') + 1), {}};
    TestThread thread;
    TestThread_Start(&thread, ConfirmFolder, &answer);
    char folder[STR_TEXT_SIZE] = "";
    int chosen = Win_BrowseFolder(host, "Please select path", folder, initial.c_str());
    TestThread_Join(&thread);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(std::string(folder), initial);
    // Centred on its owner.
    int width = answer.placed.right - answer.placed.left, height = answer.placed.bottom - answer.placed.top;
    EXPECT_NEAR(answer.placed.left, 100 + (700 - width) / 2, 1);
    EXPECT_NEAR(answer.placed.top, 100 + (600 - height) / 2, 1);
    DestroyWindow(host);
}

TEST(WinHelpr, PumpLeavesACloseRequestQueued) {
    HWND host = CreateHost("Pump");
    PostMessageA(host, WM_USER + 5, 0, 0);
    PostMessageA(host, WM_CLOSE, 0, 0);
    PostMessageA(host, WM_USER + 6, 0, 0);
    EXPECT_TRUE(Win_PumpMessages());
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, host, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_CLOSE));
    EXPECT_TRUE(IsWindow(host));
    ASSERT_TRUE(PeekMessageA(&msg, host, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_USER + 6));
    DestroyWindow(host);
}

}  // namespace

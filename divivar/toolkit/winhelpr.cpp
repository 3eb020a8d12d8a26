// Window and dialog helpers over dialog controls, combo boxes, list views
// and menus. Resources, placement and the shell dialogs are in
// winhelpr_window.cpp.
#include "winhelpr.h"

#include <commctrl.h>

#include <vector>

#include "orv-core.h"
#include "orv-core_win32.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/toolkit/winhelpr";

HWND Item(HWND window, int id) {
    return GetDlgItem(window, id);
}

int LimitAndSelect(HWND window, int id, int limit) {
    Win_SendItemMessage(window, id, EM_LIMITTEXT, WPARAM(limit), 0);
    Win_SendItemMessage(window, id, EM_SETSEL, 0, -1);
    return 1;
}

// The new row's position, or -1.
LRESULT InsertEmptyRow(HWND window, int id, int index) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>("");
    return SendDlgItemMessageA(window, id, LVM_INSERTITEMA, 0, LPARAM(&item));
}

}  // namespace

// ------------------------------------------------------------ dialog items

LRESULT Win_SendItemMessage(HWND window, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(window, id, message, wParam, lParam);
}

int Win_SetItemText(HWND window, int id, const char* text, int limit) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    if (!SetDlgItemTextA(window, id, text)) return 0;
    return LimitAndSelect(window, id, limit);
}

int Win_GetItemText(HWND window, int id, char* buffer, int size) {
    if (!buffer) Core_NullPointer(kModule, __LINE__);
    if (size <= 0) return 0;
    buffer[0] = 0;
    GetDlgItemTextA(window, id, buffer, size);
    return Item(window, id) != nullptr;
}

int Win_SetItemInt(HWND window, int id, int value, int limit) {
    if (!SetDlgItemInt(window, id, UINT(value), TRUE)) return 0;
    return LimitAndSelect(window, id, limit);
}

int Win_GetItemInt(HWND window, int id, int* value) {
    if (!value) Core_NullPointer(kModule, __LINE__);
    BOOL ok = FALSE;
    *value = int(GetDlgItemInt(window, id, &ok, TRUE));
    if (!ok) *value = 0;
    return 1;
}

int Win_SetCheck(HWND window, int id, int state) {
    UINT check = state == 1 ? BST_CHECKED : state == 2 ? BST_INDETERMINATE : BST_UNCHECKED;
    return CheckDlgButton(window, id, check) ? 1 : 0;
}

int Win_GetCheck(HWND window, int id, int* state) {
    if (!state) Core_NullPointer(kModule, __LINE__);
    UINT check = IsDlgButtonChecked(window, id);
    *state = check == BST_CHECKED ? 1 : check == BST_INDETERMINATE ? 2 : 0;
    return 1;
}

int Win_EnableItem(HWND window, int id, int flag) {
    HWND item = Item(window, id);
    if (!item) return 0;
    EnableWindow(item, flag == 1);
    return 1;
}

int Win_ShowItem(HWND window, int id, int flag) {
    HWND item = Item(window, id);
    if (!item) return 0;
    ShowWindow(item, flag == 1 ? SW_SHOWNORMAL : SW_HIDE);
    return 1;
}

// ------------------------------------------------------------ combo boxes

int Win_ComboReset(HWND window, int id) {
    return Win_SendItemMessage(window, id, CB_RESETCONTENT, 0, 0) != CB_ERR;
}

int Win_ComboAddString(HWND window, int id, const char* text, int* index) {
    if (!text || !index) Core_NullPointer(kModule, __LINE__);
    LRESULT at = Win_SendItemMessage(window, id, CB_ADDSTRING, 0, LPARAM(text));
    if (at == CB_ERR || at == CB_ERRSPACE) {
        *index = 0;
        return 0;
    }
    *index = int(at);
    return 1;
}

int Win_ComboSetData(HWND window, int id, int index, int64_t value) {
    return Win_SendItemMessage(window, id, CB_SETITEMDATA, WPARAM(index), LPARAM(value)) != CB_ERR;
}

int Win_ComboGetData(HWND window, int id, int index, int64_t* value) {
    if (!value) Core_NullPointer(kModule, __LINE__);
    LRESULT data = Win_SendItemMessage(window, id, CB_GETITEMDATA, WPARAM(index), 0);
    if (data == CB_ERR) {
        *value = 0;
        return 0;
    }
    *value = int64_t(data);
    return 1;
}

int Win_ComboSelect(HWND window, int id, int index) {
    LRESULT at = Win_SendItemMessage(window, id, CB_SETCURSEL, WPARAM(index), 0);
    return index < 0 || at != CB_ERR;
}

int Win_ComboGetSelection(HWND window, int id, int* index) {
    if (!index) Core_NullPointer(kModule, __LINE__);
    LRESULT at = Win_SendItemMessage(window, id, CB_GETCURSEL, 0, 0);
    if (at == CB_ERR) {
        *index = 0;
        return 0;
    }
    *index = int(at);
    return 1;
}

int Win_ComboGetSelectedData(HWND window, int id, int64_t* value) {
    if (!value) Core_NullPointer(kModule, __LINE__);
    int index = 0;
    if (!Win_ComboGetSelection(window, id, &index)) return 0;
    return Win_ComboGetData(window, id, index, value);
}

int Win_ComboSelectByData(HWND window, int id, int64_t value) {
    int64_t data = 0;
    for (int index = 0; Win_ComboGetData(window, id, index, &data); ++index) {
        if (data == value) return Win_ComboSelect(window, id, index);
    }
    return 0;
}

// ------------------------------------------------ list views (report style)

int Win_ListDeleteAll(HWND window, int id) {
    return Win_SendItemMessage(window, id, LVM_DELETEALLITEMS, 0, 0) ? 1 : 0;
}

int Win_ListColumnCount(HWND window, int id, int* count) {
    if (!count) Core_NullPointer(kModule, __LINE__);
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH;
    int n = 0;
    while (Win_SendItemMessage(window, id, LVM_GETCOLUMNA, WPARAM(n), LPARAM(&column))) ++n;
    *count = n;
    return 1;
}

int Win_ListInsertColumn(HWND window, int id, int index, int widthChars, const char* title, int flags) {
    if (!title) Core_NullPointer(kModule, __LINE__);
    HWND list = Item(window, id);
    if (!list) return 0;
    // Widths follow the font the list actually draws with, which grows with
    // the screen's DPI; a shown column is never narrower than its title.
    int average = 8;
    SIZE titleSize = {0, 0};
    HDC dc = GetDC(list);
    if (dc) {
        HGDIOBJ font = HGDIOBJ(SendMessageA(list, WM_GETFONT, 0, 0));
        HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
        TEXTMETRICA metrics;
        if (GetTextMetricsA(dc, &metrics)) average = metrics.tmAveCharWidth;
        // GDI measures in the system's code page, not the process's: the
        // wide call measures a UTF-8 title as the list shows it.
        wchar_t wide[STR_TEXT_SIZE];
        if (Core_ToWide(title, wide, STR_TEXT_SIZE)) GetTextExtentPoint32W(dc, wide, int(wcslen(wide)), &titleSize);
        if (previous) SelectObject(dc, previous);
        ReleaseDC(list, dc);
    }
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    int align = flags & 0xF;
    column.fmt = align == WIN_COLUMN_RIGHT ? LVCFMT_RIGHT : align == WIN_COLUMN_CENTRE ? LVCFMT_CENTER : LVCFMT_LEFT;
    if (flags & WIN_COLUMN_IMAGE) column.fmt |= LVCFMT_IMAGE;
    if (flags & WIN_COLUMN_IMAGE_RIGHT) column.fmt |= LVCFMT_BITMAP_ON_RIGHT;
    if (flags & (WIN_COLUMN_IMAGE | WIN_COLUMN_IMAGE_RIGHT)) column.fmt |= LVCFMT_COL_HAS_IMAGES;
    column.cx = widthChars * average;
    // The header pads its text by about one average letter on each side.
    if (widthChars > 0 && column.cx < titleSize.cx + 2 * average) column.cx = titleSize.cx + 2 * average;
    column.pszText = const_cast<char*>(title);
    column.iSubItem = index;
    return SendMessageA(list, LVM_INSERTCOLUMNA, WPARAM(index), LPARAM(&column)) >= 0;
}

int Win_ListScaleColumns(HWND window, int id, int numerator, int denominator) {
    HWND list = Item(window, id);
    if (!list || numerator <= 0 || denominator <= 0) return 0;
    int count = 0;
    Win_ListColumnCount(window, id, &count);
    for (int c = 0; c < count; ++c) {
        int width = int(SendMessageA(list, LVM_GETCOLUMNWIDTH, WPARAM(c), 0));
        SendMessageA(list, LVM_SETCOLUMNWIDTH, WPARAM(c), MAKELPARAM(MulDiv(width, numerator, denominator), 0));
    }
    return 1;
}

int Win_WindowDpi(HWND window) {
    // GetDpiForWindow came with Windows 10 1607: looked up, not imported,
    // so the program still starts on older ones.
    typedef UINT(WINAPI * DpiForWindow)(HWND);
    static DpiForWindow forWindow =
        reinterpret_cast<DpiForWindow>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    UINT dpi = forWindow && window ? forWindow(window) : 0;
    if (dpi == 0) {
        HDC dc = GetDC(nullptr);
        dpi = dc ? UINT(GetDeviceCaps(dc, LOGPIXELSX)) : 96;
        if (dc) ReleaseDC(nullptr, dc);
    }
    return dpi > 0 ? int(dpi) : 96;
}

int Win_ListInsertRow(HWND window, int id, int index) {
    return InsertEmptyRow(window, id, index) >= 0;
}

int Win_ListAppendRow(HWND window, int id, int* index) {
    if (!index) Core_NullPointer(kModule, __LINE__);
    int count = 0;
    Win_ListRowCount(window, id, &count);
    LRESULT at = InsertEmptyRow(window, id, count);
    if (at < 0) {
        *index = 0;
        return 0;
    }
    *index = int(at);
    return 1;
}

int Win_ListDeleteRow(HWND window, int id, int row) {
    return Win_SendItemMessage(window, id, LVM_DELETEITEM, WPARAM(row), 0) ? 1 : 0;
}

int Win_ListSetText(HWND window, int id, int row, int column, const char* text) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    return Win_SendItemMessage(window, id, LVM_SETITEMTEXTA, WPARAM(row), LPARAM(&item)) ? 1 : 0;
}

int Win_ListSetRowData(HWND window, int id, int row, intptr_t value) {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = LPARAM(value);
    return Win_SendItemMessage(window, id, LVM_SETITEMA, 0, LPARAM(&item)) ? 1 : 0;
}

int Win_ListGetRowData(HWND window, int id, int row, intptr_t* value) {
    if (!value) Core_NullPointer(kModule, __LINE__);
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    int ok = Win_SendItemMessage(window, id, LVM_GETITEMA, 0, LPARAM(&item)) ? 1 : 0;
    *value = ok ? intptr_t(item.lParam) : 0;
    return ok;
}

int Win_ListGetText(HWND window, int id, int row, int column, char* buffer, int size) {
    if (!buffer) Core_NullPointer(kModule, __LINE__);
    if (size <= 0) return 0;
    buffer[0] = 0;
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = size;
    Win_SendItemMessage(window, id, LVM_GETITEMTEXTA, WPARAM(row), LPARAM(&item));
    // Some list views fill a short buffer without terminating it.
    buffer[size - 1] = 0;
    return Item(window, id) != nullptr;
}

int Win_ListRowCount(HWND window, int id, int* count) {
    if (!count) Core_NullPointer(kModule, __LINE__);
    *count = int(Win_SendItemMessage(window, id, LVM_GETITEMCOUNT, 0, 0));
    return 1;
}

int Win_ListFocusRow(HWND window, int id, int row) {
    LVITEMA item = {};
    item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    item.state = LVIS_FOCUSED | LVIS_SELECTED;
    return Win_SendItemMessage(window, id, LVM_SETITEMSTATE, WPARAM(row), LPARAM(&item)) ? 1 : 0;
}

int Win_ListFocusedRow(HWND window, int id, int* row) {
    if (!row) Core_NullPointer(kModule, __LINE__);
    int count = 0;
    Win_ListRowCount(window, id, &count);
    for (int i = 0; i < count; ++i) {
        if (Win_SendItemMessage(window, id, LVM_GETITEMSTATE, WPARAM(i), LVIS_FOCUSED) & LVIS_FOCUSED) {
            *row = i;
            return 1;
        }
    }
    *row = 0;
    return 0;
}

int Win_ListFullRowSelect(HWND window, int id, int flag) {
    Win_SendItemMessage(window, id, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                        flag == 1 ? LVS_EX_FULLROWSELECT : 0);
    return 1;
}

// ------------------------------------------------------------------ menus

int Win_EnableMenuItem(HMENU menu, int command, int flag) {
    if (flag == 1) return EnableMenuItem(menu, UINT(command), MF_BYCOMMAND | MF_ENABLED) != -1;
    if (flag == 0) return EnableMenuItem(menu, UINT(command), MF_BYCOMMAND | MF_DISABLED | MF_GRAYED) != -1;
    return 1;
}

int Win_InsertMenuText(HMENU menu, int position, int command, const char* text) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    MENUITEMINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_TYPE;
    info.fType = MFT_STRING;
    info.fState = MFS_ENABLED;
    info.wID = UINT(command);
    info.dwTypeData = const_cast<char*>(text);
    info.cch = Str_Length(text);
    if (position == -1) return InsertMenuItemA(menu, UINT(command), FALSE, &info) ? 1 : 0;
    return InsertMenuItemA(menu, UINT(position), TRUE, &info) ? 1 : 0;
}

int Win_AppendMenuText(HMENU menu, int command, const char* text) {
    return Win_InsertMenuText(menu, -1, command, text);
}

std::wstring Win_Wide(const char* text) {
    std::vector<wchar_t> wide(Str_Length(text) + 1);
    if (!Core_ToWide(text, wide.data(), int(wide.size()))) return std::wstring();
    return wide.data();
}

std::string Win_Utf8(const wchar_t* wide) {
    // A UTF-16 unit makes at most three bytes of UTF-8.
    std::vector<char> text(wcslen(wide) * 3 + 1);
    const char* problem = nullptr;
    if (!Core_FromWide(CP_UTF8, wide, text.data(), int(text.size()), &problem)) return std::string();
    return text.data();
}

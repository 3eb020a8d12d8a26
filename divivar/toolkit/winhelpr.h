// Window and dialog helpers: the program's thin layer over dialog controls,
// combo boxes, report-style list views, menus, resources, window placement,
// the shell's folder and save dialogs and the message pump. Every helper
// returns 1 for success and 0 for failure and reports problems in the debug
// log, never to the user. Win32 only.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <string>

// ------------------------------------------------------------ dialog items

// Sends message to control id of window; returns the control's answer.
LRESULT Win_SendItemMessage(HWND window, int id, UINT message, WPARAM wParam, LPARAM lParam);

// Sets the text, limits the control to limit characters and selects it all.
int Win_SetItemText(HWND window, int id, const char* text, int limit);
// Reads at most size - 1 characters into buffer.
int Win_GetItemText(HWND window, int id, char* buffer, int size);
// Sets the signed number, then limits and selects as Win_SetItemText.
int Win_SetItemInt(HWND window, int id, int value, int limit);
// The text as a signed number; text that is not a number gives 0.
int Win_GetItemInt(HWND window, int id, int* value);
// Check state 1 (checked), 2 (indeterminate), 0 for any other value.
int Win_SetCheck(HWND window, int id, int state);
int Win_GetCheck(HWND window, int id, int* state);
// Enables (flag 1) or disables; shows (flag 1) or hides.
int Win_EnableItem(HWND window, int id, int flag);
int Win_ShowItem(HWND window, int id, int flag);

// ------------------------------------------------------------ combo boxes

// Removes every entry; 0 when the control reports an error.
int Win_ComboReset(HWND window, int id);
// Appends text; *index is the new entry (0 and failure on error).
int Win_ComboAddString(HWND window, int id, const char* text, int* index);
// The 64-bit value kept with entry index.
int Win_ComboSetData(HWND window, int id, int index, int64_t value);
// Fails (with *value 0) when the control answers its error value.
int Win_ComboGetData(HWND window, int id, int index, int64_t* value);
// Selects entry index; -1 clears the selection.
int Win_ComboSelect(HWND window, int id, int index);
// Fails with *index 0 when nothing is selected.
int Win_ComboGetSelection(HWND window, int id, int* index);
// Fails, *value untouched, when nothing is selected.
int Win_ComboGetSelectedData(HWND window, int id, int64_t* value);
// Selects the first entry whose value equals value, walking from entry 0
// while values can be read; an entry holding -1 ends the walk. 0 when none.
int Win_ComboSelectByData(HWND window, int id, int64_t value);

// ------------------------------------------------ list views (report style)

enum {
    WIN_COLUMN_LEFT = 0,
    WIN_COLUMN_RIGHT = 1,
    WIN_COLUMN_CENTRE = 2,
    WIN_COLUMN_IMAGE = 0x10,
    WIN_COLUMN_IMAGE_RIGHT = 0x20
};

// Deletes every row.
int Win_ListDeleteAll(HWND window, int id);
// The number of columns the control has.
int Win_ListColumnCount(HWND window, int id, int* count);
// Width in average character widths of the control's font, but never
// narrower than the title (0 keeps the column hidden); flags as above.
int Win_ListInsertColumn(HWND window, int id, int index, int widthChars, const char* title, int flags);
// Multiplies every column's width by numerator / denominator (a move to a
// screen of another DPI). 1, or 0 without the list or with a ratio not
// above 0.
int Win_ListScaleColumns(HWND window, int id, int numerator, int denominator);
// Inserts an empty row at index.
int Win_ListInsertRow(HWND window, int id, int index);
// Appends an empty row; *index is its position (0 and failure on error).
int Win_ListAppendRow(HWND window, int id, int* index);
int Win_ListDeleteRow(HWND window, int id, int row);
// One cell; reading keeps at most size - 1 characters and terminates.
int Win_ListSetText(HWND window, int id, int row, int column, const char* text);
int Win_ListGetText(HWND window, int id, int row, int column, char* buffer, int size);
// A number kept with a row and never shown (0 until set). 1, or 0 for a
// row the list does not have (*value 0).
int Win_ListSetRowData(HWND window, int id, int row, intptr_t value);
int Win_ListGetRowData(HWND window, int id, int row, intptr_t* value);
int Win_ListRowCount(HWND window, int id, int* count);
// Gives row the focused and the selected state.
int Win_ListFocusRow(HWND window, int id, int row);
// The first row in the focused state (not merely selected); fails with
// *row 0 when no row holds the focus.
int Win_ListFocusedRow(HWND window, int id, int* row);
// Full-row selection on (flag 1) or off.
int Win_ListFullRowSelect(HWND window, int id, int flag);

// The dots per inch of the screen window is on (96 is 100 %); the system's
// DPI where Windows cannot tell it per window.
int Win_WindowDpi(HWND window);

// ------------------------------------------------------------------ menus

// flag 1 enables, 0 disables and greys, other values leave the item alone.
int Win_EnableMenuItem(HMENU menu, int command, int flag);
// Inserts an enabled text item before position; -1 inserts it before the
// item with that command id (in a fresh popup: at the end).
int Win_InsertMenuText(HMENU menu, int position, int command, const char* text);
int Win_AppendMenuText(HMENU menu, int command, const char* text);

// ------------------------------------------------ windows and resources

// A tracked copy of raw-data resource id in *data (*size bytes); the caller
// releases it with Mem_Free(*data, *size, MEM_HEAP, ...).
int Win_LoadResourceData(HINSTANCE instance, int id, unsigned char** data, int* size);
// String id of the string table as single-byte text; an over-long string
// is cut to size - 1 characters (logged). A null buffer is a fatal stop.
int Win_LoadString(HINSTANCE instance, int id, char* buffer, int size);
// The window's screen rectangle; null out-arguments are fatal stops.
int Win_GetWindowRect(HWND window, int* left, int* top, int* width, int* height);
// Moves a window, kept on the virtual screen; width or height 0 or less
// keeps its size. The stacking order is not changed.
int Win_PlaceWindow(HWND window, int x, int y, int width, int height);
// Centres window on parent, or on the desktop when parent is null.
int Win_CenterWindow(HWND window, HWND parent);
// The shell's folder dialog. folder (STR_TEXT_SIZE bytes) is the root to show and
// receives the chosen folder with a trailing backslash; the dialog starts
// at initial. 0 when cancelled.
int Win_BrowseFolder(HWND owner, const char* title, char* folder, const char* initial);

enum {
    WIN_SAVE_ALL_FILES = 1,    // adds "All Files (*.*)"
    WIN_SAVE_MULTIPLE = 2,     // allows several files
    WIN_SAVE_NO_OVERWRITE_PROMPT = 4
};
// The system's save dialog with count filter entries given as description,
// pattern pairs after count; the default extension comes from the first
// pattern. name starts the name field and receives the chosen name; folder
// receives its folder with a trailing backslash. 0 when cancelled.
int Win_SaveFileDialog(HWND owner, const char* title, char* folder, int folderSize, char* name, int nameSize,
                       int flags, int count, ...);

// Lets the calling thread's queued messages run; a queued close or quit
// message is left in the queue and ends the pump. Cannot fail (1).
int Win_PumpMessages(void);

// UTF-8 text as UTF-16 for the wide calls, and back; empty when it is
// not text.
std::wstring Win_Wide(const char* text);
std::string Win_Utf8(const wchar_t* wide);

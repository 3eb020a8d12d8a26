// TabControlStruct: binds a system tab control on a dialog to page windows.
// One tab per page; every page is fitted into the display area; picking a
// tab sends the old page the hide message and the new one the show message
// (both chosen by the owner) with the page's index and user value. Win32 only.
#pragma once

#include <windows.h>
#include <stdint.h>

struct PoolStruct;
struct TabPageRecord;

struct TabControlStruct {
    const char* tag;
    HINSTANCE instance;
    HWND parent;
    int hasMenu;
    int showMessage;
    int hideMessage;
    int active;
    PoolStruct* pages;
    TabPageRecord* first;
    int count;
    int controlId;
    HWND control;
};

// A new, unattached object with its page pool. Returns 1.
int TabControl_Create(TabControlStruct** tabs);
// Clears the pages, frees everything and nulls *tabs. Returns 1.
int TabControl_Destroy(TabControlStruct** tabs);

// Binds control id of parent; 0 when parent has no such control.
int TabControl_Attach(TabControlStruct* tabs, HINSTANCE instance, HWND parent, int controlId);
int TabControl_SetMessages(TabControlStruct* tabs, int showMessage, int hideMessage);
// Adds a tab titled title at position index for page (which should be a
// child of the tab control; otherwise logged and added anyway). Returns 1.
int TabControl_AddPage(TabControlStruct* tabs, HWND page, int index, const char* title, int64_t userValue);
int TabControl_FitPages(TabControlStruct* tabs);
// Makes page index the active one; show 1 also sends it the show message.
int TabControl_Select(TabControlStruct* tabs, int index, int show);
// From WM_NOTIFY: follows the control's selection changes. Returns 1.
int TabControl_Notify(TabControlStruct* tabs, HWND window, WPARAM unused, const NMHDR* header);
// Removes every tab and page; 0 when not attached.
int TabControl_Clear(TabControlStruct* tabs);

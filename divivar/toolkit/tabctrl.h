// TabControlStruct: binds a system tab control on a dialog to page windows.
// One tab per page; every page is fitted into the display area; picking a
// tab sends the old page the hide message and the new one the show message
// (both chosen by the owner) with the page's index and user value. Win32 only.
#pragma once

#include <windows.h>
#include <stdint.h>

struct PoolStruct;
struct TabPageRecord;

// A tab control and its pages; belongs to the window that attached it and
// is used on that window's thread.
struct TabControlStruct {
    const char* tag;         // "TabControlStruct:divivar/tabctrl"
    HINSTANCE instance;      // the module of the page templates
    HWND parent;             // the window that holds the control
    int hasMenu;             // 1 when parent has a menu bar, which the page layout leaves room for
    int showMessage;         // sent to a page as it is shown, 0: none
    int hideMessage;         // sent to a page as it is hidden, 0: none
    int active;              // index of the page shown, -1 before the first
    PoolStruct* pages;       // pool of 112-byte page records; owned
    TabPageRecord* first;    // the pages in the order added
    int count;               // pages added
    int controlId;           // the control's identifier in parent
    HWND control;            // the tab control window
};

// A new, unattached object with its page pool. Cannot fail (1).
int TabControl_Create(TabControlStruct** tabs);
// Clears the pages, frees everything and nulls *tabs. Cannot fail (1).
int TabControl_Destroy(TabControlStruct** tabs);

// Binds control id of parent; 0 when parent has no such control.
int TabControl_Attach(TabControlStruct* tabs, HINSTANCE instance, HWND parent, int controlId);
int TabControl_SetMessages(TabControlStruct* tabs, int showMessage, int hideMessage);
// Adds a tab titled title at position index for page (which should be a
// child of the tab control; otherwise logged and added anyway). Cannot fail (1).
int TabControl_AddPage(TabControlStruct* tabs, HWND page, int index, const char* title, int64_t userValue);
int TabControl_FitPages(TabControlStruct* tabs);
// Makes page index the active one; show 1 also sends it the show message.
int TabControl_Select(TabControlStruct* tabs, int index, int show);
// From WM_NOTIFY: follows the control's selection changes. Cannot fail (1).
int TabControl_Notify(TabControlStruct* tabs, HWND window, WPARAM unused, const NMHDR* header);
// Removes every tab and page; 0 when not attached.
int TabControl_Clear(TabControlStruct* tabs);

// Tab control over the system's tab control. Page records come from a
// member pool and are handed back all at once when the tabs are cleared.
#include "tabctrl.h"

#include <commctrl.h>

#include "orv-core.h"
#include "orv-str.h"
#include "pool.h"

namespace {

const char kModule[] = "divivar/toolkit/tabctrl";
const char kTag[] = "TabControlStruct:divivar/toolkit/tabctrl";

}  // namespace

struct TabPageRecord {
    HWND page;           // the page window, destroyed by its creator
    int index;           // the tab's position
    char title[80];      // the tab's text, at most 79 characters
    int64_t userValue;   // the caller's value for the page
    TabPageRecord* next; // next page record, or null
};
static_assert(sizeof(TabPageRecord) == 112, "page records are pool members of 112 bytes");

namespace {

void Check(TabControlStruct* tabs, int line) {
    if (!tabs) Core_NullPointer(kModule, line);
    Class_Check(tabs, kTag, kModule, line);
}

TabPageRecord* FindPage(TabControlStruct* tabs, int index) {
    for (TabPageRecord* record = tabs->first; record; record = record->next)
        if (record->index == index) return record;
    return nullptr;
}

void FitPage(TabControlStruct* tabs, HWND page) {
    RECT area;
    GetClientRect(tabs->control, &area);
    SendMessageA(tabs->control, TCM_ADJUSTRECT, FALSE, LPARAM(&area));
    MapWindowPoints(tabs->control, GetParent(page), reinterpret_cast<POINT*>(&area), 2);
    SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top, 0);
}

}  // namespace

int TabControl_Create(TabControlStruct** tabs) {
    if (!tabs) Core_NullPointer(kModule, __LINE__);
    TabControlStruct* t =
        static_cast<TabControlStruct*>(Mem_Alloc(int(sizeof(TabControlStruct)), MEM_HEAP, kModule, __LINE__));
    t->tag = kTag;
    t->active = -1;
    Pool_Create(&t->pages, kModule, __LINE__);
    Pool_SetMemberSize(t->pages, int(sizeof(TabPageRecord)));
    Pool_SetChunkSize(t->pages, 10);
    *tabs = t;
    return 1;
}

int TabControl_Destroy(TabControlStruct** tabs) {
    if (!tabs) Core_NullPointer(kModule, __LINE__);
    TabControlStruct* t = *tabs;
    Check(t, __LINE__);
    *tabs = nullptr;
    TabControl_Clear(t);
    Pool_Destroy(&t->pages);
    t->tag = nullptr;
    Mem_Free(t, int(sizeof(TabControlStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int TabControl_Attach(TabControlStruct* tabs, HINSTANCE instance, HWND parent, int controlId) {
    Check(tabs, __LINE__);
    tabs->instance = instance;
    tabs->parent = parent;
    tabs->controlId = controlId;
    tabs->control = GetDlgItem(parent, controlId);
    tabs->hasMenu = GetMenu(parent) != nullptr;
    if (!tabs->control) return 0;
    TabControl_Clear(tabs);
    return 1;
}

int TabControl_SetMessages(TabControlStruct* tabs, int showMessage, int hideMessage) {
    Check(tabs, __LINE__);
    tabs->showMessage = showMessage;
    tabs->hideMessage = hideMessage;
    return 1;
}

int TabControl_AddPage(TabControlStruct* tabs, HWND page, int index, const char* title, int64_t userValue) {
    Check(tabs, __LINE__);
    if (!title) Core_NullPointer(kModule, __LINE__);
    if (GetParent(page) != tabs->control)
        Log_Print(0, "Tab [%s] does not have the same parent as the control [%.8X != %.8X]\n", title,
                  unsigned(uintptr_t(GetParent(page))), unsigned(uintptr_t(tabs->control)));
    TabPageRecord* record =
        static_cast<TabPageRecord*>(Pool_Alloc(tabs->pages, int(sizeof(TabPageRecord)), kModule, __LINE__));
    ZeroMemory(record, sizeof(*record));
    Str_CopyN(record->title, title, sizeof(record->title));
    record->index = index;
    record->userValue = userValue;
    TCITEMA item = {};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = record->title;
    item.lParam = LPARAM(record);
    SendMessageA(tabs->control, TCM_INSERTITEMA, WPARAM(index), LPARAM(&item));
    record->page = page;
    FitPage(tabs, page);
    record->next = tabs->first;
    tabs->first = record;
    tabs->count += 1;
    return 1;
}

int TabControl_FitPages(TabControlStruct* tabs) {
    Check(tabs, __LINE__);
    for (TabPageRecord* record = tabs->first; record; record = record->next) FitPage(tabs, record->page);
    return 1;
}

int TabControl_Select(TabControlStruct* tabs, int index, int show) {
    Check(tabs, __LINE__);
    if (index == tabs->active) return 1;
    if (tabs->active >= 0) {
        if (TabPageRecord* old = FindPage(tabs, tabs->active))
            SendMessageA(old->page, UINT(tabs->hideMessage), WPARAM(old->index), LPARAM(old->userValue));
    }
    Log_Print(0, "Active = (%d -> %d)\n", tabs->active, index);
    tabs->active = index;
    if (show == 1) {
        if (TabPageRecord* now = FindPage(tabs, index))
            SendMessageA(now->page, UINT(tabs->showMessage), WPARAM(now->index), LPARAM(now->userValue));
        SendMessageA(tabs->control, TCM_SETCURFOCUS, WPARAM(index), 0);
    }
    InvalidateRect(tabs->control, nullptr, FALSE);
    UpdateWindow(tabs->control);
    return 1;
}

int TabControl_Notify(TabControlStruct* tabs, HWND, WPARAM, const NMHDR* header) {
    Check(tabs, __LINE__);
    if (header && int(header->idFrom) == tabs->controlId && header->code == UINT(TCN_SELCHANGE))
        TabControl_Select(tabs, int(SendMessageA(tabs->control, TCM_GETCURFOCUS, 0, 0)), 1);
    return 1;
}

int TabControl_Clear(TabControlStruct* tabs) {
    Check(tabs, __LINE__);
    if (!tabs->control) return 0;
    SendMessageA(tabs->control, TCM_DELETEALLITEMS, 0, 0);
    Pool_Reset(tabs->pages);
    tabs->active = -1;
    tabs->first = nullptr;
    tabs->count = 0;
    return 1;
}

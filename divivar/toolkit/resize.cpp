// The layout resizer's registry, layout pass and hooks, and the rich-edit
// library loader. Positions always come from the registration values and
// the total change since then, so rounding never accumulates.
#include "resize.h"

#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/toolkit/resize";

// One registered window and how its edges follow its parent's size. Items
// belong to the registry and are guarded by its lock.
struct ResizeItem {
    char name[80];          // for log lines
    HWND window;
    int width;              // pixels across when registered
    int height;             // pixels down when registered
    int x;                  // left edge in the parent's client area when registered
    int y;                  // top edge in the parent's client area when registered
    double left;            // share of the parent's growth across that moves the left edge, 0 to 1
    double right;           // share that moves the right edge
    double top;             // share of the parent's growth down that moves the top edge
    double bottom;          // share that moves the bottom edge
    ResizeItem* children;   // items registered with this window as parent
    ResizeItem* next;       // next sibling
};

ResizeItem* g_items = nullptr;
HANDLE g_lock = nullptr;
HMODULE g_richEdit = nullptr;

ResizeItem* Find(ResizeItem* list, HWND window) {
    for (ResizeItem* item = list; item; item = item->next) {
        if (item->window == window) return item;
        if (ResizeItem* found = Find(item->children, window)) return found;
    }
    return nullptr;
}

void FreeList(ResizeItem* list) {
    while (list) {
        ResizeItem* next = list->next;
        FreeList(list->children);
        Mem_Free(list, int(sizeof(ResizeItem)), MEM_HEAP, kModule, __LINE__);
        list = next;
    }
}

void Append(ResizeItem** list, ResizeItem* item) {
    while (*list) list = &(*list)->next;
    *list = item;
}

// Where the window stands in its parent's client area (top-level windows:
// on the screen), taking the parent's left, right and bottom borders as
// equal.
void RegisteredPlace(HWND window, ResizeItem* item) {
    RECT outer;
    GetWindowRect(window, &outer);
    item->width = outer.right - outer.left;
    item->height = outer.bottom - outer.top;
    item->x = outer.left;
    item->y = outer.top;
    if (!(GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD)) return;
    HWND parent = GetParent(window);
    RECT parentOuter, parentClient;
    GetWindowRect(parent, &parentOuter);
    item->x -= parentOuter.left;
    item->y -= parentOuter.top;
    if (GetWindowLongPtrA(parent, GWL_STYLE) & WS_CHILD) return;
    GetClientRect(parent, &parentClient);
    int outerWidth = parentOuter.right - parentOuter.left, outerHeight = parentOuter.bottom - parentOuter.top;
    int border = (outerWidth - parentClient.right) / 2;
    item->x -= border;
    item->y -= outerHeight - parentClient.bottom - border;
}

// Group boxes without a tab stop let their neighbours paint through.
void MakeGroupTransparent(HWND window) {
    char className[32];
    if (!GetClassNameA(window, className, sizeof(className)) || !Str_EqualNoCase(className, "Button")) return;
    LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    if ((style & 0xF) != BS_GROUPBOX || (style & WS_TABSTOP)) return;
    SetWindowLongPtrA(window, GWL_EXSTYLE, GetWindowLongPtrA(window, GWL_EXSTYLE) | WS_EX_TRANSPARENT);
}

int Count(const ResizeItem* list) {
    int n = 0;
    for (; list; list = list->next) ++n;
    return n;
}

int Layout(HWND parent, ResizeItem* list, double dx, double dy) {
    HDWP batch = BeginDeferWindowPos(Count(list));
    if (!batch) return 0;
    for (ResizeItem* item = list; item; item = item->next) {
        int left = item->x + int(dx * item->left);
        int top = item->y + int(dy * item->top);
        int right = item->x + item->width + int(dx * item->right);
        int bottom = item->y + item->height + int(dy * item->bottom);
        batch = DeferWindowPos(batch, item->window, nullptr, left, top, right - left, bottom - top, SWP_NOZORDER);
        if (!batch) {
            DWORD error = GetLastError();
            Log_Print(0, "Failed to defer Child [%s]: %.8X -> %.8X (%f %f) (%d %.8X)\n", item->name,
                      unsigned(uintptr_t(parent)), unsigned(uintptr_t(item->window)), dx, dy, int(error),
                      unsigned(error));
            return 0;
        }
        if (item->children)
            Layout(item->window, item->children, (right - left) - item->width, (bottom - top) - item->height);
    }
    EndDeferWindowPos(batch);
    return 1;
}

}  // namespace

int Resize_Init(void) {
    g_items = nullptr;
    g_lock = CreateMutexA(nullptr, FALSE, nullptr);
    return g_lock != nullptr;
}

int Resize_Shutdown(void) {
    Resize_Lock();
    FreeList(g_items);
    g_items = nullptr;
    Resize_Unlock();
    if (g_lock) CloseHandle(g_lock);
    g_lock = nullptr;
    return 1;
}

int Resize_Lock(void) {
    return g_lock && WaitForSingleObject(g_lock, INFINITE) == WAIT_OBJECT_0;
}

int Resize_Unlock(void) {
    return g_lock && ReleaseMutex(g_lock);
}

int Resize_Add(HWND parent, HWND window, double left, double right, double top, double bottom, const char* name) {
    if (!name) Core_NullPointer(kModule, __LINE__);
    Resize_Lock();
    ResizeItem* parentItem = parent ? Find(g_items, parent) : nullptr;
    if (parent && !parentItem) {
        Log_Print(0, "Resize parent doesn't exist (0x%.8X)\n", unsigned(uintptr_t(parent)));
        Resize_Unlock();
        return 0;
    }
    if (ResizeItem* existing = Find(g_items, window)) {
        Log_Print(0, "Resize already exist (0x%.8X) [%s]\n", unsigned(uintptr_t(window)), existing->name);
        Resize_Unlock();
        return 0;
    }
    ResizeItem* item = static_cast<ResizeItem*>(Mem_Alloc(int(sizeof(ResizeItem)), MEM_HEAP, kModule, __LINE__));
    item->window = window;
    RegisteredPlace(window, item);
    item->left = left;
    item->right = right;
    item->top = top;
    item->bottom = bottom;
    Str_CopyN(item->name, name, sizeof(item->name));
    MakeGroupTransparent(window);
    if (parentItem) {
        if (!parentItem->children)
            SetWindowLongPtrA(parent, GWL_STYLE, GetWindowLongPtrA(parent, GWL_STYLE) | WS_CLIPCHILDREN);
        Append(&parentItem->children, item);
    } else {
        Append(&g_items, item);
    }
    Resize_Unlock();
    return 1;
}

int Resize_OnSize(HWND window) {
    Resize_Lock();
    ResizeItem* item = Find(g_items, window);
    if (item) {
        RECT outer;
        GetWindowRect(window, &outer);
        double dx = (outer.right - outer.left) - item->width;
        double dy = (outer.bottom - outer.top) - item->height;
        if (item->children) Layout(window, item->children, dx, dy);
        InvalidateRect(window, nullptr, TRUE);
    }
    Resize_Unlock();
    return 1;
}

int Resize_OnGetMinMaxInfo(HWND window, MINMAXINFO* info) {
    if (!info) return 1;
    Resize_Lock();
    if (ResizeItem* item = Find(g_items, window)) {
        info->ptMinTrackSize.x = item->width;
        info->ptMinTrackSize.y = item->height;
        if (item->left == 0.0 && item->right == 0.0) info->ptMinTrackSize.x = info->ptMaxTrackSize.x = item->width;
        if (item->top == 0.0 && item->bottom == 0.0) info->ptMinTrackSize.y = info->ptMaxTrackSize.y = item->height;
    }
    Resize_Unlock();
    return 1;
}

int Resize_OnPaint(HWND window, int grip) {
    Resize_Lock();
    if (Find(g_items, window) && grip == 1) {
        RECT client;
        GetClientRect(window, &client);
        RECT square = client;
        square.left = client.right - GetSystemMetrics(SM_CXHSCROLL) / 2;
        square.top = client.bottom - GetSystemMetrics(SM_CYVSCROLL) / 2;
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (dc) {
            DrawFrameControl(dc, &square, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
            EndPaint(window, &paint);
        }
    }
    Resize_Unlock();
    return 1;
}

int RichEdit_Load(void) {
    g_richEdit = LoadLibraryA("Riched32.dll");
    if (!g_richEdit) g_richEdit = LoadLibraryA("Riched20.dll");
    if (!g_richEdit) Log_Print(0, "Unable to load richedit libaray\n");
    return 1;
}

int RichEdit_Unload(void) {
    if (g_richEdit) FreeLibrary(g_richEdit);
    g_richEdit = nullptr;
    return 1;
}

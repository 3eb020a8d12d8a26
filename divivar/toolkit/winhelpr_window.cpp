// Window and dialog helpers: resources, strings, window placement, the
// shell's folder dialog, the save dialog and the message pump.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <stdarg.h>

#include "file.h"
#include "orv-core.h"
#include "orv-core_win32.h"
#include "orv-str.h"
#include "winhelpr.h"

namespace {

const char kModule[] = "divivar/toolkit/winhelpr_window";

}  // namespace

int Win_LoadResourceData(HINSTANCE instance, int id, unsigned char** data, int* size) {
    if (!data || !size) Core_NullPointer(kModule, __LINE__);
    *data = nullptr;
    *size = 0;
    char name[32];
    Str_Format(name, sizeof(name), "#%d", id);
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10));
    if (!found) {
        Log_Print(0, "Unable to find Resource [%s]\n", name);
        return 0;
    }
    DWORD bytes = SizeofResource(instance, found);
    if (int(bytes) <= 0) {
        Log_Print(0, "Resource returned zero bytes [%s]\n", name);
        return 0;
    }
    HGLOBAL loaded = LoadResource(instance, found);
    if (!loaded) {
        Log_Print(0, "Unable to load Resource [%s]\n", name);
        return 0;
    }
    const void* locked = LockResource(loaded);
    if (!locked) {
        Log_Print(0, "Unable to lock Resource [%s]\n", name);
        return 0;
    }
    unsigned char* copy = static_cast<unsigned char*>(Mem_Alloc(int(bytes), MEM_HEAP, kModule, __LINE__));
    CopyMemory(copy, locked, bytes);
    *data = copy;
    *size = int(bytes);
    return 1;
}

int Win_LoadString(HINSTANCE instance, int id, char* buffer, int size) {
    if (!buffer) Core_NullPointer(kModule, __LINE__);
    if (size <= 0) return 0;
    buffer[0] = 0;
    const WCHAR* wide = nullptr;
    int length = LoadStringW(instance, UINT(id), reinterpret_cast<WCHAR*>(&wide), 0);
    if (length <= 0 || !wide) {
        Log_Print(0, "Unable to load string resource ID (%d)\n", id);
        return 0;
    }
    int count = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (count <= 0) {
        Log_Print(0, "Unable to get length for string resource ID (%d)\n", id);
        return 0;
    }
    if (count > size - 1) Log_Print(0, "String %d length longer than buffer (%d > %d)\n", id, count, size);
    // Converted whole, then cut: a conversion into a short buffer fails
    // outright instead of stopping at the end of the buffer.
    char* whole = static_cast<char*>(Mem_Alloc(count + 1, MEM_HEAP, kModule, __LINE__));
    int converted = WideCharToMultiByte(CP_ACP, 0, wide, length, whole, count, nullptr, nullptr);
    int result = 1;
    if (converted <= 0) {
        Log_Print(0, "Unable to convert for string resource ID (%d)\n", id);
        result = 0;
    } else {
        whole[converted] = 0;
        Str_CopyN(buffer, whole, size);
    }
    Mem_Free(whole, count + 1, MEM_HEAP, kModule, __LINE__);
    return result;
}

int Win_GetWindowRect(HWND window, int* left, int* top, int* width, int* height) {
    if (!left || !top || !width || !height) Core_NullPointer(kModule, __LINE__);
    RECT r;
    if (!GetWindowRect(window, &r)) return 0;
    *left = r.left;
    *top = r.top;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return 1;
}

int Win_PlaceWindow(HWND window, int x, int y, int width, int height) {
    int vx = GetSystemMetrics(SM_XVIRTUALSCREEN);
    int vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int vw = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int vh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    if (vw <= 0) vw = desktop.right - desktop.left;
    if (vh <= 0) vh = desktop.bottom - desktop.top;
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    // Without a new size the window's own size keeps it on the screen; a
    // size of 0 would place a window stored past the right or bottom border
    // exactly at that border, out of sight.
    int w = width, h = height;
    if (width <= 0 || height <= 0) {
        flags |= SWP_NOSIZE;
        RECT own;
        w = h = 0;
        if (GetWindowRect(window, &own)) {
            w = own.right - own.left;
            h = own.bottom - own.top;
        }
    }
    int right = vx + vw, bottom = vy + vh;
    if (y < vy) y = vy;
    if (y > bottom - h) y = bottom - h;
    if (x < vx) x = vx;
    if (x > right - w) x = right - w;
    if (y < vy) y = vy;
    if (x < vx) x = vx;
    return SetWindowPos(window, nullptr, x, y, w, h, flags) ? 1 : 0;
}

int Win_CenterWindow(HWND window, HWND parent) {
    RECT own, area;
    if (!parent) parent = GetDesktopWindow();
    if (!GetWindowRect(window, &own) || !GetWindowRect(parent, &area)) return 0;
    int w = own.right - own.left, h = own.bottom - own.top;
    int pw = area.right - area.left, ph = area.bottom - area.top;
    return Win_PlaceWindow(window, area.left + (pw - w) / 2, area.top + (ph - h) / 2, 0, 0);
}

// ------------------------------------------------------------ folder dialog

namespace {

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        // The dialog is a top-level window: its owner is the window it
        // belongs to.
        HWND owner = GetParent(dialog);
        if (!owner) owner = GetWindow(dialog, GW_OWNER);
        Win_CenterWindow(dialog, owner);
        SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, data);
    }
    return 0;
}

// The desktop folder's item for a path, or null.
LPITEMIDLIST ParseFolder(const char* path) {
    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) return nullptr;
    WCHAR wide[STR_TEXT_SIZE];
    LPITEMIDLIST item = nullptr;
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, STR_TEXT_SIZE) > 0) {
        ULONG eaten = 0;
        if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, wide, &eaten, &item, nullptr))) item = nullptr;
    }
    desktop->Release();
    return item;
}

}  // namespace

int Win_BrowseFolder(HWND owner, const char* title, char* folder, const char* initial) {
    if (!title || !folder || !initial) Core_NullPointer(kModule, __LINE__);
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) return 0;
    // The new dialog style needs COM on this thread.
    HRESULT com = CoInitialize(nullptr);
    char start[STR_TEXT_SIZE];
    Str_CopyN(start, initial, STR_TEXT_SIZE);
    uint32_t length = Str_Length(start);
    if (length > 0 && start[length - 1] == '\\') start[length - 1] = 0;

    LPITEMIDLIST root = folder[0] ? ParseFolder(folder) : nullptr;
    char display[MAX_PATH];
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = root;
    info.pszDisplayName = display;
    info.lpszTitle = title;
    info.ulFlags = BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = LPARAM(start);
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    int result = 0;
    if (chosen) {
        // The wide call: an ANSI one holds MAX_PATH bytes, too few for a
        // long path in a script of several bytes a letter.
        wchar_t path[MAX_PATH];
        const char* problem = nullptr;
        if (SHGetPathFromIDListW(chosen, path) && Core_FromWide(0, path, folder, STR_TEXT_SIZE - 1, &problem)) {
            Path_Normalize(folder, 1);
            result = 1;
        } else if (problem) {
            Log_Print(0, "Folder not taken: %s\n", problem);
        }
        allocator->Free(chosen);
    }
    if (root) allocator->Free(root);
    allocator->Release();
    if (SUCCEEDED(com)) CoUninitialize();
    return result;
}

// ------------------------------------------------------------ save dialog

namespace {

// Appends text and its terminator to a double-terminated list.
int AddFilterText(char* list, int size, int* used, const char* text) {
    int length = int(Str_Length(text));
    if (*used + length + 2 > size) return 0;
    CopyMemory(list + *used, text, length);
    *used += length;
    list[(*used)++] = 0;
    list[*used] = 0;
    return 1;
}

}  // namespace

int Win_SaveFileDialog(HWND owner, const char* title, char* folder, int folderSize, char* name, int nameSize,
                       int flags, int count, ...) {
    if (!title || !folder || !name) Core_NullPointer(kModule, __LINE__);
    char filters[1024] = {};
    int used = 0;
    char extension[16] = {};
    va_list args;
    va_start(args, count);
    for (int i = 0; i < count; ++i) {
        const char* description = va_arg(args, const char*);
        const char* pattern = va_arg(args, const char*);
        if (!description || !pattern) Core_NullPointer(kModule, __LINE__);
        AddFilterText(filters, sizeof(filters), &used, description);
        AddFilterText(filters, sizeof(filters), &used, pattern);
        const char* dot = nullptr;
        for (const char* p = pattern; *p; ++p)
            if (*p == '.') dot = p;
        if (i == 0 && dot) Str_CopyN(extension, dot + 1, sizeof(extension));
    }
    va_end(args);
    if (flags & WIN_SAVE_ALL_FILES) {
        AddFilterText(filters, sizeof(filters), &used, "All Files (*.*)");
        AddFilterText(filters, sizeof(filters), &used, "*.*");
    }

    char path[STR_TEXT_SIZE];
    Str_CopyN(path, name, int(sizeof path));
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof(path);
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = extension[0] ? extension : nullptr;
    dialog.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_CREATEPROMPT | OFN_NOVALIDATE;
    if (!(flags & WIN_SAVE_NO_OVERWRITE_PROMPT)) dialog.Flags |= OFN_OVERWRITEPROMPT;
    if (flags & WIN_SAVE_MULTIPLE) dialog.Flags |= OFN_ALLOWMULTISELECT;
    if (!GetSaveFileNameA(&dialog)) return 0;

    char unused[STR_TEXT_SIZE];
    Path_Split(path, folder, folderSize, unused, sizeof(unused), unused, sizeof(unused));
    Path_GetName(path, name, nameSize, 0);
    Path_Normalize(folder, 1);
    return 1;
}

int Win_PumpMessages(void) {
    return Core_PumpMessages();
}

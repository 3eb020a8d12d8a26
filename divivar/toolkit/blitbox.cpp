// BlitBox control: a 24-bit top-down DIB section as back buffer, guarded by
// a lock so that drawing and painting never meet half-way.
#include "blitbox.h"

#include <math.h>
#include <string.h>

#include "bitmap.h"
#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/toolkit/blitbox";
const char kTag[] = "BlitBoxStruct:divivar/toolkit/blitbox";
const char kClassName[] = "BlitBox";

typedef void (*BlitBoxPaintHook)(void* data, HWND window, HDC memory);

// One BlitBox control's state, kept in its window bytes and owned by the
// control; the back buffer is guarded by lock, the rest belongs to the
// window thread.
struct BlitBoxStruct {
    const char* tag;                  // kTag
    char name[80];                    // "Unknown 0x%.8X" with the handle; names the control in log lines
    CoreLock* lock;                   // guards the back buffer; owned
    int locked;                       // 1 between BlitBox_Lock and BlitBox_Unlock
    int edge;                         // 1: an etched edge is drawn before each paint; nothing sets it
    int spare;                        // 0, unused
    int tracking;                     // 1 while a mouse-leave notification is asked for
    int width;                        // back buffer pixels across (the client area)
    int height;                       // back buffer pixels down
    int scanline;                     // bytes per back buffer row, a multiple of 4
    unsigned char* bits;              // back buffer pixels: blue, green, red, rows top-down; the DIB's
    void* paintData;                  // passed to paintHook
    BlitBoxPaintHook paintHook;       // called at the start of each paint, or null; nothing sets it
    void* scrollData;                 // passed to scrollHook
    BlitBoxScrollHook scrollHook;     // receives the scroll messages, or null
    HWND window;                      // the control itself
    HWND parent;                      // the parent given at creation
    HDC memory;                       // memory device context holding the back buffer; owned
    HBITMAP buffer;                   // the back buffer's DIB section; owned
    HGDIOBJ previous;                 // what memory held before buffer was selected
};

BlitBoxStruct* Get(HWND window) {
    BlitBoxStruct* box = reinterpret_cast<BlitBoxStruct*>(GetWindowLongPtrA(window, 0));
    if (box) Class_Check(box, kTag, kModule, __LINE__);
    return box;
}

void FreeBuffer(BlitBoxStruct* box) {
    if (!box->buffer) return;
    SelectObject(box->memory, box->previous);
    DeleteObject(box->buffer);
    DeleteDC(box->memory);
    box->buffer = nullptr;
    box->memory = nullptr;
    box->previous = nullptr;
    box->bits = nullptr;
}

void SizeBuffer(BlitBoxStruct* box, int width, int height) {
    if (width == box->width && height == box->height) return;
    box->width = width;
    box->height = height;
    box->scanline = ((width * 24 + 31) >> 3) & ~3;
    FreeBuffer(box);
    if (width <= 0 || height <= 0) return;
    HDC screen = GetDC(nullptr);
    box->memory = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    box->buffer = CreateDIBSection(box->memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!box->buffer) {
        DWORD error = GetLastError();
        Log_Print(0, "Unable to create back buffer %dx%d [%s] [%d / %.8X]\n", width, height, box->name, int(error),
                  unsigned(error));
        DeleteDC(box->memory);
        box->memory = nullptr;
        return;
    }
    box->bits = static_cast<unsigned char*>(bits);
    box->previous = SelectObject(box->memory, box->buffer);
}

void SizeToClient(BlitBoxStruct* box) {
    RECT client;
    GetClientRect(box->window, &client);
    SizeBuffer(box, client.right - client.left, client.bottom - client.top);
}

int CanDraw(BlitBoxStruct* box, const char* complaint) {
    if (box->locked) return 1;
    Log_Print(0, complaint, box->name);
    return 0;
}

// ------------------------------------------------------------ messages

void BlitBox_OnCreate(HWND window, const CREATESTRUCTA* create) {
    BlitBoxStruct* box =
        static_cast<BlitBoxStruct*>(Mem_Alloc(int(sizeof(BlitBoxStruct)), MEM_HEAP, kModule, __LINE__));
    box->tag = kTag;
    SetWindowLongPtrA(window, 0, LONG_PTR(box));
    Str_Format(box->name, sizeof(box->name), "Unknown 0x%.8X", unsigned(uintptr_t(window)));
    Mutex_Create(&box->lock);
    box->window = window;
    box->parent = create->hwndParent;
    SizeToClient(box);
}

void BlitBox_OnDestroy(HWND window, BlitBoxStruct* box) {
    if (!Mutex_Lock(box->lock, -1, kModule, __LINE__)) return;
    SizeBuffer(box, 0, 0);
    Mutex_Unlock(box->lock, kModule, __LINE__);
    Mutex_Close(&box->lock);
    box->tag = nullptr;
    Mem_Free(box, int(sizeof(BlitBoxStruct)), MEM_HEAP, kModule, __LINE__);
    SetWindowLongPtrA(window, 0, 0);
}

void BlitBox_OnSize(BlitBoxStruct* box) {
    if (!Mutex_Lock(box->lock, -1, kModule, __LINE__)) return;
    SizeToClient(box);
    Mutex_Unlock(box->lock, kModule, __LINE__);
}

// Returns 1 when the paint was done here, 0 for default processing.
int BlitBox_OnPaint(HWND window, BlitBoxStruct* box) {
    if (!GetUpdateRect(window, nullptr, FALSE)) return 0;
    if (!Mutex_Lock(box->lock, 1000, kModule, __LINE__)) {
        Log_Print(0, "Lock expire [%s]\n", box->name);
        return 0;
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (!dc) {
        DWORD error = GetLastError();
        Log_Print(0, "BeginPaint failed [%s] [%d / %.8X]\n", box->name, int(error), unsigned(error));
        Mutex_Unlock(box->lock, kModule, __LINE__);
        return 0;
    }
    if (box->paintHook) box->paintHook(box->paintData, window, box->memory);
    if (box->edge && box->memory) {
        RECT all = {0, 0, box->width, box->height};
        DrawEdge(box->memory, &all, EDGE_ETCHED, BF_RECT);
    }
    RECT r = paint.rcPaint;
    // In a window laid out right to left the picture keeps its own
    // orientation; it is drawn whole, the paint region clipping it.
    if (GetLayout(dc) & LAYOUT_RTL) {
        SetLayout(dc, LAYOUT_RTL | LAYOUT_BITMAPORIENTATIONPRESERVED);
        r = RECT{0, 0, box->width, box->height};
    }
    if (box->memory &&
        !BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, box->memory, r.left, r.top, SRCCOPY)) {
        DWORD error = GetLastError();
        if (error != ERROR_INVALID_HANDLE)
            Log_Print(0, "BitBlt failed on [%s] [%d / %.8X]\n", box->name, int(error), unsigned(error));
    }
    EndPaint(window, &paint);
    GdiFlush();
    Mutex_Unlock(box->lock, kModule, __LINE__);
    return 1;
}

void BlitBox_OnScroll(HWND window, BlitBoxStruct* box, int bar, WPARAM wParam) {
    if (box->scrollHook) box->scrollHook(box->scrollData, window, bar, LOWORD(wParam), HIWORD(wParam));
}

void BlitBox_OnMouseMove(HWND window, BlitBoxStruct* box) {
    if (box->tracking) return;
    TRACKMOUSEEVENT track = {};
    track.cbSize = sizeof(track);
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = window;
    if (!TrackMouseEvent(&track)) Log_Print(0, "Unable to track mouse event for [%s]\n", box->name);
    box->tracking = 1;
}

LRESULT CALLBACK BlitBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        BlitBox_OnCreate(window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
        return DefWindowProcA(window, message, wParam, lParam);
    }
    BlitBoxStruct* box = Get(window);
    if (!box) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        BlitBox_OnDestroy(window, box);
        break;
    case WM_SIZE:
        BlitBox_OnSize(box);
        break;
    case WM_PAINT:
        if (BlitBox_OnPaint(window, box)) return 0;
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
    case WM_KEYUP:
        SendMessageA(box->parent, message, wParam, lParam);
        break;
    case WM_HSCROLL:
        BlitBox_OnScroll(window, box, 2, wParam);
        break;
    case WM_VSCROLL:
        BlitBox_OnScroll(window, box, 1, wParam);
        break;
    case WM_MOUSEMOVE:
        BlitBox_OnMouseMove(window, box);
        PostMessageA(box->parent, message, wParam, lParam);
        break;
    case WM_LBUTTONDOWN:
        SetFocus(window);
        PostMessageA(box->parent, message, wParam, lParam);
        break;
    case WM_LBUTTONUP:
    case WM_SETCURSOR:
        PostMessageA(box->parent, message, wParam, lParam);
        break;
    case WM_MOUSELEAVE:
        box->tracking = 0;
        PostMessageA(box->parent, message, wParam, lParam);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int BlitBox_Register(HINSTANCE instance) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
    wc.lpfnWndProc = BlitBoxProc;
    wc.cbWndExtra = 8;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExA(&wc)) {
        Log_Print(0, "Unable to register BlitBox class\n");
        return 0;
    }
    return 1;
}

int BlitBox_Unregister(HINSTANCE instance) {
    UnregisterClassA(kClassName, instance);
    return 1;
}

int BlitBox_Lock(HWND window, int timeoutMs) {
    BlitBoxStruct* box = Get(window);
    if (!box) return 0;
    if (!Mutex_Lock(box->lock, timeoutMs, kModule, __LINE__)) return 0;
    box->locked = 1;
    return 1;
}

int BlitBox_Unlock(HWND window) {
    BlitBoxStruct* box = Get(window);
    if (!box) return 0;
    if (!box->locked) {
        Log_Print(0, "Blitbox cannot unlock an unlocked object [%s]\n", box->name);
        return 0;
    }
    box->locked = 0;
    Mutex_Unlock(box->lock, kModule, __LINE__);
    return 1;
}

int BlitBox_Clear(HWND window) {
    BlitBoxStruct* box = Get(window);
    if (!box || !CanDraw(box, "Blitbox cannot draw rect on unlocked object [%s]\n")) return 0;
    if (box->bits) memset(box->bits, 0, size_t(box->scanline) * size_t(box->height));
    return 1;
}

int BlitBox_FillColour(HWND window, int red, int green, int blue) {
    BlitBoxStruct* box = Get(window);
    if (!box || !CanDraw(box, "Blitbox cannot draw rect on unlocked object [%s]\n")) return 0;
    if (!box->bits) return 1;
    for (int y = 0; y < box->height; ++y) {
        unsigned char* p = box->bits + size_t(y) * box->scanline;
        for (int x = 0; x < box->width; ++x, p += 3) {
            p[0] = (unsigned char)blue;
            p[1] = (unsigned char)green;
            p[2] = (unsigned char)red;
        }
    }
    return 1;
}

int BlitBox_DrawBitmap(HWND window, double x, double y, BitmapStruct* bitmap) {
    BlitBoxStruct* box = Get(window);
    if (!box || !CanDraw(box, "Blitbox cannot draw bitmap on unlocked object [%s]\n")) return 0;
    int32_t width = 0, height = 0;
    Bitmap_GetSize(bitmap, &width, &height);
    if (!box->bits) return 1;
    int x0 = int(floor(x)), y0 = int(floor(y));
    for (int i = 0; i < height && y0 + i < box->height; ++i) {
        if (y0 + i < 0 || x0 >= box->width) continue;
        unsigned char* source = nullptr;
        Bitmap_PixelAddress(bitmap, 0, i, &source);
        unsigned char* row = box->bits + size_t(y0 + i) * box->scanline;
        for (int j = 0; j < width && x0 + j < box->width; ++j) {
            if (x0 + j < 0) continue;
            const unsigned char* s = source + size_t(j) * 4;
            unsigned char* d = row + size_t(x0 + j) * 3;
            uint32_t w = uint32_t(s[3]) * 256;
            for (int c = 0; c < 3; ++c) d[c] = (unsigned char)(((s[c] * w) >> 16) + ((d[c] * (65536 - w)) >> 16));
        }
    }
    return 1;
}

int BlitBox_Update(HWND window) {
    BlitBoxStruct* box = Get(window);
    if (!box) return 0;
    if (box->locked) {
        Log_Print(0, "Blitbox must be unlocked before update [%s]\n", box->name);
        return 0;
    }
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    return 1;
}

int BlitBox_SetScrollHook(HWND window, void* data, BlitBoxScrollHook hook) {
    BlitBoxStruct* box = Get(window);
    if (!box || !Mutex_Lock(box->lock, -1, kModule, __LINE__)) return 0;
    box->scrollData = data;
    box->scrollHook = hook;
    Mutex_Unlock(box->lock, kModule, __LINE__);
    return 1;
}

int BlitBox_GetBuffer(HWND window, unsigned char** bits, int* width, int* height, int* scanline) {
    if (!bits || !width || !height || !scanline) Core_NullPointer(kModule, __LINE__);
    BlitBoxStruct* box = Get(window);
    if (!box || !CanDraw(box, "Blitbox cannot draw bitmap on unlocked object [%s]\n")) return 0;
    *bits = box->bits;
    *width = box->width;
    *height = box->height;
    *scanline = box->scanline;
    return 1;
}

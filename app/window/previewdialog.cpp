// Preview windows. Each owns its state record (in its first extra window
// slot) and its temporary copy, which goes when the window goes.
#include "previewdialog.h"

#include <commctrl.h>

#include "bitmap.h"
#include "blitbox.h"
#include "file.h"
#include "message.h"
#include "orv-core.h"
#include "orv-str.h"
#include "resource.h"
#include "winhelpr.h"
#include "wording.h"
#include "language.h"
#include "batch.h"
#include "input.h"
#include "output.h"
#include "copy.h"
#include "plan.h"

namespace {

const char kModule[] = "app/window/previewdialog";
const char kTag[] = "PreviewStruct:app/window/previewdialog";
const char kClassName[] = "ResizePreviewClass";
const int kStatusId = 2000;
const int kBoxId = 2001;
const int kLine = 5;
const int kPage = 50;

// One preview window's state, kept in its window bytes; the window owns it
// and everything it points to.
struct PreviewStruct {
    const char* tag;                // kTag
    BitmapStruct* picture;          // the resized picture as written; owned
    BitmapStruct* view;             // the part of it the BlitBox shows; owned
    char temporary[STR_TEXT_SIZE];  // the temporary copy, erased with the window
    int kind;                       // the copy's kind, COPY_*
    int scrollX;                    // picture pixels scrolled off the left edge, 0 or more
    int scrollY;                    // picture pixels scrolled off the top edge, 0 or more
    HWND status;                    // the status bar with the sizes
    HWND box;                       // the BlitBox that shows view
    HICON smallIcon;                // the caption's icon; destroyed with the window
};

PreviewStruct* Get(HWND window) {
    PreviewStruct* preview = reinterpret_cast<PreviewStruct*>(GetWindowLongPtrA(window, 0));
    if (preview) Class_Check(preview, kTag, kModule, __LINE__);
    return preview;
}

int StatusHeight(PreviewStruct* preview) {
    RECT r;
    GetWindowRect(preview->status, &r);
    return r.bottom - r.top;
}

RECT WorkArea() {
    RECT area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) GetWindowRect(GetDesktopWindow(), &area);
    return area;
}

void Draw(PreviewStruct* preview) {
    if (!BlitBox_Lock(preview->box, 100)) return;
    if (!Bitmap_IsEmpty(preview->picture)) {
        Bitmap_Fill(preview->view, 0, 0, 0, 255);
        Bitmap_Paste(preview->view, 0, 0, preview->picture, preview->scrollX, preview->scrollY);
        BlitBox_DrawBitmap(preview->box, 0.0, 0.0, preview->view);
    }
    BlitBox_Unlock(preview->box);
    BlitBox_Update(preview->box);
}

int Clamp(int value, int pictureSize, int visible) {
    int most = pictureSize - visible > 0 ? pictureSize - visible : 0;
    return value < 0 ? 0 : value > most ? most : value;
}

// One bar over the picture's pixels 0 .. size - 1, a page of visible
// pixels; the system hides the bar when the page covers them all.
void SetBar(HWND box, int bar, int pictureSize, int visible, int* position) {
    *position = Clamp(*position, pictureSize, visible);
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = pictureSize > 0 ? pictureSize - 1 : 0;
    info.nPage = UINT(visible > 0 ? visible : 0);
    info.nPos = *position;
    SetScrollInfo(box, bar, &info, TRUE);
}

// The scroll hook of the BlitBox: lines of 5, pages of 50, the thumb when
// it is let go.
void Preview_OnScroll(void* data, HWND box, int bar, int code, int position) {
    PreviewStruct* preview = Get(HWND(data));
    if (!preview) return;
    int horizontal = bar == 2;
    int* current = horizontal ? &preview->scrollX : &preview->scrollY;
    int next = *current;
    switch (code) {
    case SB_LINEUP:
        next -= kLine;
        break;
    case SB_LINEDOWN:
        next += kLine;
        break;
    case SB_PAGEUP:
        next -= kPage;
        break;
    case SB_PAGEDOWN:
        next += kPage;
        break;
    case SB_THUMBPOSITION:
        next = position;
        break;
    default:
        break;
    }
    int32_t width = 0, height = 0;
    Bitmap_GetSize(preview->picture, &width, &height);
    RECT client;
    GetClientRect(box, &client);
    next = horizontal ? Clamp(next, width, client.right) : Clamp(next, height, client.bottom);
    if (next == *current) return;
    *current = next;
    SetScrollPos(box, horizontal ? SB_HORZ : SB_VERT, next, TRUE);
    Draw(preview);
}

// ------------------------------------------------------------ messages

LRESULT Preview_OnCreate(HWND window, const CREATESTRUCTA* create) {
    PreviewStruct* preview =
        static_cast<PreviewStruct*>(Mem_Alloc(int(sizeof(PreviewStruct)), MEM_HEAP, kModule, __LINE__));
    preview->tag = kTag;
    Bitmap_Create(&preview->picture);
    Bitmap_Create(&preview->view);
    SetWindowLongPtrA(window, 0, LONG_PTR(preview));
    preview->status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                      window, HMENU(INT_PTR(kStatusId)), create->hInstance, nullptr);
    RECT client;
    GetClientRect(window, &client);
    int boxHeight = client.bottom - (preview->status ? StatusHeight(preview) : 0);
    preview->box = CreateWindowExA(0, "BlitBox", "", WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL, 0, 0,
                                   client.right, boxHeight, window, HMENU(INT_PTR(kBoxId)), create->hInstance, nullptr);
    if (!preview->status || !preview->box) return -1;
    BlitBox_SetScrollHook(preview->box, window, Preview_OnScroll);
    preview->smallIcon = HICON(LoadImageA(create->hInstance, MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    SendMessageA(window, WM_SETICON, ICON_SMALL, LPARAM(preview->smallIcon));
    return 0;
}

void Preview_OnDestroy(HWND window, PreviewStruct* preview) {
    if (preview->temporary[0]) {
        FileStruct* file = nullptr;
        File_Create(&file);
        File_Erase(file, preview->temporary);
        File_Destroy(&file);
    }
    Bitmap_Destroy(&preview->picture);
    Bitmap_Destroy(&preview->view);
    if (preview->smallIcon) DestroyIcon(preview->smallIcon);
    SetWindowLongPtrA(window, 0, 0);
    preview->tag = nullptr;
    Mem_Free(preview, int(sizeof(PreviewStruct)), MEM_HEAP, kModule, __LINE__);
}

// The scroll bars live inside the BlitBox and narrow what it shows; a page
// measured from the whole window would leave the picture's last columns and
// rows out of reach. So the pages are what remains beside the bars that are
// needed, and a picture that fits shows no bars at all.
void Preview_OnSize(PreviewStruct* preview, int width, int height) {
    SendMessageA(preview->status, WM_SIZE, 0, 0);
    int visible = height - StatusHeight(preview);
    if (visible < 0) visible = 0;
    MoveWindow(preview->box, 0, 0, width, visible, TRUE);
    int32_t pictureWidth = 0, pictureHeight = 0;
    Bitmap_GetSize(preview->picture, &pictureWidth, &pictureHeight);
    int barWidth = GetSystemMetrics(SM_CXVSCROLL), barHeight = GetSystemMetrics(SM_CYHSCROLL);
    int horizontal = 0, vertical = 0;
    for (int pass = 0; pass < 2; ++pass) {
        horizontal = pictureWidth > width - (vertical ? barWidth : 0);
        vertical = pictureHeight > visible - (horizontal ? barHeight : 0);
    }
    SetBar(preview->box, SB_HORZ, pictureWidth, width - (vertical ? barWidth : 0), &preview->scrollX);
    SetBar(preview->box, SB_VERT, pictureHeight, visible - (horizontal ? barHeight : 0), &preview->scrollY);
    Draw(preview);
}

void Preview_OnMinMaxInfo(MINMAXINFO* info) {
    RECT area = WorkArea();
    info->ptMaxSize.x = info->ptMaxTrackSize.x = area.right - area.left;
    info->ptMaxSize.y = info->ptMaxTrackSize.y = area.bottom - area.top;
    info->ptMaxPosition.x = area.left;
    info->ptMaxPosition.y = area.top;
    info->ptMinTrackSize.x = GetSystemMetrics(SM_CXMINTRACK);
    info->ptMinTrackSize.y = GetSystemMetrics(SM_CYMINTRACK);
}

void Preview_OnContextMenu(HWND window, LPARAM at) {
    HINSTANCE instance = HINSTANCE(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    char save[STR_LABEL_SIZE], copy[STR_LABEL_SIZE];
    Wording_String(instance, IDS_PREVIEW_SAVE, save, int(sizeof save));
    Wording_String(instance, IDS_PREVIEW_COPY, copy, int(sizeof copy));
    POINT point = {short(LOWORD(at)), short(HIWORD(at))};
    if (at == -1) GetCursorPos(&point);
    HMENU menu = CreatePopupMenu();
    Win_AppendMenuText(menu, PREVIEW_SAVE, save);
    Win_AppendMenuText(menu, PREVIEW_COPY, copy);
    TrackPopupMenu(menu, TPM_LEFTBUTTON, point.x, point.y, 0, window, nullptr);
    DestroyMenu(menu);
}

// The save dialog offers the copy's own kind, as its temporary file is.
void Preview_OnSave(HWND window, PreviewStruct* preview) {
    HINSTANCE instance = HINSTANCE(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    char title[STR_LABEL_SIZE], filter[STR_LABEL_SIZE], pattern[16], folder[STR_TEXT_SIZE] = "", name[CONFIG_NAME_SIZE];
    const char* extension = Output_Kind(preview->kind)->extension;
    Wording_String(instance, IDS_PREVIEW_SAVE_TITLE, title, int(sizeof title));
    Str_Format(filter, sizeof(filter), Language_Text("%s files (*%s)"), Output_Kind(preview->kind)->displayName,
               extension);
    Str_Format(pattern, sizeof(pattern), "*%s", extension);
    Str_Format(name, sizeof(name), "resized%s", extension);
    if (!Win_SaveFileDialog(window, title, folder, sizeof(folder), name, sizeof(name), 0, 1, filter, pattern)) return;
    char target[STR_TEXT_SIZE];
    Str_Format(target, sizeof(target), "%s%s", folder, name);
    File_ClearProblem();
    if (!File_Copy(preview->temporary, target))
        Message_Show(0, MESSAGE_OK, nullptr, Language_Text("The copy could not be saved as %s: %s."), target,
                     Language_Text(File_ProblemText(File_GetProblem())));
}

// The copy as a 32-bit bitmap with its alpha (opaque for a JPEG): a
// version 5 header says so, and Windows gives programs that ask for a
// plain bitmap one made from it.
void Preview_OnCopy(HWND window, PreviewStruct* preview) {
    int32_t width = 0, height = 0, scanline = 0;
    Bitmap_GetSize(preview->picture, &width, &height);
    Bitmap_GetScanline(preview->picture, &scanline);
    unsigned char* pixels = nullptr;
    Bitmap_GetBits(preview->picture, &pixels);
    SIZE_T imageBytes = SIZE_T(height) * SIZE_T(scanline);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPV5HEADER) + imageBytes);
    if (!memory) return;
    BITMAPV5HEADER* header = static_cast<BITMAPV5HEADER*>(GlobalLock(memory));
    ZeroMemory(header, sizeof(*header));
    header->bV5Size = sizeof(BITMAPV5HEADER);
    header->bV5Width = width;
    header->bV5Height = height;
    header->bV5Planes = 1;
    header->bV5BitCount = 32;
    header->bV5Compression = BI_BITFIELDS;
    header->bV5RedMask = 0x00FF0000;
    header->bV5GreenMask = 0x0000FF00;
    header->bV5BlueMask = 0x000000FF;
    header->bV5AlphaMask = 0xFF000000;
    header->bV5CSType = 0x73524742;  // LCS_sRGB, whose multi-character spelling compilers warn of
    header->bV5Intent = LCS_GM_IMAGES;
    header->bV5SizeImage = DWORD(imageBytes);
    header->bV5XPelsPerMeter = header->bV5YPelsPerMeter = 2880;
    if (pixels && imageBytes) CopyMemory(header + 1, pixels, imageBytes);
    GlobalUnlock(memory);
    if (!OpenClipboard(window)) {
        GlobalFree(memory);
        return;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_DIBV5, memory)) GlobalFree(memory);
    CloseClipboard();
}

LRESULT CALLBACK PreviewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return Preview_OnCreate(window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
    PreviewStruct* preview = Get(window);
    if (!preview) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        Preview_OnDestroy(window, preview);
        return 0;
    case WM_SIZE:
        Preview_OnSize(preview, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_GETMINMAXINFO:
        Preview_OnMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_CONTEXTMENU:
        Preview_OnContextMenu(window, lParam);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == PREVIEW_SAVE) Preview_OnSave(window, preview);
        if (LOWORD(wParam) == PREVIEW_COPY) Preview_OnCopy(window, preview);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// ------------------------------------------------------------ opening

struct TemporarySearch {
    const char* path;
    int found;
};

BOOL CALLBACK HoldsTemporary(HWND window, LPARAM data) {
    TemporarySearch* search = reinterpret_cast<TemporarySearch*>(data);
    char className[64];
    if (!GetClassNameA(window, className, sizeof(className)) || !Str_Equal(className, kClassName)) return TRUE;
    PreviewStruct* preview = Get(window);
    if (preview && Str_EqualNoCase(preview->temporary, search->path)) {
        search->found = 1;
        return FALSE;
    }
    return TRUE;
}

// "<temp>\<name>-temp.jpg" (the extension the copy's kind has), or
// "<name> (2)-temp.jpg" and so on when an open preview already owns that
// file: closing one preview must not take the file of another.
void TemporaryName(const char* source, int kind, char* path, int size) {
    char folder[STR_TEXT_SIZE], base[STR_TEXT_SIZE];
    const char* extension = Output_Kind(kind)->extension;
    File_GetTempDir(folder, sizeof(folder));
    Path_Normalize(folder, 1);
    Path_GetName(source, base, sizeof(base), 1);
    Str_Format(path, size, "%s%s-temp%s", folder, base, extension);
    for (int n = 2;; ++n) {
        TemporarySearch search = {path, 0};
        EnumThreadWindows(GetCurrentThreadId(), HoldsTemporary, LPARAM(&search));
        if (!search.found) return;
        Str_Format(path, size, "%s%s (%d)-temp%s", folder, base, n, extension);
    }
}

void FitToPicture(HWND window, PreviewStruct* preview) {
    int32_t width = 0, height = 0;
    Bitmap_GetSize(preview->picture, &width, &height);
    RECT frame = {0, 0, width + 1, height + StatusHeight(preview) + 1};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrA(window, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrA(window, GWL_EXSTYLE)));
    RECT area = WorkArea();
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    int areaWidth = area.right - area.left, areaHeight = area.bottom - area.top;
    if (w > areaWidth) w = areaWidth;
    if (h > areaHeight) h = areaHeight;
    MoveWindow(window, area.left + (areaWidth - w) / 2, area.top + (areaHeight - h) / 2, w, h, TRUE);
}

// The preview's copy goes through the batch engine like any other, quietly:
// the preview window itself is what the user sees of it.
void QuietProgress(void*, const char*) {
}
int NeverCancelled(void*) {
    return 0;
}
void QuietMessage(void*, const char*) {
}

// The copy of path in temporary, with the sizes of both and the copy's
// quality. 1 when written.
int ResizeToTemporary(const AppConfig* config, const char* path, const SizeFacts* facts, const char* temporary,
                      int64_t* sourceBytes, int64_t* resizedBytes, double* quality) {
    BatchStruct* batch = nullptr;
    if (!Batch_Create(&batch, config, 1)) return 0;
    Batch_SetSource(batch, 0, path, 0, 0, temporary);
    if (facts) Batch_SetFacts(batch, 0, facts);
    const JobHost quiet = {nullptr, QuietProgress, NeverCancelled, QuietMessage, nullptr};
    int ok = Batch_Run(batch, &quiet, 1);
    const BatchFile* file = Batch_GetFile(batch, 0);
    *sourceBytes = file->sourceBytes;
    *resizedBytes = file->outputBytes;
    *quality = file->written.quality;
    Batch_Destroy(&batch);
    return ok;
}

// The status line: the sizes and the profile, and under a size limit the
// quality the limit left the copy.
void StatusText(const AppConfig* config, int64_t sourceBytes, int64_t resizedBytes, double quality, char* text,
                int size) {
    const ResizeProfile* profile = Plan_ActiveProfile(config);
    int n = Str_Format(text, size, Language_Text("Resized from %'I64d Kb to %'I64d Kb with the '%s' profile."),
                       sourceBytes / 1024, resizedBytes / 1024, profile ? profile->Name : Language_Text("Custom"));
    int64_t limit = Plan_LimitBytes(config);
    if (limit > 0 && n > 0)
        Str_Format(text + n, size - n, Language_Text(" At most %'I64d KB: quality %.0f."), limit / 1024,
                   quality * 100.0);
}

}  // namespace

int Preview_Register(HINSTANCE instance) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
    wc.lpfnWndProc = PreviewProc;
    wc.cbWndExtra = 8;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExA(&wc)) {
        Log_Print(0, "Unable to register %s class\n", kClassName);
        return 0;
    }
    return 1;
}

int Preview_Unregister(HINSTANCE instance) {
    UnregisterClassA(kClassName, instance);
    return 1;
}

HWND Preview_Open(HINSTANCE instance, const AppConfig* config, const char* path, const SizeFacts* facts) {
    if (!config || !path) Core_NullPointer(kModule, __LINE__);
    BitmapStruct* bitmap = nullptr;
    Bitmap_Create(&bitmap);
    int64_t sourceBytes = 0, resizedBytes = 0;
    double quality = 0;
    char temporary[STR_TEXT_SIZE];
    int kind = Input_CopyKind(config, path);
    TemporaryName(path, kind, temporary, sizeof(temporary));
    HWND window = nullptr;
    if (ResizeToTemporary(config, path, facts, temporary, &sourceBytes, &resizedBytes, &quality) &&
        LoadImageByExtension(temporary, bitmap)) {
        char title[STR_TEXT_SIZE];
        Wording_String(instance, IDS_PREVIEW_TITLE, title, int(sizeof title));
        window = CreateWindowExA(0, kClassName, title, WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr, instance,
                                 nullptr);
    }
    PreviewStruct* preview = window ? Get(window) : nullptr;
    if (preview) {
        char status[STR_TEXT_SIZE];
        StatusText(config, sourceBytes, resizedBytes, quality, status, int(sizeof status));
        SendMessageA(preview->status, SB_SETTEXTA, 0, LPARAM(status));
        Str_CopyN(preview->temporary, temporary, sizeof(preview->temporary));
        preview->kind = kind;
        Bitmap_Copy(bitmap, preview->picture);
        int32_t width = 0, height = 0;
        Bitmap_GetSize(bitmap, &width, &height);
        Bitmap_SetSize(preview->view, width, height);
        preview->scrollX = preview->scrollY = 0;
        FitToPicture(window, preview);
        ShowWindow(window, SW_SHOW);
    }
    Bitmap_Destroy(&bitmap);
    return preview ? window : nullptr;
}

// The message and progress box. Its window belongs to the window thread;
// the batch job's worker shows texts and polls Cancel from its own thread,
// so the fields that both read are atomic and Cancel is an event.
#include "message.h"

#include <stdarg.h>

#include <atomic>

#include "orv-core.h"
#include "orv-str.h"
#include "winhelpr.h"

namespace {

const char kModule[] = "divivar/toolkit/message";
const int kTextId = 2000;
const int kButtonId = 2001;
const int kTimerId = 1;
const int kWidth = 412;
const int kHeightPlain = 77;
const int kHeightButton = 100;
const int kTextSize = 512;

// The one box of the process. The dialog belongs to the thread that made it;
// the atomics and the event may be touched from any thread.
struct MessageState {
    HWND owner;                 // disabled while the box shows, or null
    HWND dialog;                // the box, or null when it could not be made
    CoreEvent* cancel;          // set by Cancel, cleared by the next text; owned
    std::atomic<int> topmost;   // 1: the box stays on top
    std::atomic<int> countdown; // seconds before the box hides itself, 0: never
    std::atomic<int> kind;      // MESSAGE_* of the text showing
    char title[STR_TEXT_SIZE];  // the caption for texts shown without one
    char okText[STR_LABEL_SIZE] = "Ok";          // the button's caption under a text
    char cancelText[STR_LABEL_SIZE] = "Cancel";  // its caption under a progress text
};

MessageState g_box;

// The dialog template: a popup with a caption and no controls; the text
// and the button are made when it initialises. DLGTEMPLATE is followed by
// an empty menu, the default class, an empty title and the font.
struct BoxTemplate {
    DLGTEMPLATE header;
    WORD menu;
    WORD windowClass;
    WCHAR title;
    WORD pointSize;
    WCHAR face[13];
};

BoxTemplate MakeTemplate() {
    BoxTemplate t = {};
    t.header.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFOREGROUND | DS_SETFONT;
    t.pointSize = 8;
    const char face[] = "MS Shell Dlg";
    for (int i = 0; face[i]; ++i) t.face[i] = WCHAR(face[i]);
    return t;
}

HWND After() {
    return g_box.topmost ? HWND_TOPMOST : HWND_NOTOPMOST;
}

int HasButton(int kind) {
    return kind == MESSAGE_OK || kind == MESSAGE_CANCEL;
}

// Lays the box out for its kind. keepCancel leaves a pending Cancel press
// alone: one more progress text of the same run must not swallow it.
void Layout(int keepCancel) {
    HWND dialog = g_box.dialog;
    if (!dialog) return;
    if (g_box.cancel && !keepCancel) Event_Set(g_box.cancel, 0);
    SetDlgItemTextA(dialog, kButtonId, g_box.okText);
    int kind = g_box.kind;
    int height = HasButton(kind) ? kHeightButton : kHeightPlain;
    SetWindowPos(dialog, After(), 0, 0, kWidth, height, SWP_NOMOVE | SWP_NOACTIVATE);
    if (kind == MESSAGE_CANCEL) SetDlgItemTextA(dialog, kButtonId, g_box.cancelText);
    RECT client;
    GetClientRect(dialog, &client);
    MoveWindow(GetDlgItem(dialog, kTextId), 4, 4, client.right - 8, 44, TRUE);
    if (HasButton(kind)) {
        MoveWindow(GetDlgItem(dialog, kButtonId), 154, 48, client.right - 308, 22, TRUE);
        ShowWindow(GetDlgItem(dialog, kButtonId), SW_SHOW);
    } else {
        ShowWindow(GetDlgItem(dialog, kButtonId), SW_HIDE);
    }
}

// ------------------------------------------------------------ the dialog

void Message_OnInitDialog(HWND dialog) {
    g_box.dialog = dialog;
    HINSTANCE instance = HINSTANCE(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
    HWND text = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 22, dialog,
                                HMENU(INT_PTR(kTextId)), instance, nullptr);
    HWND button = CreateWindowExA(0, "BUTTON", g_box.okText, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0,
                                  10, 22, dialog, HMENU(INT_PTR(kButtonId)), instance, nullptr);
    SendMessageA(text, WM_SETFONT, WPARAM(font), 0);
    SendMessageA(button, WM_SETFONT, WPARAM(font), 0);
    Layout(0);
    SetTimer(dialog, kTimerId, 1000, nullptr);
}

void Message_OnCommand(int id) {
    if (id != kButtonId) return;
    if (g_box.kind == MESSAGE_CANCEL)
        Event_Set(g_box.cancel, 1);
    else
        Message_SetVisible(0);
}

// Closing a progress box from its system menu counts as Cancel: hiding it
// would enable the owner while the work still runs.
INT_PTR Message_OnSysCommand(WPARAM command) {
    if ((command & 0xFFF0) != SC_CLOSE) return FALSE;
    if (g_box.kind == MESSAGE_CANCEL)
        Event_Set(g_box.cancel, 1);
    else
        Message_SetVisible(0);
    return TRUE;
}

void Message_OnTimer(HWND dialog) {
    int left = g_box.countdown;
    if (left <= 0) return;
    g_box.countdown = left - 1;
    if (left == 1 && IsWindowVisible(dialog)) Message_SetVisible(0);
}

void Message_OnClose(HWND dialog) {
    KillTimer(dialog, kTimerId);
    DestroyWindow(dialog);
}

// The box also goes when its owner is destroyed; either way it is gone.
void Message_OnDestroy(HWND dialog) {
    KillTimer(dialog, kTimerId);
    g_box.dialog = nullptr;
}

INT_PTR CALLBACK MessageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        Message_OnInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        Message_OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_SYSCOMMAND:
        return Message_OnSysCommand(wParam);
    case WM_TIMER:
        Message_OnTimer(dialog);
        return TRUE;
    case WM_CLOSE:
        Message_OnClose(dialog);
        return TRUE;
    case WM_DESTROY:
        Message_OnDestroy(dialog);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int Message_Create(HINSTANCE instance, HWND owner) {
    if (g_box.cancel) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Instance of message already active!\n");
    }
    Event_Create(&g_box.cancel);
    Event_Set(g_box.cancel, 0);
    g_box.owner = owner;
    g_box.kind = MESSAGE_NONE;
    g_box.countdown = 0;
    static BoxTemplate boxTemplate = MakeTemplate();
    HWND dialog = CreateDialogIndirectParamA(instance, &boxTemplate.header, owner, MessageProc, 0);
    if (!dialog) {
        DWORD error = GetLastError();
        Log_Print(0, "Unable to open about dialog (%d 0x%.8X)\n", int(error), unsigned(error));
        return 0;
    }
    Message_SetVisible(0);
    return 1;
}

int Message_Destroy(void) {
    if (g_box.dialog) SendMessageA(g_box.dialog, WM_CLOSE, 0, 0);
    g_box.dialog = nullptr;
    if (g_box.cancel) Event_Close(&g_box.cancel);
    return 1;
}

int Message_Show(int seconds, int kind, const char* title, const char* format, ...) {
    if (!format) Core_NullPointer(kModule, __LINE__);
    g_box.countdown = seconds >= 1 ? seconds - 1 : 0;
    const char* caption = title ? title : g_box.title;
    if (g_box.dialog) SetWindowTextA(g_box.dialog, caption);
    char text[kTextSize];
    va_list args;
    va_start(args, format);
    Str_FormatV(text, kTextSize - 1, format, args);
    va_end(args);
    if (kind == MESSAGE_YESNO) return MessageBoxA(g_box.owner, text, caption, MB_ICONQUESTION | MB_YESNO) == IDYES;
    // A progress text that follows a showing progress text continues the
    // same run: a Cancel pressed while the work went on still counts.
    int continuing = kind == MESSAGE_CANCEL && g_box.kind == MESSAGE_CANCEL && g_box.dialog &&
                     IsWindowVisible(g_box.dialog);
    g_box.kind = kind;
    if (g_box.dialog) SetDlgItemTextA(g_box.dialog, kTextId, text);
    Layout(continuing);
    Message_SetVisible(1);
    return 1;
}

int Message_SetVisible(int visible) {
    HWND dialog = g_box.dialog;
    if (visible == 1) {
        if (dialog) SetWindowLongPtrA(dialog, GWLP_HWNDPARENT, LONG_PTR(g_box.owner));
        if (g_box.owner) EnableWindow(g_box.owner, FALSE);
        if (dialog) {
            Win_CenterWindow(dialog, g_box.owner);
            ShowWindowAsync(dialog, SW_SHOW);
            SetWindowPos(dialog, After(), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    } else {
        if (g_box.owner) EnableWindow(g_box.owner, TRUE);
        if (dialog) {
            ShowWindow(dialog, SW_HIDE);
            // A hidden box owned by a window would follow it in the stacking
            // order and go when it goes; it is owned only while it shows.
            SetWindowLongPtrA(dialog, GWLP_HWNDPARENT, 0);
        }
    }
    Win_PumpMessages();
    return 1;
}

int Message_IsCancelled(void) {
    int signalled = 1;
    if (!g_box.cancel || !Event_Poll(g_box.cancel, &signalled)) return 1;
    return signalled ? 1 : 0;
}

int Message_SetButtons(const char* ok, const char* cancel) {
    if (!ok || !cancel) Core_NullPointer(kModule, __LINE__);
    Str_CopyN(g_box.okText, ok, int(sizeof g_box.okText));
    Str_CopyN(g_box.cancelText, cancel, int(sizeof g_box.cancelText));
    return 1;
}

int Message_SetTitle(const char* title) {
    if (!title) Core_NullPointer(kModule, __LINE__);
    Str_CopyN(g_box.title, title, STR_TEXT_SIZE);
    return 1;
}

int Message_SetTopmost(int topmost) {
    g_box.topmost = topmost;
    return 1;
}

int Message_SetOwner(HWND owner) {
    g_box.owner = owner;
    return 1;
}

HWND Message_GetWindow(void) {
    return g_box.dialog;
}

// The message and progress box: one modeless box with a line of text and
// an optional Ok or Cancel button, shown while its owner is disabled. Its
// window belongs to the thread that created it; any thread may show texts
// and poll Cancel. Win32 only.
#pragma once

#include <windows.h>

enum {
    MESSAGE_NONE = 0,
    MESSAGE_OK = 1,
    MESSAGE_YESNO = 2,
    MESSAGE_CANCEL = 3
};

// Creates the box hidden, owned by owner, and its cleared Cancel event. A
// second call while the box exists is a fatal stop. 1, or 0 with the reason
// logged when the dialog cannot be made (later calls then act on no box).
int Message_Create(HINSTANCE instance, HWND owner);

// Destroys the box and closes the Cancel event. Cannot fail (1).
int Message_Destroy(void);

// Shows a formatted text (at most 510 characters) with the given kind,
// captioned title or the default title; the box hides itself after seconds
// (0 or 1: never). MESSAGE_YESNO asks a modal question instead and returns
// 1 only for Yes; every other kind returns 1. A null format is fatal.
int Message_Show(int seconds, int kind, const char* title, const char* format, ...);

// 1: disables the owner, centres the box on it and shows it; 0: enables
// the owner and hides the box. Then lets the caller's queued messages run.
int Message_SetVisible(int visible);

// 1 when Cancel was pressed since the last text was shown.
int Message_IsCancelled(void);

int Message_SetTitle(const char* title);
// The button's captions: ok under a text ("Ok" until set), cancel under a
// progress text ("Cancel"). Null is a fatal stop. Cannot fail (1).
int Message_SetButtons(const char* ok, const char* cancel);
int Message_SetTopmost(int topmost);
int Message_SetOwner(HWND owner);

// The box's window, or null when it does not exist.
HWND Message_GetWindow(void);

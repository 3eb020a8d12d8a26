// The notification-area icon of a window. Win32 only.
#pragma once

#include <windows.h>

// Adds the icon (tip cut to 63 characters), retrying up to 10 times when
// the shell times out. A null icon is a fatal stop. 1 when added.
int TrayIcon_Add(HWND owner, int id, HICON icon, UINT callbackMessage, const char* tip);
// Deletes the icon of owner and id. 1 when deleted.
int TrayIcon_Remove(HWND owner, int id, HICON icon, UINT callbackMessage, const char* tip);
// 1 when message is the shell's "TaskbarCreated" broadcast.
int TrayIcon_IsTaskbarCreated(UINT message);

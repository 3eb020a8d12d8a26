// Notification-area icon: add with retries, remove, and the broadcast the
// shell sends when it restarts and has lost every icon.
#include "trayicon.h"

#include <shellapi.h>

#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/toolkit/trayicon";

void Fill(NOTIFYICONDATAA* data, HWND owner, int id, HICON icon, UINT callbackMessage, const char* tip) {
    ZeroMemory(data, sizeof(*data));
    data->cbSize = sizeof(*data);
    data->hWnd = owner;
    data->uID = UINT(id);
    data->uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data->uCallbackMessage = callbackMessage;
    data->hIcon = icon;
    Str_CopyN(data->szTip, tip ? tip : "", 64);
}

}  // namespace

int TrayIcon_Add(HWND owner, int id, HICON icon, UINT callbackMessage, const char* tip) {
    if (!icon) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Icon is empty for [%s]\n", tip ? tip : "");
    }
    NOTIFYICONDATAA data;
    Fill(&data, owner, id, icon, callbackMessage, tip);
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (Shell_NotifyIconA(NIM_ADD, &data)) return 1;
        if (GetLastError() != ERROR_TIMEOUT) return 0;
        Core_Sleep(0.1);
    }
    return 0;
}

int TrayIcon_Remove(HWND owner, int id, HICON icon, UINT callbackMessage, const char* tip) {
    NOTIFYICONDATAA data;
    Fill(&data, owner, id, icon, callbackMessage, tip);
    return Shell_NotifyIconA(NIM_DELETE, &data) ? 1 : 0;
}

int TrayIcon_IsTaskbarCreated(UINT message) {
    static UINT taskbarCreated = 0;
    if (!taskbarCreated) taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    return taskbarCreated != 0 && message == taskbarCreated;
}

// Helpers of the window tests.
#include "gui_support.h"

#include <string.h>

#include <atomic>

namespace {

const char kHostClass[] = "BrimlowTestHost";

void PumpOnce() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

struct Search {
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM data) {
    Search* search = reinterpret_cast<Search*>(data);
    char text[256];
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    if (GetWindowTextA(window, text, sizeof(text)) > 0 && strcmp(text, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND CreateHost(const char* caption) {
    static bool registered = false;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = kHostClass;
        RegisterClassA(&wc);
        registered = true;
    }
    HWND host = CreateWindowExA(0, kHostClass, caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 300,
                                nullptr, nullptr, instance, nullptr);
    PumpOnce();
    return host;
}

void PumpFor(int ms) {
    DWORD end = GetTickCount() + DWORD(ms);
    do {
        PumpOnce();
        Sleep(5);
    } while (int(end - GetTickCount()) > 0);
}

namespace {

struct PumpedRun {
    void (*routine)(void*);
    void* data;
    std::atomic<int> done;
};

void RunAndFlag(void* data) {
    PumpedRun* run = static_cast<PumpedRun*>(data);
    run->routine(run->data);
    run->done = 1;
}

}  // namespace

void RunWhilePumping(void (*routine)(void*), void* data) {
    PumpedRun run;
    run.routine = routine;
    run.data = data;
    run.done = 0;
    TestThread thread;
    TestThread_Start(&thread, RunAndFlag, &run);
    while (!run.done) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpOnce();
    }
    TestThread_Join(&thread);
}

HWND WaitForWindow(const char* caption, int ms) {
    DWORD end = GetTickCount() + DWORD(ms);
    do {
        Search search = {caption, nullptr};
        EnumWindows(MatchCaption, LPARAM(&search));
        if (search.found) return search.found;
        PumpOnce();
        Sleep(10);
    } while (int(end - GetTickCount()) > 0);
    return nullptr;
}

void AnswerSaveDialog(void* data) {
    const SaveAnswer* answer = static_cast<const SaveAnswer*>(data);
    HWND dialog = nullptr;
    for (int i = 0; i < 500 && !dialog; ++i) {
        dialog = FindWindowA("#32770", answer->title.c_str());
        if (!dialog) Sleep(10);
    }
    if (!dialog) return;
    // The explorer-style dialog keeps the name in a combo box's edit (0x47c)
    // or, in older layouts, in a plain edit (0x480).
    HWND field = GetDlgItem(dialog, 0x47c);
    if (field) {
        HWND edit = FindWindowExA(field, nullptr, "Edit", nullptr);
        if (edit) field = edit;
    } else {
        field = GetDlgItem(dialog, 0x480);
    }
    SendMessageA(field, WM_SETTEXT, 0, LPARAM(answer->typed.c_str()));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 100 && IsWindow(dialog); ++i) {
        HWND question = nullptr;
        while ((question = FindWindowExA(nullptr, question, "#32770", nullptr)) != nullptr)
            if (GetWindow(question, GW_OWNER) == dialog) PostMessageA(question, WM_COMMAND, IDYES, 0);
        Sleep(20);
    }
}

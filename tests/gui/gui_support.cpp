// Helpers of the window tests.
#include "gui_support.h"

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

HWND WaitForDialog(const char* caption, HWND owner, HWND skip, int ms) {
    for (int waited = 0; waited <= ms; waited += 10) {
        HWND found = nullptr;
        while ((found = FindWindowExA(nullptr, found, "#32770", caption)) != nullptr) {
            DWORD process = 0;
            GetWindowThreadProcessId(found, &process);
            if (process == GetCurrentProcessId() && found != skip && IsWindowVisible(found) &&
                (!owner || GetWindow(found, GW_OWNER) == owner))
                return found;
        }
        Sleep(10);
    }
    return nullptr;
}

void AnswerSaveDialog(void* data) {
    const SaveAnswer* answer = static_cast<const SaveAnswer*>(data);
    HWND dialog = WaitForDialog(answer->title.c_str(), nullptr, nullptr, 5000);
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

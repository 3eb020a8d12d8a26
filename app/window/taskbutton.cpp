// The taskbar button through the shell's ITaskbarList3.
#include "taskbutton.h"

#include <shobjidl.h>

#include "orv-core.h"

namespace {

const char kModule[] = "app/window/taskbutton";

// The states by TASKBUTTON_* value.
const TBPFLAG kStates[] = {TBPF_NOPROGRESS, TBPF_NORMAL, TBPF_ERROR};

}  // namespace

struct TaskButtonStruct {
    HWND window;           // the button's window; not owned
    ITaskbarList3* shell;  // the shell's taskbar list, or null without one; one reference owned
    HRESULT com;           // what CoInitialize said: released at the end when it succeeded
};

int TaskButton_Create(TaskButtonStruct** button, HWND window) {
    if (!button) Core_NullPointer(kModule, __LINE__);
    TaskButtonStruct* b =
        static_cast<TaskButtonStruct*>(Mem_Alloc(int(sizeof(TaskButtonStruct)), MEM_HEAP, kModule, __LINE__));
    b->window = window;
    b->shell = nullptr;
    b->com = CoInitialize(nullptr);
    void* shell = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3, &shell)) &&
        shell) {
        b->shell = static_cast<ITaskbarList3*>(shell);
        if (FAILED(b->shell->HrInit())) {
            b->shell->Release();
            b->shell = nullptr;
        }
    }
    if (!b->shell) Log_Print(0, "No taskbar list: the button shows no progress\n");
    *button = b;
    return 1;
}

int TaskButton_Destroy(TaskButtonStruct** button) {
    if (!button) Core_NullPointer(kModule, __LINE__);
    TaskButtonStruct* b = *button;
    *button = nullptr;
    if (!b) return 1;
    if (b->shell) {
        b->shell->SetProgressState(b->window, TBPF_NOPROGRESS);
        b->shell->Release();
    }
    if (SUCCEEDED(b->com)) CoUninitialize();
    Mem_Free(b, int(sizeof(TaskButtonStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int TaskButton_Show(TaskButtonStruct* button, int64_t done, int64_t total, int state) {
    if (!button) Core_NullPointer(kModule, __LINE__);
    if (state < TASKBUTTON_NONE || state > TASKBUTTON_FAILED) Core_Abort("No task button state %d\n", state);
    if (!button->shell) return 1;
    button->shell->SetProgressState(button->window, kStates[state]);
    if (state != TASKBUTTON_NONE && total > 0)
        button->shell->SetProgressValue(button->window, ULONGLONG(done < 0 ? 0 : done), ULONGLONG(total));
    return 1;
}

int TaskButton_FlashUnlessInFront(TaskButtonStruct* button) {
    if (!button) Core_NullPointer(kModule, __LINE__);
    if (GetForegroundWindow() == button->window) return 1;
    FLASHWINFO flash = {sizeof(FLASHWINFO), button->window, FLASHW_TRAY | FLASHW_TIMERNOFG, 0, 0};
    FlashWindowEx(&flash);
    return 1;
}

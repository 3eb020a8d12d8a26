// The window's taskbar button as a progress bar (Windows 7 and later): a
// run's progress, red once a file failed, cleared at the end; and a flash
// when a run ends behind other windows.
#pragma once

#include <windows.h>

#include <stdint.h>

struct TaskButtonStruct;

enum {
    TASKBUTTON_NONE = 0,    // no progress shown
    TASKBUTTON_NORMAL = 1,  // the run goes on
    TASKBUTTON_FAILED = 2   // a file failed; the run goes on
};

// The button of window, for progress. Where the shell has no taskbar list
// (older systems, some Wine set-ups) *button still comes back and its calls
// do nothing. Needs COM on the calling thread. Cannot fail (1).
int TaskButton_Create(TaskButtonStruct** button, HWND window);

// Clears the button's progress, frees it and nulls *button. Cannot fail (1).
int TaskButton_Destroy(TaskButtonStruct** button);

// Shows done of total (any unit; total above 0) in state (TASKBUTTON_*);
// TASKBUTTON_NONE takes the bar away. Cannot fail (1).
int TaskButton_Show(TaskButtonStruct* button, int64_t done, int64_t total, int state);

// Flashes the button until the window comes to the front, when it is not in
// front now. Cannot fail (1).
int TaskButton_FlashUnlessInFront(TaskButtonStruct* button);

// Helpers of the window tests: a plain top-level host window, message
// pumping while another thread works, and finding windows by caption.
#pragma once

#include <windows.h>

#include <string>

#include "../test_support.h"

// A visible top-level window of the tests' own class, 400 x 300 at (50, 50).
HWND CreateHost(const char* caption = "Host");

// Lets this thread's queued messages run for about ms milliseconds.
void PumpFor(int ms);

// Starts routine on a system thread and pumps this thread's messages until
// it has ended (the routine may send messages to this thread's windows).
void RunWhilePumping(void (*routine)(void*), void* data);

// For answering threads: the first visible dialog ("#32770") of this
// process with caption (any when null) and owner (any when null) that is
// not skip, waiting up to ms milliseconds; null when none appears.
HWND WaitForDialog(const char* caption, HWND owner, HWND skip, int ms);

// What AnswerSaveDialog types into the save dialog with that title.
struct SaveAnswer {
    std::string title;
    std::string typed;
};
// A thread routine (data: SaveAnswer) that waits for the save dialog,
// types the name, presses Save and says yes to any question it asks.
void AnswerSaveDialog(void* data);

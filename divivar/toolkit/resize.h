// The layout resizer: registered child windows follow their parent's size
// change by anchor factors, in deferred batches, recursively. The registry
// is process-wide and guarded by one lock. Also the rich-edit library
// loader. Win32 only.
#pragma once

#include <windows.h>

// Empties the registry and creates its lock; once, before any Resize_Add.
int Resize_Init(void);
// Frees every item (children first) and closes the lock; once, at exit.
int Resize_Shutdown(void);

// Registers window (under parent, or at the top level when parent is null)
// with its current place and size and the share of the parent's width
// change added to its left and right edges and of the height change added to
// its top and bottom edges. 0 (logged, registry unchanged) when parent is
// not registered or window already is.
int Resize_Add(HWND parent, HWND window, double left, double right, double top, double bottom, const char* name);

// From WM_SIZE: lays out the window's registered children. Unregistered
// windows are ignored. Cannot fail (1).
int Resize_OnSize(HWND window);
// From WM_GETMINMAXINFO: the registered size is the smallest, and a window
// that cannot move in a direction keeps its size there. Cannot fail (1).
int Resize_OnGetMinMaxInfo(HWND window, MINMAXINFO* info);
// From WM_PAINT: with grip 1 paints a size grip in the bottom-right corner.
int Resize_OnPaint(HWND window, int grip);

int Resize_Lock(void);
int Resize_Unlock(void);

// Loads the system's rich-edit library; 1 even when none can be loaded.
int RichEdit_Load(void);
int RichEdit_Unload(void);

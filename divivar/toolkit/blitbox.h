// BlitBox: a child window class that shows its own 24-bit back buffer.
// Application code draws between BlitBox_Lock and BlitBox_Unlock, then
// BlitBox_Update repaints. Keyboard and mouse messages go on to the parent;
// scroll-bar messages go to a hook. Every operation returns 0 for a window
// without a BlitBox record. Win32 only.
#pragma once

#include <windows.h>

struct BitmapStruct;

// Scroll hook: bar 2 horizontal, 1 vertical; code and position are the low
// and high 16 bits of the message's first parameter.
typedef void (*BlitBoxScrollHook)(void* data, HWND window, int bar, int code, int position);

// Registers (or unregisters) the window class "BlitBox". 1, or 0 logged.
int BlitBox_Register(HINSTANCE instance);
int BlitBox_Unregister(HINSTANCE instance);

// Takes the back buffer's lock (milliseconds, -1 for ever). 1 when taken.
int BlitBox_Lock(HWND window, int timeoutMs);
// Releases it; unlocking an unlocked box is logged and returns 0.
int BlitBox_Unlock(HWND window);

// Drawing needs the lock (otherwise logged, 0, nothing drawn).
int BlitBox_Clear(HWND window);
int BlitBox_FillColour(HWND window, int red, int green, int blue);
// Blends bitmap with its alpha into the back buffer at (x, y), clipped to
// the buffer.
int BlitBox_DrawBitmap(HWND window, double x, double y, BitmapStruct* bitmap);

// Repaints the whole control at once; 0 (logged) while locked.
int BlitBox_Update(HWND window);

// Installs the scroll hook under the lock. 1, or 0 without the lock.
int BlitBox_SetScrollHook(HWND window, void* data, BlitBoxScrollHook hook);

// The back buffer while locked: top-down rows of blue, green, red.
int BlitBox_GetBuffer(HWND window, unsigned char** bits, int* width, int* height, int* scanline);

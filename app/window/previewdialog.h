// The preview window: one file exactly as the batch job would write it,
// with its old and new size, saving under another name and copying to the
// clipboard. Win32 only.
#pragma once

#include <windows.h>

#include "config.h"
#include "estimate.h"

// The commands of a preview's context menu.
enum { PREVIEW_SAVE = 4000, PREVIEW_COPY = 4001 };

// Registers (or unregisters) the window class "ResizePreviewClass".
int Preview_Register(HINSTANCE instance);
int Preview_Unregister(HINSTANCE instance);

// Decodes path, resizes it by the active profile into a temporary copy of
// its own, decodes that again and shows it in a new preview window; facts
// (the list row's, may be null) are what a size limit's search starts
// from. Returns the window, or null (debug log only) when any step fails.
HWND Preview_Open(HINSTANCE instance, const AppConfig* config, const char* path, const SizeFacts* facts);

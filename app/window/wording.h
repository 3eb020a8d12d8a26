// The window's texts in the program's language, and the room a language
// needs: the dialogs' English captions are the keys of the language's
// table. Win32 only.
#pragma once

#include <windows.h>

// The language the program speaks: tag ("de", "pt-BR"; "" or one no table
// has: the first of Windows' display languages there is a table for, else
// English). Made the program's (Language_Set) and, for a right-to-left
// language, every window laid out mirrored. Once, before any window opens.
// Returns the language (LANGUAGE_*).
int Wording_Start(const char* tag);

// Dialog's caption and every control's text in the program's language
// (the texts the dialog was made with are the keys). Cannot fail.
void Wording_Dialog(HWND dialog);

// Makes room for every control's text in its font (labels, buttons, boxes,
// the longest entry of each drop-down list): at the gap right of a control
// that lacks room, every control right of it moves over and what spans it
// grows, and the dialog grows as much. Returns the pixels it grew.
int Wording_MakeRoom(HWND dialog);

// Makes window pixels wider, and with children 1 also each child that
// reaches its right edge. Cannot fail.
void Wording_Grow(HWND window, int pixels, int children);

// Wording_Dialog, then Wording_MakeRoom.
void Wording_Fit(HWND dialog);

// Every item of menu and its submenus in the program's language.
void Wording_Menu(HMENU menu);

// String resource id in the program's language, into text. 1, or 0 when
// the resource is missing (text then "").
int Wording_String(HINSTANCE instance, int id, char* text, int size);

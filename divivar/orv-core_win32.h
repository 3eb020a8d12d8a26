// Texts between the program and the wide (UTF-16) calls of Windows. The
// program's texts are in the process's code page: UTF-8 wherever the
// manifest is honoured (Windows 10 1903 on), the legacy ANSI code page
// before that. Win32 only; free of windows.h.
#pragma once

// Why a name from the system cannot become a program text.
extern const char kCoreNameUnspellable[];  // "name uses characters this Windows cannot pass to the program"
extern const char kCoreNameTooLong[];      // "path too long"

// Converts wide (terminated) into text (size bytes, terminator included)
// in codePage, 0 for the process's own. 1 with the text; 0 with text empty
// and *reason (one of the two above; static) when the code page cannot
// spell a character of it (in UTF-8: a lone surrogate) or it does not fit:
// a name is never cut or spelled with stand-in characters. A null argument
// is a fatal stop.
int Core_FromWide(unsigned codePage, const wchar_t* wide, char* text, int size, const char** reason);

// Converts a program text (the process's code page) into wide (count
// units, terminator included). 1, or 0 with wide empty when it does not
// fit or is not valid in the code page.
int Core_ToWide(const char* text, wchar_t* wide, int count);

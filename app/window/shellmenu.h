// The right-click menu of every picture Brimlow reads, written for this
// user (no administrator rights): "Resize with Brimlow" with an entry per
// profile and "Open in Brimlow...". Win32 only.
#pragma once

#include "config.h"

// Writes the menu for config's profiles, every entry starting this
// program, and the verb that holds it on every extension the program
// reads, replacing what was there (an older install's single verb too).
// 1, or 0 when this program's path is unknown or a key could not be
// written (logged; what was written stays).
int ShellMenu_Write(const AppConfig* config);

// Writes the menu again for config's profiles when it is there and starts
// this program: an installed program follows its profiles, a copy run from
// elsewhere leaves the installed one's menu alone. 1 when written, 0 when
// not (not there, another program's, or failed).
int ShellMenu_Update(const AppConfig* config);

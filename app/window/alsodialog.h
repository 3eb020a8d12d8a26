// The dialog that ticks the further profiles a run makes copies with.
#pragma once

#include <windows.h>

#include "config.h"

// Shows the list profiles and Custom, but the active one, each ticked when
// config's AlsoProfiles names it, modally over owner; OK writes the ticked
// ones into AlsoProfiles (in the list's order). 1 when OK changed it, 0
// for Cancel, no change or a dialog that could not be made (logged).
int AlsoDialog_Run(HINSTANCE instance, HWND owner, AppConfig* config);

// The caption of the button that opens it: "Also &make..." or, with n
// further profiles ticked, "Also &make (n)..." (M its mnemonic).
void AlsoDialog_ButtonText(const AppConfig* config, char* text, int size);

// The profile editor: the shipped profiles and the user's, made, copied,
// renamed, edited, deleted and restored.
#pragma once

#include <windows.h>

#include "config.h"

// Shows config's profiles modally over owner, the active one chosen, each
// field of the one chosen for editing; every edit works on a copy. A
// shipped profile edited becomes the user's copy in its place, which
// Restore undoes; only the user's own profiles are renamed and deleted
// (the active one renamed stays active; deleted, Custom is). OK
// (when every name is one, of no other profile and not "Custom") puts the
// list into config and writes the user's profiles into folder's
// "user-profiles.xml" at once, so that brimlow-cli finds them too, and
// the right-click menu follows (ShellMenu_Update). 1 when
// OK did, 0 for Cancel or a dialog that could not be made (logged).
int ProfileDialog_Run(HINSTANCE instance, HWND owner, AppConfig* config, const char* folder);

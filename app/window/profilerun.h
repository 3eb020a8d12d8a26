// A run with one profile, started from the right-click menu: no window
// unless something fails, and one run for a whole selection. Win32 only.
#pragma once

#include <windows.h>

#include "config.h"
#include "launch.h"

// Explorer starts the program once per selected file. The first start of
// a profile gathers; each other start of the same profile hands its paths
// (spelled as UTF-8) to it and ends. 1 when a gathering start took them:
// this start then ends. 0 when this start is to gather (it owns the
// profile's lock until its run begins) or none answered in time.
int ProfileRun_HandOff(const LaunchStart* start);

// Gathers the paths of start (spelled in the process's code page) and of
// the other starts handed over until none came for a moment, then resizes
// them with start's profile in one run on the pool, the settings' other
// choices as they are; only the run's statistics go into config. The
// report is shown when a file failed, a message when the profile is gone
// or the settings cannot start a run. Returns when all is done, 1 when
// every copy was written.
int ProfileRun_Run(HINSTANCE instance, AppConfig* config, const LaunchStart* start);

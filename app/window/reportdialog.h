// The report at the end of a run: each source and what became of it, with
// "Open folder", "Copy" and "Close".
#pragma once

#include <windows.h>

#include "batch.h"

// Shows batch's report, after its run, modally over owner: summary (the
// run's closing message) above a list of every source, those that failed
// or were skipped first, with their bytes before and after or why no copy
// was made. Returns when it is closed; a dialog that could not be made is
// logged.
void ReportDialog_Run(HINSTANCE instance, HWND owner, const BatchStruct* batch, const char* summary);

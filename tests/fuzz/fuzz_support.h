// Shared by the fuzz targets: the core runtime is started once per process,
// with the debug log off and fatal reports on standard error.
#pragma once

#include "orv-core.h"

inline void Fuzz_Init() {
    static int started = 0;
    if (started) return;
    started = 1;
    Core_Init("fuzz.log", 0, "%s", "Brimlow fuzz");
    Core_SetUnattended(1);
    Mem_Init(0x7FFFFFFF);
}

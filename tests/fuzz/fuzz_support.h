// Shared by the fuzz targets: the core runtime is started once per process,
// with the debug log off and fatal reports on standard error.
#pragma once

#include <stdint.h>

#include "orv-core.h"
#include "sidedata.h"

// The most pixels a target decodes.
const int64_t kFuzzPixels = 4000000;

// Width times height of two little-endian 32-bit sizes (height's sign
// ignored, as BMP's is).
inline int64_t Fuzz_Pixels(const uint8_t* sizes) {
    int32_t w = int32_t(uint32_t(sizes[0]) | uint32_t(sizes[1]) << 8 | uint32_t(sizes[2]) << 16 | uint32_t(sizes[3]) << 24);
    int32_t h = int32_t(uint32_t(sizes[4]) | uint32_t(sizes[5]) << 8 | uint32_t(sizes[6]) << 16 | uint32_t(sizes[7]) << 24);
    int64_t height = h < 0 ? -int64_t(h) : h;
    return w < 0 ? 0 : int64_t(w) * height;
}

inline void Fuzz_Init() {
    static int started = 0;
    if (started) return;
    started = 1;
    Core_Init("fuzz.log", 0, "%s", "Brimlow fuzz");
    Core_SetUnattended(1);
    Mem_Init(0x7FFFFFFF);
}

// Reads every byte of every block, so a block reaching past its memory shows.
inline void Fuzz_ReadSideData(const SideDataStruct* side) {
    volatile unsigned sum = 0;
    for (int kind = 0; kind < SIDE_KINDS; ++kind)
        for (int32_t i = 0; i < side->size[kind]; ++i) sum = sum + side->block[kind][i];
}

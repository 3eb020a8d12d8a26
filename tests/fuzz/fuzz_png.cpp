// Fuzz target for the PNG decoder: decode with CRC checking off (as the
// program runs it) and on, then copy into a bitmap; and the writer's
// rewrite of a file's chunks, which reads them itself.
#include <stddef.h>
#include <stdint.h>

#include "fuzz_support.h"
#include "png.h"
#include "pngl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 0x7FFFFFFF) return 0;
    PNGStruct* png = nullptr;
    BitmapStruct* bitmap = nullptr;
    PNG_Create(&png);
    Bitmap_Create(&bitmap);
    for (uint32_t verify = 0; verify < 2; ++verify) {
        png->verifyCrc = verify;
        png->verbose = 1;
        if (PNG_LoadBuffer(png, data, uint32_t(size))) PNG_ToBitmap(png, bitmap);
    }
    BufferStruct coded = {};
    PNGL_SaveCoded(data, uint32_t(size), nullptr, 1, "mark", &coded);
    Buffer_Free(&coded);
    Bitmap_Destroy(&bitmap);
    PNG_Destroy(&png);
    return 0;
}

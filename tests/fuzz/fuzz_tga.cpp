// Fuzz target for the TGA buffer decoder.
#include <stddef.h>
#include <stdint.h>

#include "fuzz_support.h"
#include "tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 0x7FFFFFFF) return 0;
    TGAStruct* tga = nullptr;
    BitmapStruct* bitmap = nullptr;
    TGA_Create(&tga);
    Bitmap_Create(&bitmap);
    if (TGA_LoadBuffer(tga, data, uint32_t(size))) TGA_ToBitmap(tga, bitmap);
    Bitmap_Destroy(&bitmap);
    TGA_Destroy(&tga);
    return 0;
}

// Fuzz target for the HEIF bridge: read the shown size, then decode the
// primary picture with its profile and Exif block.
#include <stddef.h>
#include <stdint.h>

#include "fuzz_support.h"
#include "heifl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 0x7FFFFFFF) return 0;
    int32_t width = 0, height = 0;
    // Large declared pictures are left to the size check: decoding them
    // would only measure the allocator.
    if (!HEIF_ReadSize(data, uint32_t(size), &width, &height) || int64_t(width) * height >= kFuzzPixels) return 0;
    HEIFStruct* heif = nullptr;
    HEIF_Create(&heif);
    BitmapStruct* bitmap = nullptr;
    Bitmap_Create(&bitmap);
    if (HEIF_DecodeToBitmap(heif, data, uint32_t(size), bitmap)) Fuzz_ReadSideData(&heif->side);
    Bitmap_Destroy(&bitmap);
    HEIF_Destroy(&heif);
    return 0;
}

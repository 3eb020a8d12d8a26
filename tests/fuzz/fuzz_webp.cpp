// Fuzz target for the WebP bridge: read the size, decode a still picture or
// an animation's first frame into a bitmap with the file's side data; then
// the file written again without decoding its picture.
#include <stddef.h>
#include <stdint.h>

#include "fuzz_support.h"
#include "webpl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 0x7FFFFFFF) return 0;
    int32_t width = 0, height = 0;
    // Large declared pictures are left to the header check: decoding them
    // would only measure the allocator.
    if (!WEBP_ReadSize(data, uint32_t(size), &width, &height) || int64_t(width) * height >= kFuzzPixels) return 0;
    BitmapStruct* bitmap = nullptr;
    Bitmap_Create(&bitmap);
    SideDataStruct side = {};
    if (WEBP_DecodeToBitmap(data, uint32_t(size), bitmap, &side)) Fuzz_ReadSideData(&side);
    BufferStruct coded = {};
    WEBP_SaveCoded(data, uint32_t(size), &side, "mark", &coded);
    Buffer_Free(&coded);
    SideData_Reset(&side);
    Bitmap_Destroy(&bitmap);
    return 0;
}

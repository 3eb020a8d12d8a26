// Fuzz target for the WebP bridge: read the size, decode a still picture or
// an animation's first frame into a bitmap, and find its chunks.
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
    if (WEBP_ReadSize(data, uint32_t(size), &width, &height) && int64_t(width) * height < kFuzzPixels) {
        BitmapStruct* bitmap = nullptr;
        Bitmap_Create(&bitmap);
        WEBP_DecodeToBitmap(data, uint32_t(size), bitmap);
        Bitmap_Destroy(&bitmap);
    }
    const char* const kChunks[2] = {"ICCP", "EXIF"};
    for (const char* fourcc : kChunks) {
        const unsigned char* chunk = nullptr;
        int32_t bytes = 0;
        // Every byte read, so a chunk reaching past the data shows.
        volatile unsigned sum = 0;
        if (WEBP_FindChunk(data, uint32_t(size), fourcc, &chunk, &bytes))
            for (int32_t i = 0; i < bytes; ++i) sum = sum + chunk[i];
    }
    return 0;
}

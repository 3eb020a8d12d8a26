// Fuzz target for the JPEG bridge: decode a memory block, copy it into a
// bitmap and encode it again.
#include <stddef.h>
#include <stdint.h>

#include "fuzz_support.h"
#include "jpegl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 0x7FFFFFFF) return 0;
    JPEGLibStruct* jpeg = nullptr;
    BitmapStruct* bitmap = nullptr;
    JPEG_Create(&jpeg);
    Bitmap_Create(&bitmap);
    if (JPEG_LoadBuffer(jpeg, data, uint32_t(size)) && jpeg->width * int64_t(jpeg->height) < 4000000 &&
        JPEG_ToBitmap(jpeg, bitmap)) {
        JPEG_FromBitmap(jpeg, bitmap);
        unsigned char* out = nullptr;
        int32_t outSize = 0;
        if (JPEG_SaveBuffer(jpeg, &out, &outSize)) Mem_Free(out, outSize, MEM_HEAP, "tests/fuzz/fuzz_jpeg", __LINE__);
    }
    Bitmap_Destroy(&bitmap);
    JPEG_Destroy(&jpeg);
    return 0;
}

// Fuzz target for the JPEG bridge: read the header, decode a memory block
// straight into a bitmap at one of the decoder's reductions (picked by the
// input's length), reduce it with the filter, or filter its rows to a third
// as they are decoded, and encode it again; then the
// same block through the bridge's own RGB decode, and written again without
// decoding its picture.
#include <stddef.h>
#include <stdint.h>

#include "fuzz_support.h"
#include "jpegl.h"

namespace {

// The decoder's reduction by the input's length, the rows filtered to a
// third of the stored size on every other length.
int ByLength(void* context, JPEGLibStruct* jpeg) {
    const size_t size = *static_cast<const size_t*>(context);
    if (size & 4) {
        jpeg->filterWidth = jpeg->width / 3 > 0 ? jpeg->width / 3 : 1;
        jpeg->filterHeight = jpeg->height / 3 > 0 ? jpeg->height / 3 : 1;
    }
    const int denominators[4] = {1, 2, 4, 8};
    return denominators[size % 4];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 0x7FFFFFFF) return 0;
    JPEGLibStruct* jpeg = nullptr;
    BitmapStruct* bitmap = nullptr;
    BitmapStruct* half = nullptr;
    JPEG_Create(&jpeg);
    Bitmap_Create(&bitmap);
    Bitmap_Create(&half);
    // Large declared pictures are left to the header check: decoding them
    // would only measure the allocator.
    if (JPEG_ReadHeader(jpeg, data, uint32_t(size)) && jpeg->width * int64_t(jpeg->height) < 4000000) {
        if (JPEG_DecodeToBitmapBy(jpeg, data, uint32_t(size), ByLength, &size, bitmap) &&
            Bitmap_SetSize(half, (bitmap->width + 1) / 2, (bitmap->height + 1) / 2) && Bitmap_Reduce(bitmap, half)) {
            BufferStruct out = {};
            JPEG_SaveBitmap(half, 0.75, nullptr, nullptr, &out);
            Buffer_Free(&out);
        }
        JPEG_Reset(jpeg);
        JPEG_LoadBuffer(jpeg, data, uint32_t(size));
        BufferStruct coded = {};
        JPEG_SaveCoded(data, uint32_t(size), nullptr, "mark", &coded);
        Buffer_Free(&coded);
    }
    Bitmap_Destroy(&half);
    Bitmap_Destroy(&bitmap);
    JPEG_Destroy(&jpeg);
    return 0;
}

// Fuzz target for the TIFF bridge: read the size, decode the first picture
// into a bitmap with the file's profile, as colours and as inks, whole and
// reduced by a factor or filtered to a size the data's first byte picks.
#include <stddef.h>
#include <stdint.h>

#include "fuzz_support.h"
#include "tiffl.h"

namespace {

void ByFirstByte(void* data, int32_t width, int32_t height, TIFFReduction* reduction) {
    const int byte = *static_cast<const uint8_t*>(data), by = 2 + byte % 5;
    if (byte & 8)
        *reduction = TIFFReduction{1, width / by > 0 ? width / by : 1, height / by > 0 ? height / by : 1};
    else
        *reduction = TIFFReduction{by, 0, 0};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 0x7FFFFFFF) return 0;
    int32_t width = 0, height = 0;
    // Large declared pictures are left to the header check: decoding them
    // would only measure the allocator.
    if (!TIFF_ReadSize(data, uint32_t(size), &width, &height) || int64_t(width) * height >= kFuzzPixels) return 0;
    BitmapStruct* bitmap = nullptr;
    Bitmap_Create(&bitmap);
    SideDataStruct side = {};
    TIFFDecoded found;
    for (int inks = 0; inks < 2; ++inks)
        if (TIFF_DecodeToBitmap(data, uint32_t(size), inks, bitmap, &side, &found)) Fuzz_ReadSideData(&side);
    TIFF_DecodeReduced(data, uint32_t(size), 1, ByFirstByte, const_cast<uint8_t*>(data), bitmap, &side, &found);
    SideData_Reset(&side);
    Bitmap_Destroy(&bitmap);
    return 0;
}

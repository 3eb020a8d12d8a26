// Fuzz target for the BMP buffer decoder: every input is decoded as a file
// and as a headerless info header, with diagnostics on. Pictures declaring
// kFuzzPixels or more are left to the header checks, as in the JPEG
// target: decoding them would only measure the allocator.
#include <stddef.h>
#include <stdint.h>

#include "bitmap.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 0x7FFFFFFF) return 0;
    BitmapStruct* bitmap = nullptr;
    Bitmap_Create(&bitmap);
    for (uint32_t headerless = 0; headerless < 2; ++headerless) {
        // A buffer that starts as a file is read as one in either mode.
        const int file = size >= 2 && data[0] == 'B' && data[1] == 'M';
        const size_t at = file || !headerless ? 14 : 0;  // where the info header starts
        if (size >= at + 12 && Fuzz_Pixels(data + at + 4) >= kFuzzPixels) continue;
        bitmap->diagnostics = 1;
        bitmap->headerless = headerless;
        Bitmap_LoadBMPBuffer(bitmap, data, uint32_t(size));
    }
    Bitmap_Destroy(&bitmap);
    return 0;
}

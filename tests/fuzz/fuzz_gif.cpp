// Fuzz target for the GIF decoder: parse a file image and render every
// image member. Screens of kFuzzPixels or more are left to the header
// checks, as in the JPEG target: drawing them would only measure the
// allocator.
#include <stddef.h>
#include <stdint.h>

#include "fuzz_support.h"
#include "gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 0x7FFFFFFF) return 0;
    if (size >= 10 && int64_t(data[6] | data[7] << 8) * (data[8] | data[9] << 8) >= kFuzzPixels) return 0;
    GIFStruct* gif = nullptr;
    BitmapStruct* bitmap = nullptr;
    GIF_Create(&gif);
    Bitmap_Create(&bitmap);
    if (GIF_LoadBuffer(gif, data, uint32_t(size))) {
        GIFMemberStruct* m = nullptr;
        for (GIF_FirstMember(gif, &m); m; GIF_NextMember(gif, m, &m)) {
            int32_t type = 0;
            GIF_GetMemberType(gif, m, &type);
            if (type == GIF_TYPEIMAGE) GIF_MemberToBitmap(gif, m, bitmap);
        }
    }
    Bitmap_Destroy(&bitmap);
    GIF_Destroy(&gif);
    return 0;
}

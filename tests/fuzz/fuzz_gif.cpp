// Fuzz target for the GIF decoder: parse a file image and render every
// image member.
#include <stddef.h>
#include <stdint.h>

#include "fuzz_support.h"
#include "gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 0x7FFFFFFF) return 0;
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

// Fuzz target for a copy's Exif block: any payload, kept as camera data or
// whole; what comes out fits one APP1 marker and, as camera data, reads
// back as a block of its own.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "config.h"
#include "fuzz_support.h"
#include "orv-core.h"
#include "winmain_exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 65533) return 0;
    const int kModes[2] = {METADATA_CAMERA, METADATA_ALL};
    for (int metadata : kModes) {
        unsigned char* out = nullptr;
        int32_t outSize = 0;
        if (!Exif_ForCopy(data, int32_t(size), metadata, 640, 480, metadata == METADATA_CAMERA, &out, &outSize))
            continue;
        if (outSize <= 0 || outSize > 65533) abort();
        unsigned char* again = nullptr;
        int32_t againSize = 0;
        if (metadata == METADATA_CAMERA &&
            !Exif_ForCopy(out, outSize, METADATA_CAMERA, 640, 480, 1, &again, &againSize))
            abort();
        if (again) Mem_Free(again, againSize, MEM_HEAP, "app/winmain_exif", __LINE__);
        Mem_Free(out, outSize, MEM_HEAP, "app/winmain_exif", __LINE__);
    }
    return 0;
}

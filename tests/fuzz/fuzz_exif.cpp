// Fuzz target for a copy's Exif block: a TIFF block of any size, kept as
// camera data or whole; as camera data what comes out reads back as a
// block of its own, and every block goes through the JPEG writer, which
// leaves out what one marker cannot hold and still writes the copy; and
// the date a copy's name takes from the block, always a whole date.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "config.h"
#include "fuzz_support.h"
#include "orv-core.h"
#include "exif.h"
#include "naming.h"
#include "jpegl.h"

// 1 when an 8 x 8 copy carrying exif as its Exif block is written.
static int Fuzz_WritesWithJpeg(const unsigned char* exif, int32_t size) {
    BitmapStruct* bitmap = nullptr;
    Bitmap_Create(&bitmap);
    SideDataStruct side = {};
    BufferStruct file = {};
    int ok = Bitmap_SetSize(bitmap, 8, 8) && SideData_Keep(&side, SIDE_EXIF, exif, size) &&
             JPEG_SaveBitmap(bitmap, 0.75, &side, nullptr, &file);
    // A block over the cap is not kept: that is the cap working, not a fault.
    if (!ok && size > SIDE_MOST_BYTES) ok = 1;
    Buffer_Free(&file);
    SideData_Reset(&side);
    Bitmap_Destroy(&bitmap);
    return ok;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 0x7FFFFFFF) return 0;
    const int kModes[2] = {METADATA_CAMERA, METADATA_ALL};
    for (int metadata : kModes) {
        BufferStruct out = {}, again = {};
        // Every other input asks for a density, in both modes.
        const ExifCopy copy = {640, 480, metadata == METADATA_CAMERA, size % 2 ? 300 : 0, int(size % 3 == 0)};
        if (Exif_ForCopy(data, int32_t(size), metadata, &copy, &out)) {
            if (out.size <= 0 || !Fuzz_WritesWithJpeg(out.data, out.size)) abort();
            // The camera copy carries no location, by any way in.
            for (int32_t i = 0; metadata == METADATA_CAMERA && i + 3 <= out.size; ++i)
                if (out.data[i] == 'G' && out.data[i + 1] == 'P' && out.data[i + 2] == 'S') abort();
            // A block of our own making reads again.
            if (metadata == METADATA_CAMERA && !Exif_ForCopy(out.data, out.size, METADATA_CAMERA, &copy, &again))
                abort();
        }
        Buffer_Free(&again);
        Buffer_Free(&out);
    }
    char date[11];
    Naming_Date(data, int32_t(size), int32_t(size % 100000) * 1440, date);
    if (strlen(date) != 10 || date[4] != '-' || date[7] != '-') abort();
    return 0;
}

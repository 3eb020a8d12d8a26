// The measure behind the list's estimates: a picture reduced by halves with
// the resizer's own filter and encoded at three qualities.
#include "measure.h"

#include <algorithm>

#include "bitmap.h"
#include "formats.h"
#include "jpegl.h"
#include "orv-core.h"

namespace {

const char kModule[] = "app/engine/measure";

// Bytes of bitmap encoded as JPEG at quality (a fraction), or -1 when it
// cannot be encoded.
int64_t EncodedBytes(JPEGLibStruct* jpeg, BitmapStruct* bitmap, double quality) {
    unsigned char* data = nullptr;
    int32_t size = 0;
    if (!JPEG_FromBitmap(jpeg, bitmap)) return -1;
    JPEG_SetQuality(jpeg, quality);
    if (!JPEG_SaveBuffer(jpeg, &data, &size)) return -1;
    Mem_Free(data, size, MEM_HEAP, kModule, __LINE__);
    return size;
}

// Reduces from into to, half its size each way (rounded up), by the
// resizer's own filter.
int Halve(BitmapStruct* from, BitmapStruct* to) {
    return Bitmap_SetSize(to, (from->width + 1) / 2, (from->height + 1) / 2) && Bitmap_Reduce(from, to);
}

}  // namespace

int MeasureFile(const char* path, SizeFacts* facts) {
    if (!path || !facts) Core_NullPointer(kModule, __LINE__);
    if (!IsAcceptedImage(path)) return 0;
    // reduced[0] is the picture at 1/2, [1] at 1/4, [2] at 1/8; [3] decodes
    // it whole when its decoder cannot halve it.
    BitmapStruct* reduced[4] = {};
    for (BitmapStruct*& b : reduced) Bitmap_Create(&b);
    int reducedBy = 1;
    int ok = LoadImageReduced(path, reduced[3], &reducedBy);
    if (ok && reducedBy == 2)
        std::swap(reduced[0], reduced[3]);
    else
        ok = ok && Halve(reduced[3], reduced[0]);
    ok = ok && Halve(reduced[0], reduced[1]) && Halve(reduced[1], reduced[2]);
    JPEGLibStruct* jpeg = nullptr;
    JPEG_Create(&jpeg);
    SizeFacts measured = *facts;
    // A flat 8 x 8 picture costs the file's fixed part and a few bytes.
    ok = ok && Bitmap_SetSize(reduced[3], 8, 8) && Bitmap_Fill(reduced[3], 128, 128, 128, 255);
    int64_t fixed = ok ? EncodedBytes(jpeg, reduced[3], 0.75) : -1;
    int64_t quarter = -1;  // the picture's bytes at 1/4 and quality 75, its fixed part left out
    for (int i = 0; ok && i < 3; ++i) {
        int64_t bytes = EncodedBytes(jpeg, reduced[i], 0.75);
        double pixels = double(reduced[i]->width) * reduced[i]->height;
        ok = fixed > 0 && bytes > 0;
        measured.reducedBits[i] = std::max(0.01, double(bytes - fixed) * 8.0 / pixels);
        if (i == 1) quarter = bytes - fixed;
    }
    const double kQualities[2] = {0.5, 0.95};
    for (int i = 0; ok && i < 2; ++i) {
        int64_t bytes = EncodedBytes(jpeg, reduced[1], kQualities[i]);
        ok = bytes > 0 && quarter > 0;
        measured.qualityRatio[i] = ok ? std::max(0.01, double(bytes - fixed)) / double(quarter) : 0;
    }
    JPEG_Destroy(&jpeg);
    for (BitmapStruct*& b : reduced) Bitmap_Destroy(&b);
    if (!ok) {
        Log_Print(0, "Unable to measure [%s]\n", path);
        return 0;
    }
    measured.fixedBytes = double(fixed);
    measured.measured = 1;
    *facts = measured;
    return 1;
}


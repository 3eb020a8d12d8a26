// The measure behind the list's estimates: a picture reduced by halves with
// the resizer's own filter and encoded in the copies' format at three
// qualities.
#include "measure.h"

#include <algorithm>

#include "bitmap.h"
#include "input.h"
#include "orv-core.h"
#include "output.h"

namespace {

const char kModule[] = "app/engine/measure";

// Bytes of bitmap encoded as kind (COPY_*) at quality (a fraction), without
// side data, in scratch, or -1 when it cannot be encoded.
int64_t EncodedBytes(BitmapStruct* bitmap, int kind, double quality, BufferStruct* scratch) {
    const CopyEncoding how = {quality, 0, nullptr, 1, nullptr};
    return Output_Kind(kind)->save(bitmap, &how, scratch) ? scratch->size : -1;
}

// Reduces from into to, half its size each way (rounded up), by the
// resizer's own filter.
int Halve(BitmapStruct* from, BitmapStruct* to) {
    return Bitmap_SetSize(to, (from->width + 1) / 2, (from->height + 1) / 2) && Bitmap_Reduce(from, to);
}

}  // namespace

int Measure_File(const char* path, int kind, SizeFacts* facts) {
    if (!path || !facts) Core_NullPointer(kModule, __LINE__);
    if (!Input_IsAccepted(path)) return 0;
    // reduced[0] is the picture at 1/2, [1] at 1/4, [2] at 1/8; [3] decodes
    // it whole when its decoder cannot halve it.
    BitmapStruct* reduced[4] = {};
    for (BitmapStruct*& b : reduced) Bitmap_Create(&b);
    int reducedBy = 1;
    int ok = Input_LoadReduced(path, reduced[3], &reducedBy);
    if (ok && reducedBy == 2)
        std::swap(reduced[0], reduced[3]);
    else
        ok = ok && Halve(reduced[3], reduced[0]);
    ok = ok && Halve(reduced[0], reduced[1]) && Halve(reduced[1], reduced[2]);
    // Measured as the copies are written: kinds with alpha store plain
    // colours.
    if (Output_Kind(kind)->keepsAlpha)
        for (int i = 0; ok && i < 3; ++i) Bitmap_Unpremultiply(reduced[i]);
    BufferStruct scratch = {};
    const OutputKind* out = Output_Kind(kind);
    SizeFacts measured = *facts;
    // Slower encoders measure the two smaller reductions, and the half's
    // bits lie on their line.
    const int first = out->quickEncoder ? 0 : 1;
    // A flat 8 x 8 picture costs the file's fixed part and a few bytes.
    ok = ok && Bitmap_SetSize(reduced[3], 8, 8) && Bitmap_Fill(reduced[3], 128, 128, 128, 255);
    int64_t fixed = ok ? EncodedBytes(reduced[3], kind, 0.75, &scratch) : -1;
    int64_t base = -1;  // the picture's bytes at the reduction qualities are compared at, quality 75
    const int compared = out->quickEncoder ? 1 : 2;
    for (int i = first; ok && i < 3; ++i) {
        int64_t bytes = EncodedBytes(reduced[i], kind, 0.75, &scratch);
        double pixels = double(reduced[i]->width) * reduced[i]->height;
        ok = fixed > 0 && bytes > 0;
        measured.reducedBits[i] = std::max(0.01, double(bytes - fixed) * 8.0 / pixels);
        if (i == compared) base = std::max(int64_t(1), bytes - fixed);
    }
    if (ok && first == 1)
        measured.reducedBits[0] = measured.reducedBits[1] * measured.reducedBits[1] / measured.reducedBits[2];
    const double kQualities[2] = {0.5, 0.95};
    for (int i = 0; ok && i < 2; ++i) {
        // A lossless kind's size does not follow the quality.
        if (!out->hasQuality) {
            measured.qualityRatio[i] = 1.0;
            continue;
        }
        int64_t bytes = EncodedBytes(reduced[compared], kind, kQualities[i], &scratch);
        ok = bytes > 0;
        measured.qualityRatio[i] = ok ? std::max(0.01, double(bytes - fixed)) / double(base) : 0;
    }
    Buffer_Free(&scratch);
    for (BitmapStruct*& b : reduced) Bitmap_Destroy(&b);
    if (!ok) {
        Log_Print(0, "Unable to measure [%s]\n", path);
        return 0;
    }
    measured.fixedBytes = double(fixed);
    measured.measured = 1;
    measured.measuredKind = kind;
    *facts = measured;
    return 1;
}

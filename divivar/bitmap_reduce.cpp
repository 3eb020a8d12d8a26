// A whole bitmap through the reduction filter: its rows handed over in
// place, bottom-up as it stores them read from the top.
#include <string.h>

#include "bitmap.h"
#include "orv-core.h"
#include "reducer.h"

namespace {

const char kModule[] = "divivar/bitmap_reduce";

// Colours weighted by alpha, for a source that is not opaque throughout: a
// translucent pixel then counts for what it shows over black.
int Premultiply(const BitmapStruct* source, unsigned char** copy, int* bytes) {
    *copy = nullptr;
    *bytes = 0;
    const unsigned char* p = source->pixels;
    int64_t total = int64_t(source->scanline) * source->height;
    unsigned char opaque = 255;
    for (int64_t i = 3; i < total; i += 4) opaque &= p[i];
    if (opaque == 255) return 1;
    *copy = static_cast<unsigned char*>(Mem_AllocChecked(total, 1, 1, bytes, MEM_HEAP, kModule, __LINE__));
    if (!*copy) return 0;
    unsigned char* q = *copy;
    for (int64_t i = 0; i < total; i += 4) {
        unsigned a = p[i + 3];
        for (int c = 0; c < 3; ++c) q[i + c] = (unsigned char)((p[i + c] * a + 127) / 255);
        q[i + 3] = (unsigned char)a;
    }
    return 1;
}

}  // namespace

const char* Bitmap_ReductionWay(void) {
    return Reducer_Way();
}

int Bitmap_Reduce(BitmapStruct* source, BitmapStruct* destination) {
    if (!source) Core_NullPointer(kModule, __LINE__);
    return Bitmap_ReduceWindow(source, 0, 0, source->width, source->height, destination);
}

int Bitmap_ReduceWindow(BitmapStruct* source, double left, double top, double width, double height,
                        BitmapStruct* destination) {
    int32_t w = 0, h = 0, w2 = 0, h2 = 0;
    Bitmap_GetSize(source, &w, &h);
    Bitmap_GetSize(destination, &w2, &h2);
    if (w <= 0 || h <= 0 || w2 <= 0 || h2 <= 0 || !source->pixels || !destination->pixels) return 1;
    unsigned char* premultiplied = nullptr;
    int premultipliedBytes = 0;
    ReducerStruct* reducer = nullptr;
    int ok = (source->weighted || Premultiply(source, &premultiplied, &premultipliedBytes)) &&
             Reducer_Create(&reducer, w, h, left, top, width, height, destination);
    if (ok) {
        const unsigned char* pixels = premultiplied ? premultiplied : source->pixels;
        const int64_t scanline = source->scanline;
        ok = Reducer_AddRows(reducer, pixels + (h - 1) * scanline, -scanline, h);
    }
    Reducer_Destroy(&reducer);
    if (premultiplied) Mem_Free(premultiplied, premultipliedBytes, MEM_HEAP, kModule, __LINE__);
    return ok;
}

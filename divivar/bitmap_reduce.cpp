// Reduction filter: a separable Lanczos-3 convolution, the kernel widened by
// the reduction factor so that every source pixel contributes to the copy.
// Weights are 14-bit fixed point, computed once per output column and row.
// The vertical pass runs first, over whole rows, so its inner loop is one
// multiply-add along the row that the compiler vectorises; the horizontal
// pass then works on the already reduced number of rows. Between the passes
// values stay exact sums in single precision, overshoot included, so the
// filter's ringing is cut only once, at the end.
#include <math.h>
#include <string.h>

#include "bitmap.h"
#include "orv-core.h"

namespace {

const char kModule[] = "divivar/bitmap_reduce";
const int kWeightBits = 14;
const int32_t kWeightOne = 1 << kWeightBits;
const double kLobes = 3.0;
const double kPi = 3.14159265358979323846;

double Lanczos3(double x) {
    x = fabs(x);
    if (x >= kLobes) return 0.0;
    if (x < 1e-9) return 1.0;
    double px = kPi * x;
    return kLobes * sin(px) * sin(px / kLobes) / (px * px);
}

// One direction's filter: for each output position the first source
// position it reads and its weights (count of them, at most taps).
struct Axis {
    int32_t* first;    // per output position: first source position read
    int32_t* count;    // per output position: weights used, 1 to taps
    int16_t* weights;  // taps per output position, in 1/16384, summing to 16384
    int32_t taps;      // most weights one output position uses
    int firstBytes, countBytes, weightBytes;
};

void ReleaseAxis(Axis* a) {
    if (a->first) a->first = static_cast<int32_t*>(Mem_Free(a->first, a->firstBytes, MEM_HEAP, kModule, __LINE__));
    if (a->count) a->count = static_cast<int32_t*>(Mem_Free(a->count, a->countBytes, MEM_HEAP, kModule, __LINE__));
    if (a->weights)
        a->weights = static_cast<int16_t*>(Mem_Free(a->weights, a->weightBytes, MEM_HEAP, kModule, __LINE__));
}

// Output pixel i has its centre at (i + 0.5) / scale in the source, where
// source pixel j has its centre at j + 0.5. The window is cut at the
// picture's edges and its weights scaled back to a sum of one, as the usual
// reference reductions do. 0 when memory is refused.
int MakeAxis(Axis* a, int32_t in, int32_t out) {
    memset(a, 0, sizeof *a);
    double scale = double(out) / in;
    double stretch = scale < 1.0 ? 1.0 / scale : 1.0;
    double support = kLobes * stretch;
    a->taps = int32_t(ceil(support)) * 2 + 1;
    if (a->taps > in) a->taps = in;
    a->first = static_cast<int32_t*>(Mem_AllocChecked(out, 4, 1, &a->firstBytes, MEM_HEAP, kModule, __LINE__));
    a->count = static_cast<int32_t*>(Mem_AllocChecked(out, 4, 1, &a->countBytes, MEM_HEAP, kModule, __LINE__));
    a->weights =
        static_cast<int16_t*>(Mem_AllocChecked(out, a->taps, 2, &a->weightBytes, MEM_HEAP, kModule, __LINE__));
    int exactBytes = 0;
    double* exact = static_cast<double*>(Mem_AllocChecked(a->taps, 8, 1, &exactBytes, MEM_HEAP, kModule, __LINE__));
    if (!a->first || !a->count || !a->weights || !exact) {
        if (exact) Mem_Free(exact, exactBytes, MEM_HEAP, kModule, __LINE__);
        ReleaseAxis(a);
        return 0;
    }
    for (int32_t i = 0; i < out; ++i) {
        double centre = (i + 0.5) / scale;
        int32_t low = int32_t(floor(centre - support + 0.5));
        int32_t high = int32_t(floor(centre + support + 0.5));
        if (low < 0) low = 0;
        if (high > in) high = in;
        if (high - low > a->taps) high = low + a->taps;
        if (high <= low) {
            low = centre < in ? int32_t(centre) : in - 1;
            high = low + 1;
        }
        int32_t n = high - low;
        double total = 0.0;
        for (int32_t k = 0; k < n; ++k) total += exact[k] = Lanczos3((low + k + 0.5 - centre) / stretch);
        if (total == 0.0) {
            for (int32_t k = 0; k < n; ++k) exact[k] = 0.0;
            exact[n / 2] = total = 1.0;
        }
        // Rounded weights, with what rounding lost given to the largest, so
        // a flat picture stays exactly flat.
        int16_t* w = a->weights + int64_t(i) * a->taps;
        int32_t sum = 0, largest = 0;
        for (int32_t k = 0; k < n; ++k) {
            w[k] = int16_t(lround(exact[k] / total * kWeightOne));
            sum += w[k];
            if (w[k] > w[largest]) largest = k;
        }
        w[largest] = int16_t(w[largest] + kWeightOne - sum);
        a->first[i] = low;
        a->count[i] = n;
    }
    Mem_Free(exact, exactBytes, MEM_HEAP, kModule, __LINE__);
    return 1;
}

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

// One output row from the source rows the vertical filter names, into
// middle through the accumulator. Rows are taken two at a time, which halves
// the accumulator's traffic.
void VerticalRow(const unsigned char* source, int64_t scanline, int32_t first, int32_t count,
                 const int16_t* weights, int32_t* sum, float* middle, int32_t values) {
    const unsigned char* row = source + first * scanline;
    int32_t w = weights[0];
    for (int32_t x = 0; x < values; ++x) sum[x] = w * row[x];
    int32_t k = 1;
    for (; k + 1 < count; k += 2) {
        const unsigned char* a = source + (first + k) * scanline;
        const unsigned char* b = a + scanline;
        int16_t wa = weights[k], wb = weights[k + 1];
        for (int32_t x = 0; x < values; ++x) sum[x] += wa * int16_t(a[x]) + wb * int16_t(b[x]);
    }
    if (k < count) {
        row = source + (first + k) * scanline;
        w = weights[k];
        for (int32_t x = 0; x < values; ++x) sum[x] += w * row[x];
    }
    for (int32_t x = 0; x < values; ++x) middle[x] = float(sum[x]);
}

// Four channels of one pixel as one value of the vector extension that
// GCC and Clang share: the horizontal pass's taps change from pixel to
// pixel, so the channels are what it computes side by side.
typedef float Channels __attribute__((vector_size(16)));

void HorizontalRow(const float* middle, const Axis& axis, int32_t width, unsigned char* out) {
    const float unit = 1.0f / (float(kWeightOne) * float(kWeightOne));
    for (int32_t x = 0; x < width; ++x, out += 4) {
        const int16_t* w = axis.weights + int64_t(x) * axis.taps;
        const float* p = middle + int64_t(axis.first[x]) * 4;
        Channels s = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int32_t k = 0; k < axis.count[x]; ++k, p += 4) {
            Channels v;
            memcpy(&v, p, sizeof v);
            s += float(w[k]) * v;
        }
        s = s * unit + 0.5f;
        for (int c = 0; c < 4; ++c) out[c] = (unsigned char)(s[c] < 0.0f ? 0 : s[c] > 255.0f ? 255 : int(s[c]));
    }
}

}  // namespace

int Bitmap_Reduce(BitmapStruct* source, BitmapStruct* destination) {
    int32_t w = 0, h = 0, w2 = 0, h2 = 0;
    Bitmap_GetSize(source, &w, &h);
    Bitmap_GetSize(destination, &w2, &h2);
    if (w <= 0 || h <= 0 || w2 <= 0 || h2 <= 0 || !source->pixels || !destination->pixels) return 1;
    Axis across, down;
    if (!MakeAxis(&across, w, w2)) return 0;
    if (!MakeAxis(&down, h, h2)) {
        ReleaseAxis(&across);
        return 0;
    }
    unsigned char* premultiplied = nullptr;
    int premultipliedBytes = 0, sumBytes = 0, middleBytes = 0;
    int ok = Premultiply(source, &premultiplied, &premultipliedBytes);
    int32_t* sum = static_cast<int32_t*>(Mem_AllocChecked(w, 4, 4, &sumBytes, MEM_HEAP, kModule, __LINE__));
    float* middle = static_cast<float*>(Mem_AllocChecked(w, 4, 4, &middleBytes, MEM_HEAP, kModule, __LINE__));
    if (ok && sum && middle) {
        const unsigned char* pixels = premultiplied ? premultiplied : source->pixels;
        // Both pictures store rows bottom-up; centre-aligned mapping is the
        // same counted from either end, so rows go in memory order.
        for (int32_t y = 0; y < h2; ++y) {
            VerticalRow(pixels, source->scanline, down.first[y], down.count[y], down.weights + int64_t(y) * down.taps,
                        sum, middle, w * 4);
            HorizontalRow(middle, across, w2, destination->pixels + int64_t(y) * destination->scanline);
        }
    } else {
        ok = 0;
    }
    if (middle) Mem_Free(middle, middleBytes, MEM_HEAP, kModule, __LINE__);
    if (sum) Mem_Free(sum, sumBytes, MEM_HEAP, kModule, __LINE__);
    if (premultiplied) Mem_Free(premultiplied, premultipliedBytes, MEM_HEAP, kModule, __LINE__);
    ReleaseAxis(&down);
    ReleaseAxis(&across);
    return ok;
}

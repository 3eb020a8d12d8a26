// Reduction filter: a separable Lanczos-3 convolution, the kernel widened by
// the reduction factor so that every source pixel contributes to the copy.
// Weights are 14-bit fixed point, computed once per output column and row.
// The vertical pass runs first, along whole rows, two source rows at a time
// in 16-bit multiply-adds of the widest vectors the processor has; the
// horizontal pass then works on the already reduced number of rows. Between the passes
// values stay exact sums in single precision, overshoot included, so the
// filter's ringing is cut only once, at the end.
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <immintrin.h>

#include "bitmap.h"
#include "orv-core.h"

namespace {

const char kModule[] = "divivar/bitmap_reduce";
const int kWeightBits = 14;
const int32_t kWeightOne = 1 << kWeightBits;
const double kLobes = 3.0;
const double kPi = 3.14159265358979323846;
// Both passes' weights at once: what a sum of the first pass's weighted
// values is multiplied by in the second.
const float kSpreadUnit = 1.0f / (float(kWeightOne) * float(kWeightOne));

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
    float* spread;     // the same weights over 16384 squared: what the second pass multiplies by
    int32_t taps;      // most weights one output position uses
    int firstBytes, countBytes, weightBytes, spreadBytes;
};

void ReleaseAxis(Axis* a) {
    if (a->first) a->first = static_cast<int32_t*>(Mem_Free(a->first, a->firstBytes, MEM_HEAP, kModule, __LINE__));
    if (a->count) a->count = static_cast<int32_t*>(Mem_Free(a->count, a->countBytes, MEM_HEAP, kModule, __LINE__));
    if (a->weights)
        a->weights = static_cast<int16_t*>(Mem_Free(a->weights, a->weightBytes, MEM_HEAP, kModule, __LINE__));
    if (a->spread) a->spread = static_cast<float*>(Mem_Free(a->spread, a->spreadBytes, MEM_HEAP, kModule, __LINE__));
}

// Output pixel i has its centre at start + (i + 0.5) / scale in the source,
// where source pixel j has its centre at j + 0.5 and scale is out over the
// span of in that the output shows. The filter's window is cut at the
// picture's edges (not the span's: a crop's edge pixels see their
// neighbours) and its weights scaled back to a sum of one, as the usual
// reference reductions do. 0 when memory is refused.
int MakeAxis(Axis* a, int32_t in, int32_t out, double start, double span) {
    memset(a, 0, sizeof *a);
    double scale = double(out) / span;
    double stretch = scale < 1.0 ? 1.0 / scale : 1.0;
    double support = kLobes * stretch;
    a->taps = int32_t(ceil(support)) * 2 + 1;
    if (a->taps > in) a->taps = in;
    a->first = static_cast<int32_t*>(Mem_AllocChecked(out, 4, 1, &a->firstBytes, MEM_HEAP, kModule, __LINE__));
    a->count = static_cast<int32_t*>(Mem_AllocChecked(out, 4, 1, &a->countBytes, MEM_HEAP, kModule, __LINE__));
    a->weights = static_cast<int16_t*>(Mem_AllocChecked(out, a->taps, 2, &a->weightBytes, MEM_HEAP, kModule, __LINE__));
    a->spread = static_cast<float*>(Mem_AllocChecked(out, a->taps, 4, &a->spreadBytes, MEM_HEAP, kModule, __LINE__));
    int exactBytes = 0;
    double* exact = static_cast<double*>(Mem_AllocChecked(a->taps, 8, 1, &exactBytes, MEM_HEAP, kModule, __LINE__));
    if (!a->first || !a->count || !a->weights || !a->spread || !exact) {
        if (exact) Mem_Free(exact, exactBytes, MEM_HEAP, kModule, __LINE__);
        ReleaseAxis(a);
        return 0;
    }
    for (int32_t i = 0; i < out; ++i) {
        double centre = start + (i + 0.5) / scale;
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
        // A power of two apart, so the float weights are exactly the same.
        for (int32_t k = 0; k < n; ++k) a->spread[int64_t(i) * a->taps + k] = float(w[k]) * kSpreadUnit;
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

// Values of a row the vertical pass sums at a time: their sums stay in the
// first-level cache while every source row the output row needs is added.
const int32_t kStrip = 512;

// Adds wa * a[x] + wb * b[x] to sum[x] for the leading values of n that a
// processor's vectors take whole, and returns how many that was. Each pair
// of bytes (one from each row) and the pair of weights make one 16-bit
// multiply-add giving a 32-bit sum. The sums may be kept in an order of the
// vectors' own, which Settle puts right.
typedef int32_t (*AddPairs)(const unsigned char* a, const unsigned char* b, int16_t wa, int16_t wb, int32_t* sum,
                            int32_t n);
// Converts a strip's sums (the first vectorised values in AddPairs's order)
// to single precision in the order of the row.
typedef void (*Settle)(const int32_t* sum, int32_t vectorised, int32_t n, float* middle);

int32_t PairOfWeights(int16_t wa, int16_t wb) {
    return int32_t(uint32_t(uint16_t(wa)) | uint32_t(uint16_t(wb)) << 16);
}

int32_t AddPairsSse2(const unsigned char* a, const unsigned char* b, int16_t wa, int16_t wb, int32_t* sum, int32_t n) {
    const __m128i zero = _mm_setzero_si128(), pair = _mm_set1_epi32(PairOfWeights(wa, wb));
    int32_t x = 0;
    for (; x + 16 <= n; x += 16) {
        __m128i ra = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
        __m128i rb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
        __m128i low = _mm_unpacklo_epi8(ra, rb), high = _mm_unpackhi_epi8(ra, rb);
        __m128i* s = reinterpret_cast<__m128i*>(sum + x);
        s[0] = _mm_add_epi32(s[0], _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), pair));
        s[1] = _mm_add_epi32(s[1], _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), pair));
        s[2] = _mm_add_epi32(s[2], _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), pair));
        s[3] = _mm_add_epi32(s[3], _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), pair));
    }
    return x;
}

void SettleInOrder(const int32_t* sum, int32_t, int32_t n, float* middle) {
    for (int32_t x = 0; x < n; ++x) middle[x] = float(sum[x]);
}

// The same with 32 values a step. Its unpacking works within each half of
// the vector, so a block of 32 sums is kept as values 0-3, 16-19, 4-7,
// 20-23, 8-11, 24-27, 12-15, 28-31.
__attribute__((target("avx2"))) int32_t AddPairsAvx2(const unsigned char* a, const unsigned char* b, int16_t wa,
                                                     int16_t wb, int32_t* sum, int32_t n) {
    const __m256i zero = _mm256_setzero_si256(), pair = _mm256_set1_epi32(PairOfWeights(wa, wb));
    int32_t x = 0;
    for (; x + 32 <= n; x += 32) {
        __m256i ra = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + x));
        __m256i rb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + x));
        __m256i low = _mm256_unpacklo_epi8(ra, rb), high = _mm256_unpackhi_epi8(ra, rb);
        __m256i words[4] = {_mm256_unpacklo_epi8(low, zero), _mm256_unpackhi_epi8(low, zero),
                            _mm256_unpacklo_epi8(high, zero), _mm256_unpackhi_epi8(high, zero)};
        // Unaligned access throughout: 64-bit Windows keeps its stack only
        // 16-byte aligned.
        for (int i = 0; i < 4; ++i) {
            __m256i* s = reinterpret_cast<__m256i*>(sum + x + 8 * i);
            _mm256_storeu_si256(s, _mm256_add_epi32(_mm256_loadu_si256(s), _mm256_madd_epi16(words[i], pair)));
        }
    }
    return x;
}

__attribute__((target("avx2"))) void SettleAvx2(const int32_t* sum, int32_t vectorised, int32_t n, float* middle) {
    for (int32_t x = 0; x < vectorised; x += 32) {
        const __m256i* s = reinterpret_cast<const __m256i*>(sum + x);
        __m256i s0 = _mm256_loadu_si256(s), s1 = _mm256_loadu_si256(s + 1), s2 = _mm256_loadu_si256(s + 2),
                s3 = _mm256_loadu_si256(s + 3);
        _mm256_storeu_ps(middle + x, _mm256_cvtepi32_ps(_mm256_permute2x128_si256(s0, s1, 0x20)));
        _mm256_storeu_ps(middle + x + 8, _mm256_cvtepi32_ps(_mm256_permute2x128_si256(s2, s3, 0x20)));
        _mm256_storeu_ps(middle + x + 16, _mm256_cvtepi32_ps(_mm256_permute2x128_si256(s0, s1, 0x31)));
        _mm256_storeu_ps(middle + x + 24, _mm256_cvtepi32_ps(_mm256_permute2x128_si256(s2, s3, 0x31)));
    }
    for (int32_t x = vectorised; x < n; ++x) middle[x] = float(sum[x]);
}

// The widest vectors this processor has, chosen once.
struct VerticalWay {
    AddPairs add;
    Settle settle;
    const char* name;
};

VerticalWay ChooseVerticalWay() {
    const char* force = getenv("BRIMLOW_FORCE_SSE2");
    // Static objects may be made before the runtime has asked the processor.
    __builtin_cpu_init();
    if (!(force && strcmp(force, "1") == 0) && __builtin_cpu_supports("avx2"))
        return {AddPairsAvx2, SettleAvx2, "AVX2"};
    return {AddPairsSse2, SettleInOrder, "SSE2"};
}

const VerticalWay g_vertical = ChooseVerticalWay();

// One output row from the source rows the vertical filter names, into
// middle, a strip at a time, rows taken two at a time.
void VerticalRow(const unsigned char* source, int64_t scanline, int32_t first, int32_t count, const int16_t* weights,
                 float* middle, int32_t values) {
    const unsigned char* top = source + first * scanline;
    alignas(16) int32_t sum[kStrip];
    for (int32_t start = 0; start < values; start += kStrip) {
        int32_t n = values - start < kStrip ? values - start : kStrip, vectorised = 0;
        for (int32_t x = 0; x < n; ++x) sum[x] = 0;
        for (int32_t k = 0; k < count; k += 2) {
            const unsigned char* a = top + k * scanline + start;
            // The odd last row pairs with itself at weight 0.
            int last = k + 1 == count;
            const unsigned char* b = last ? a : a + scanline;
            int16_t wa = weights[k], wb = last ? 0 : weights[k + 1];
            vectorised = g_vertical.add(a, b, wa, wb, sum, n);
            for (int32_t x = vectorised; x < n; ++x) sum[x] += wa * a[x] + wb * b[x];
        }
        g_vertical.settle(sum, vectorised, n, middle + start);
    }
}

// Four channels of one pixel as one value of the vector extension that
// GCC and Clang share: the horizontal pass's taps change from pixel to
// pixel, so the channels are what it computes side by side.
typedef float Channels __attribute__((vector_size(16)));

typedef int32_t Whole __attribute__((vector_size(16)));

// Taps alternate between two sums, so that each addition need not wait for
// the one before it.
void HorizontalRow(const float* middle, const Axis& axis, int32_t width, unsigned char* out) {
    const Channels low = {0.0f, 0.0f, 0.0f, 0.0f}, high = {255.0f, 255.0f, 255.0f, 255.0f};
    for (int32_t x = 0; x < width; ++x, out += 4) {
        const float* w = axis.spread + int64_t(x) * axis.taps;
        const float* p = middle + int64_t(axis.first[x]) * 4;
        int32_t count = axis.count[x], k = 0;
        Channels even = low, odd = low, v, u;
        for (; k + 1 < count; k += 2) {
            memcpy(&v, p + 4 * k, sizeof v);
            memcpy(&u, p + 4 * k + 4, sizeof u);
            even += w[k] * v;
            odd += w[k + 1] * u;
        }
        if (k < count) {
            memcpy(&v, p + 4 * k, sizeof v);
            even += w[k] * v;
        }
        Channels s = even + odd + 0.5f;
        s = s < low ? low : s;
        s = s > high ? high : s;
        Whole c = __builtin_convertvector(s, Whole);
        for (int i = 0; i < 4; ++i) out[i] = (unsigned char)c[i];
    }
}

}  // namespace

const char* Bitmap_ReductionWay(void) {
    return g_vertical.name;
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
    if (!(left >= 0 && top >= 0 && width > 0 && height > 0 && left + width <= w + 1e-3 && top + height <= h + 1e-3))
        Core_Abort("Reduction window outside the picture\n");
    Axis across, down;
    if (!MakeAxis(&across, w, w2, left, width)) return 0;
    // Rows are stored bottom-up: the window's last row is the first in memory.
    if (!MakeAxis(&down, h, h2, h - (top + height), height)) {
        ReleaseAxis(&across);
        return 0;
    }
    unsigned char* premultiplied = nullptr;
    int premultipliedBytes = 0, middleBytes = 0;
    int ok = source->weighted || Premultiply(source, &premultiplied, &premultipliedBytes);
    float* middle = static_cast<float*>(Mem_AllocChecked(w, 4, 4, &middleBytes, MEM_HEAP, kModule, __LINE__));
    if (ok && middle) {
        const unsigned char* pixels = premultiplied ? premultiplied : source->pixels;
        // Both pictures store rows bottom-up; centre-aligned mapping is the
        // same counted from either end, so rows go in memory order.
        // The first pass sums only the columns the second reads: a crop's
        // window and the filter's reach beyond it.
        const int32_t from = across.first[0];
        const int32_t to = across.first[w2 - 1] + across.count[w2 - 1];
        for (int32_t y = 0; y < h2; ++y) {
            VerticalRow(pixels + int64_t(from) * 4, source->scanline, down.first[y], down.count[y],
                        down.weights + int64_t(y) * down.taps, middle + int64_t(from) * 4, (to - from) * 4);
            HorizontalRow(middle, across, w2, destination->pixels + int64_t(y) * destination->scanline);
        }
    } else {
        ok = 0;
    }
    if (ok) destination->weighted = 1;
    if (middle) Mem_Free(middle, middleBytes, MEM_HEAP, kModule, __LINE__);
    if (premultiplied) Mem_Free(premultiplied, premultipliedBytes, MEM_HEAP, kModule, __LINE__);
    ReleaseAxis(&down);
    ReleaseAxis(&across);
    return ok;
}

// Reduction filter: a separable Lanczos-3 convolution, the kernel widened by
// the reduction factor so that every source pixel contributes to the copy,
// fed source rows top first as they come.
// Weights are 14-bit fixed point, computed once per output column and row.
// The vertical pass runs first, along whole rows, two source rows at a time
// in 16-bit multiply-adds of the widest vectors the processor has; the
// horizontal pass then works on the already reduced number of rows. Rows
// are counted from the top throughout. Between the passes
// values stay exact sums in single precision, overshoot included, so the
// filter's ringing is cut only once, at the end.
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <immintrin.h>

#include "orv-core.h"
#include "reducer.h"

namespace {

const char kModule[] = "divivar/reducer";
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

struct ReducerStruct {
    Axis across;                // output columns over source columns
    Axis down;                  // output rows over source rows, both counted from the top
    BitmapStruct* destination;  // the caller's, sized; rows bottom-up, as every bitmap's
    int32_t sourceHeight;       // source rows: the most handed over
    int32_t from;               // first source column the first pass sums
    int32_t values;             // bytes of a source row the first pass sums: from's column to the last read
    float* middle;              // one output row after the first pass, 4 values a source column; tracked
    unsigned char* kept;        // source rows later output rows need, top first, values bytes each; tracked,
                                // null until a row is first kept
    int32_t room;               // rows kept has room for: every row one output row reads, and a run more
    int32_t keptTop;            // source row of kept's first
    int32_t keptCount;          // rows in kept
    int32_t received;           // source rows handed over so far
    int32_t next;               // next output row to make, counted from the top
    int middleBytes, keptBytes;
};

namespace {

// Rows kept beyond the most one output row reads: how many are added
// between two moves of the kept rows to the start.
const int32_t kKeptRun = 64;

// Makes every next output row whose source rows are all among count rows
// from source row top, the first at base (at the first summed column) and
// each next step bytes on.
void Emit(ReducerStruct* r, const unsigned char* base, int64_t step, int32_t top, int32_t count) {
    BitmapStruct* d = r->destination;
    while (r->next < d->height) {
        const int32_t first = r->down.first[r->next], n = r->down.count[r->next];
        if (first < top || first + n > top + count) return;
        VerticalRow(base, step, first - top, n, r->down.weights + int64_t(r->next) * r->down.taps,
                    r->middle + int64_t(r->from) * 4, r->values);
        HorizontalRow(r->middle, r->across, d->width, d->pixels + int64_t(d->height - 1 - r->next) * d->scanline);
        if (++r->next == d->height) d->weighted = 1;
    }
}

// The kept rows are forgotten when no output row to come reads any of
// them: rows come in order, so those it reads start at or after the next
// output row's first.
void ForgetUnread(ReducerStruct* r) {
    if (r->next < r->destination->height && r->keptTop + r->keptCount <= r->down.first[r->next]) r->keptCount = 0;
}

// Keeps source row (at row) for output rows to come, first dropping the
// kept rows no output row to come reads when there is no room. 1, or 0 when
// memory is refused.
int Keep(ReducerStruct* r, int32_t row, const unsigned char* at) {
    if (!r->kept) {
        r->kept = static_cast<unsigned char*>(
            Mem_AllocChecked(r->room, r->values, 1, &r->keptBytes, MEM_HEAP, kModule, __LINE__));
        if (!r->kept) return 0;
    }
    const int32_t need = r->down.first[r->next];
    ForgetUnread(r);
    if (r->keptCount == r->room) {
        // Rows are read in order, so a full store always holds some that
        // no output row to come reads: each reads fewer than room.
        const int32_t drop = need - r->keptTop;
        memmove(r->kept, r->kept + int64_t(drop) * r->values, size_t(r->keptCount - drop) * size_t(r->values));
        r->keptTop = need;
        r->keptCount -= drop;
    }
    if (r->keptCount == 0) r->keptTop = row;
    memcpy(r->kept + int64_t(r->keptCount) * r->values, at, size_t(r->values));
    ++r->keptCount;
    return 1;
}

}  // namespace

int Reducer_Reduces(int64_t sourceWidth, int64_t sourceHeight, int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= sourceWidth && height <= sourceHeight &&
           width * height < sourceWidth * sourceHeight;
}

int Reducer_Create(ReducerStruct** reducer, int32_t sourceWidth, int32_t sourceHeight, double left, double top,
                   double width, double height, BitmapStruct* destination) {
    if (!reducer || !destination) Core_NullPointer(kModule, __LINE__);
    *reducer = nullptr;
    if (!(sourceWidth > 0 && sourceHeight > 0 && destination->width > 0 && destination->height > 0 &&
          destination->pixels))
        Core_Abort("Reduction of no pixels\n");
    if (!(left >= 0 && top >= 0 && width > 0 && height > 0 && left + width <= sourceWidth + 1e-3 &&
          top + height <= sourceHeight + 1e-3))
        Core_Abort("Reduction window outside the picture\n");
    ReducerStruct* r = static_cast<ReducerStruct*>(Mem_Alloc(int(sizeof(ReducerStruct)), MEM_HEAP, kModule, __LINE__));
    memset(r, 0, sizeof *r);
    r->destination = destination;
    r->sourceHeight = sourceHeight;
    int ok = MakeAxis(&r->across, sourceWidth, destination->width, left, width);
    ok = ok && MakeAxis(&r->down, sourceHeight, destination->height, top, height);
    if (ok) {
        // The first pass sums only the columns the second reads: a crop's
        // window and the filter's reach beyond it.
        const int32_t last = destination->width - 1;
        r->from = r->across.first[0];
        r->values = (r->across.first[last] + r->across.count[last] - r->from) * 4;
        r->room = r->down.taps + kKeptRun;
        r->middle =
            static_cast<float*>(Mem_AllocChecked(sourceWidth, 4, 4, &r->middleBytes, MEM_HEAP, kModule, __LINE__));
        ok = r->middle != nullptr;
    }
    if (!ok) {
        Reducer_Destroy(&r);
        return 0;
    }
    *reducer = r;
    return 1;
}

int Reducer_Destroy(ReducerStruct** reducer) {
    if (!reducer) Core_NullPointer(kModule, __LINE__);
    ReducerStruct* r = *reducer;
    *reducer = nullptr;
    if (!r) return 1;
    ReleaseAxis(&r->across);
    ReleaseAxis(&r->down);
    if (r->middle) Mem_Free(r->middle, r->middleBytes, MEM_HEAP, kModule, __LINE__);
    if (r->kept) Mem_Free(r->kept, r->keptBytes, MEM_HEAP, kModule, __LINE__);
    Mem_Free(r, int(sizeof(ReducerStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int Reducer_AddRows(ReducerStruct* reducer, const unsigned char* rows, int64_t step, int32_t count) {
    if (!reducer || (!rows && count > 0)) Core_NullPointer(kModule, __LINE__);
    ReducerStruct* r = reducer;
    if (count > r->sourceHeight - r->received) count = r->sourceHeight - r->received;
    if (count <= 0) return 1;
    const unsigned char* at = rows + int64_t(r->from) * 4;
    const int32_t top = r->received;
    r->received += count;
    // With nothing kept that an output row to come reads, the rows this
    // band holds whole are made from the caller's rows as they are.
    ForgetUnread(r);
    if (r->keptCount == 0) Emit(r, at, step, top, count);
    for (int32_t i = 0; i < count && r->next < r->destination->height; ++i) {
        if (top + i < r->down.first[r->next]) continue;
        if (!Keep(r, top + i, at + i * step)) return 0;
        Emit(r, r->kept, r->values, r->keptTop, r->keptCount);
    }
    return 1;
}

int Reducer_Done(const ReducerStruct* reducer) {
    if (!reducer) Core_NullPointer(kModule, __LINE__);
    return reducer->next == reducer->destination->height;
}

const char* Reducer_Way(void) {
    return g_vertical.name;
}

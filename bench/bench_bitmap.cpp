// The resizer's two ways of shrinking camera-sized pictures, in source
// megapixels per second.
#include <benchmark/benchmark.h>

#include "bitmap.h"

namespace {

void FillPhotoLike(BitmapStruct* b) {
    for (int y = 0; y < b->height; ++y) {
        unsigned char* row = b->pixels + int64_t(y) * b->scanline;
        for (int x = 0; x < b->width; ++x) {
            row[x * 4] = (unsigned char)(x * 3 + y);
            row[x * 4 + 1] = (unsigned char)(x ^ y);
            row[x * 4 + 2] = (unsigned char)(y * 5);
            row[x * 4 + 3] = 255;
        }
    }
}

// The bilinear way: the batch job's resampling call (mode 3, the centres of
// source and target).
int ResampleMode3(BitmapStruct* source, BitmapStruct* target) {
    double scale = double(target->width) / source->width;
    return Bitmap_Resample(source, 3, scale, 0.0, 1.0, source->width * 0.5, source->height * 0.5, target->width * 0.5,
                           target->height * 0.5, target);
}

// One shrink of a photo-like source to the target size, as a copy is made
// (its target bitmap sized afresh each time).
template <int (*shrink)(BitmapStruct*, BitmapStruct*)>
void BM_Shrink(benchmark::State& state) {
    int sw = int(state.range(0)), sh = int(state.range(1)), dw = int(state.range(2)), dh = int(state.range(3));
    BitmapStruct* source = nullptr;
    BitmapStruct* target = nullptr;
    Bitmap_Create(&source);
    Bitmap_Create(&target);
    Bitmap_SetSize(source, sw, sh);
    FillPhotoLike(source);
    for (auto _ : state) {
        Bitmap_SetSize(target, 0, 0);
        Bitmap_SetSize(target, dw, dh);
        shrink(source, target);
        benchmark::DoNotOptimize(target->pixels);
    }
    state.counters["source_MPix/s"] =
        benchmark::Counter(double(sw) * sh / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
    Bitmap_Destroy(&target);
    Bitmap_Destroy(&source);
}
BENCHMARK_TEMPLATE(BM_Shrink, ResampleMode3)
    ->Args({5120, 2880, 1024, 576})
    ->Args({2560, 1600, 1024, 640})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Shrink, Bitmap_Reduce)
    ->Args({5120, 2880, 1024, 576})
    ->Args({2560, 1600, 1024, 640})
    ->Args({2560, 1440, 1024, 576})
    ->Unit(benchmark::kMillisecond);

}  // namespace

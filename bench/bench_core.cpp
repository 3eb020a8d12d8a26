// Speed of the core's hot paths against the C library's equivalents: the
// formatter builds every log line and list-view text, the tracked allocator
// serves every buffer.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>

#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "bench/bench_core";

void BM_StrFormat(benchmark::State& state) {
    char buf[STR_TEXT_SIZE];
    for (auto _ : state) {
        int n = Str_Format(buf, int(sizeof buf), "Resizing %d of %d, %s... %'I64d Kb", 17, 240,
                           "C:\\pictures\\holiday\\IMG_0042.JPG", int64_t(123456789));
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_StrFormat);

void BM_Snprintf(benchmark::State& state) {
    char buf[STR_TEXT_SIZE];
    for (auto _ : state) {
        int n = snprintf(buf, sizeof buf, "Resizing %d of %d, %s... %lld Kb", 17, 240,
                         "C:\\pictures\\holiday\\IMG_0042.JPG", 123456789LL);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_Snprintf);

void BM_MemAllocFree(benchmark::State& state) {
    int size = int(state.range(0));
    for (auto _ : state) {
        void* p = Mem_Alloc(size, MEM_HEAP, kModule, __LINE__);
        benchmark::DoNotOptimize(p);
        Mem_Free(p, size, MEM_HEAP, kModule, __LINE__);
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_MemAllocFree)->Arg(64)->Arg(4096)->Arg(1 << 20);

void BM_CallocFree(benchmark::State& state) {
    size_t size = size_t(state.range(0));
    for (auto _ : state) {
        void* p = calloc(1, size);
        benchmark::DoNotOptimize(p);
        free(p);
    }
    state.SetBytesProcessed(state.iterations() * int64_t(size));
}
BENCHMARK(BM_CallocFree)->Arg(64)->Arg(4096)->Arg(1 << 20);

void BM_Crc32(benchmark::State& state) {
    static unsigned char data[65536];
    for (auto _ : state) benchmark::DoNotOptimize(Core_Crc32(data, int(sizeof data)));
    state.SetBytesProcessed(state.iterations() * int64_t(sizeof data));
}
BENCHMARK(BM_Crc32);

}  // namespace

int main(int argc, char** argv) {
    Core_Init("brimlow-bench.log", 0, "%s", "Brimlow bench");
    Mem_Init(0x7FFFFFFF);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

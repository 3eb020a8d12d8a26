# Benchmarks of the native build (Google Benchmark).
find_package(benchmark REQUIRED)
add_executable(brimlow-bench bench/bench_core.cpp bench/bench_bitmap.cpp)
target_link_libraries(brimlow-bench PRIVATE brimlow-app divivar benchmark::benchmark)

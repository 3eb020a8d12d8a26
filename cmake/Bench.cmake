# Benchmarks of the native build (Google Benchmark).
find_package(benchmark REQUIRED)
add_executable(brimlow-bench bench/bench_core.cpp)
target_link_libraries(brimlow-bench PRIVATE divivar benchmark::benchmark)

# Fuzz targets. Each target is built with a plain replay driver that the
# tests run over its corpus (and over the public test images); with
# BRIMLOW_LIBFUZZER (clang) the same targets are built for libFuzzer.
option(BRIMLOW_LIBFUZZER "Build the fuzz targets for libFuzzer (needs clang)" OFF)
if(BRIMLOW_LIBFUZZER)
  # Coverage and sanitizers for everything the targets reach.
  target_compile_options(divivar PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  target_compile_options(brimlow-app PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  target_compile_options(jpegl PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  target_compile_options(pngl PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  target_compile_options(webpl PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  target_compile_options(heifl PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
endif()

function(brimlow_fuzz_target name source)
  add_executable(fuzz-${name}-replay ${source} tests/fuzz/replay.cpp)
  target_include_directories(fuzz-${name}-replay PRIVATE tests/fuzz)
  target_link_libraries(fuzz-${name}-replay PRIVATE brimlow-app divivar)
  add_test(NAME fuzz-${name}-replay
           COMMAND fuzz-${name}-replay ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name} ${ARGN})
  if(BRIMLOW_LIBFUZZER)
    add_executable(fuzz-${name} ${source})
    target_include_directories(fuzz-${name} PRIVATE tests/fuzz)
    target_compile_options(fuzz-${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(fuzz-${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(fuzz-${name} PRIVATE brimlow-app divivar)
  endif()
endfunction()

brimlow_fuzz_target(bmp tests/fuzz/fuzz_bmp.cpp ${BRIMLOW_TESTDATA}/bmp/bmpsuite)
brimlow_fuzz_target(png tests/fuzz/fuzz_png.cpp ${BRIMLOW_TESTDATA}/png)
brimlow_fuzz_target(gif tests/fuzz/fuzz_gif.cpp ${BRIMLOW_TESTDATA}/gif)
brimlow_fuzz_target(tga tests/fuzz/fuzz_tga.cpp ${BRIMLOW_TESTDATA}/tga)
brimlow_fuzz_target(jpeg tests/fuzz/fuzz_jpeg.cpp ${BRIMLOW_TESTDATA}/jpeg)
brimlow_fuzz_target(xml tests/fuzz/fuzz_xml.cpp)
brimlow_fuzz_target(pathblock tests/fuzz/fuzz_pathblock.cpp)
brimlow_fuzz_target(exif tests/fuzz/fuzz_exif.cpp)
brimlow_fuzz_target(webp tests/fuzz/fuzz_webp.cpp)
brimlow_fuzz_target(heif tests/fuzz/fuzz_heif.cpp)

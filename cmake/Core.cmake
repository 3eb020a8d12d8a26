# The bottom layer: the core library (platform-neutral modules plus one
# backend) and the bridges to the picture libraries, with the libraries
# they link and the DLLs the Windows programs carry.
set(DIVIVAR_SOURCES
    divivar/orv-str.cpp
    divivar/orv-str_format.cpp
    divivar/orv-core.cpp
    divivar/orv-core_mem.cpp
    divivar/orv-core_lock.cpp
    divivar/orv-core_crash.cpp
    divivar/file.cpp
    divivar/file_path.cpp
    divivar/thread.cpp
    divivar/pool.cpp
    divivar/sidedata.cpp
    divivar/buffer.cpp
    divivar/tiffdir.cpp
    divivar/bitmap.cpp
    divivar/bitmap_resample.cpp
    divivar/bitmap_reduce.cpp
    divivar/reducer.cpp
    divivar/bitmap_bmp.cpp
    divivar/deflatez.cpp
    divivar/png.cpp
    divivar/png_image.cpp
    divivar/rectangle.cpp
    divivar/gif.cpp
    divivar/tga.cpp
    divivar/xml.cpp
    divivar/xml_path.cpp)

if(BRIMLOW_WIN32)
  list(APPEND DIVIVAR_SOURCES divivar/orv-core_win32.cpp divivar/orv-core_win32_crash.cpp divivar/file_win32.cpp)
else()
  list(APPEND DIVIVAR_SOURCES divivar/orv-core_posix.cpp divivar/orv-core_posix_crash.cpp divivar/file_posix.cpp)
endif()

add_library(divivar STATIC ${DIVIVAR_SOURCES})
# The reduction filter's and the PNG decoder's row loops are written for
# the vectoriser, which -O2 runs only on loops whose trip count it knows.
set_source_files_properties(divivar/reducer.cpp divivar/png_image.cpp PROPERTIES COMPILE_OPTIONS "-O3")
target_include_directories(divivar PUBLIC ${CMAKE_SOURCE_DIR}/divivar)
# The JPEG bridge; jpeglib.h never shares a translation unit with windows.h.
add_library(jpegl STATIC misc/jpeg/jpegl.cpp)
target_include_directories(jpegl PUBLIC ${CMAKE_SOURCE_DIR}/misc/jpeg)
# The PNG writer: libpng (its own licence), linked statically on Windows
# from Debian's source package.
add_library(pngl STATIC misc/png/pngl.cpp)
target_include_directories(pngl PUBLIC ${CMAKE_SOURCE_DIR}/misc/png)
# The WebP bridge: libwebp with its demuxer and muxer (BSD), linked
# statically on Windows from Debian's source package.
add_library(webpl STATIC misc/webp/webpl.cpp misc/webp/webpl_encode.cpp)
target_include_directories(webpl PUBLIC ${CMAKE_SOURCE_DIR}/misc/webp)
# The TIFF bridge: libtiff (its own licence), linked statically on Windows
# from Debian's source package, with zlib and libjpeg-turbo.
add_library(tiffl STATIC misc/tiff/tiffl.cpp)
target_include_directories(tiffl PUBLIC ${CMAKE_SOURCE_DIR}/misc/tiff)
# The HEIF bridge: libheif with libde265 (LGPL), on Windows DLLs built from
# Debian's source packages and shipped beside the programs.
add_library(heifl STATIC misc/heif/heifl.cpp misc/heif/heifl_canvas.cpp)
target_include_directories(heifl PUBLIC ${CMAKE_SOURCE_DIR}/misc/heif)
if(BRIMLOW_WIN32)
  # Static libraries for the target: zlib from libz-mingw-w64-dev,
  # libjpeg-turbo built from Debian's source package (scripts/common.sh).
  find_library(BRIMLOW_ZLIB NAMES libz.a REQUIRED)
  find_library(BRIMLOW_JPEG NAMES libjpeg.a REQUIRED)
  find_path(BRIMLOW_JPEG_INCLUDE jpeglib.h REQUIRED)
  target_link_libraries(divivar PUBLIC ${BRIMLOW_ZLIB})
  target_include_directories(jpegl PRIVATE ${BRIMLOW_JPEG_INCLUDE})
  target_link_libraries(jpegl PUBLIC divivar ${BRIMLOW_JPEG})
  find_library(BRIMLOW_PNG NAMES libpng16.a libpng.a REQUIRED)
  find_path(BRIMLOW_PNG_INCLUDE libpng16/png.h REQUIRED)
  target_include_directories(pngl SYSTEM PRIVATE ${BRIMLOW_PNG_INCLUDE})
  target_link_libraries(pngl PUBLIC divivar ${BRIMLOW_PNG} ${BRIMLOW_ZLIB})
  find_library(BRIMLOW_WEBPDEMUX NAMES libwebpdemux.a REQUIRED)
  find_library(BRIMLOW_WEBPMUX NAMES libwebpmux.a REQUIRED)
  find_library(BRIMLOW_WEBP NAMES libwebp.a REQUIRED)
  find_path(BRIMLOW_WEBP_INCLUDE webp/decode.h REQUIRED)
  target_include_directories(webpl SYSTEM PRIVATE ${BRIMLOW_WEBP_INCLUDE})
  # libwebp 1.3 and later keep their colour conversion in libsharpyuv.
  find_library(BRIMLOW_SHARPYUV NAMES libsharpyuv.a)
  target_link_libraries(webpl PUBLIC divivar ${BRIMLOW_WEBPDEMUX} ${BRIMLOW_WEBPMUX} ${BRIMLOW_WEBP})
  if(BRIMLOW_SHARPYUV)
    target_link_libraries(webpl PUBLIC ${BRIMLOW_SHARPYUV})
  endif()
  find_library(BRIMLOW_TIFF NAMES libtiff.a REQUIRED)
  find_path(BRIMLOW_TIFF_INCLUDE tiffio.h REQUIRED)
  target_include_directories(tiffl SYSTEM PRIVATE ${BRIMLOW_TIFF_INCLUDE})
  target_link_libraries(tiffl PUBLIC divivar ${BRIMLOW_TIFF} ${BRIMLOW_JPEG} ${BRIMLOW_ZLIB})
  find_library(BRIMLOW_HEIF NAMES libheif.dll.a REQUIRED)
  find_path(BRIMLOW_HEIF_INCLUDE libheif/heif.h REQUIRED)
  target_include_directories(heifl SYSTEM PRIVATE ${BRIMLOW_HEIF_INCLUDE})
  target_link_libraries(heifl PUBLIC divivar ${BRIMLOW_HEIF})
  # The DLLs the programs carry, beside every program (the tests' too), and
  # the licence of every library built in, in licenses/.
  set(BRIMLOW_BUNDLED_DLLS libheif libde265)
  foreach(dll ${BRIMLOW_BUNDLED_DLLS})
    find_file(BRIMLOW_${dll}_DLL ${dll}.dll PATH_SUFFIXES bin REQUIRED)
    configure_file(${BRIMLOW_${dll}_DLL} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dll}.dll COPYONLY)
  endforeach()
  foreach(prefix ${BRIMLOW_MINGW_PREFIX})
    file(GLOB licences ${prefix}/share/licenses/*.txt)
    foreach(licence ${licences})
      get_filename_component(name ${licence} NAME)
      configure_file(${licence} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/licenses/${name} COPYONLY)
    endforeach()
  endforeach()
else()
  find_package(ZLIB REQUIRED)
  find_package(JPEG REQUIRED)
  target_link_libraries(divivar PUBLIC ZLIB::ZLIB)
  target_link_libraries(jpegl PUBLIC divivar JPEG::JPEG)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp libwebpdemux libwebpmux)
  target_link_libraries(webpl PUBLIC divivar PkgConfig::WEBP)
  pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng16)
  target_link_libraries(pngl PUBLIC divivar PkgConfig::PNG)
  pkg_check_modules(TIFF REQUIRED IMPORTED_TARGET libtiff-4)
  target_link_libraries(tiffl PUBLIC divivar PkgConfig::TIFF)
  pkg_check_modules(HEIF REQUIRED IMPORTED_TARGET libheif)
  target_link_libraries(heifl PUBLIC divivar PkgConfig::HEIF)
endif()

if(BRIMLOW_WIN32)
  target_link_libraries(divivar PUBLIC user32 kernel32 shell32)
else()
  find_package(Threads REQUIRED)
  target_link_libraries(divivar PUBLIC Threads::Threads backtrace)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # libbacktrace ships with GCC; clang builds (the fuzzers) borrow its two
    # headers without taking GCC's whole include folder.
    execute_process(COMMAND gcc -print-file-name=include OUTPUT_VARIABLE GCC_INCLUDE
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    foreach(header backtrace.h backtrace-supported.h)
      configure_file(${GCC_INCLUDE}/${header} ${CMAKE_BINARY_DIR}/gcc-include/${header} COPYONLY)
    endforeach()
    target_include_directories(divivar PRIVATE ${CMAKE_BINARY_DIR}/gcc-include)
    execute_process(COMMAND gcc -print-file-name=libbacktrace.a OUTPUT_VARIABLE GCC_BACKTRACE
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    target_link_libraries(divivar PUBLIC ${GCC_BACKTRACE})
  endif()
endif()

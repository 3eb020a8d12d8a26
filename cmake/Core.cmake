# The core library: platform-neutral modules plus one backend.
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
    divivar/bitmap.cpp
    divivar/bitmap_resample.cpp
    divivar/bitmap_reduce.cpp
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
# The reduction filter's row loops are written for the vectoriser, which
# -O2 runs only on loops whose trip count it knows.
set_source_files_properties(divivar/bitmap_reduce.cpp PROPERTIES COMPILE_OPTIONS "-O3")
target_include_directories(divivar PUBLIC ${CMAKE_SOURCE_DIR}/divivar)
# The JPEG bridge; jpeglib.h never shares a translation unit with windows.h.
add_library(jpegl STATIC misc/jpeg/jpegl.cpp)
target_include_directories(jpegl PUBLIC ${CMAKE_SOURCE_DIR}/misc/jpeg)
# The WebP bridge: libwebp and its demuxer (BSD), linked statically on
# Windows from Debian's source package.
add_library(webpl STATIC misc/webp/webpl.cpp)
target_include_directories(webpl PUBLIC ${CMAKE_SOURCE_DIR}/misc/webp)
# The HEIF bridge: libheif with libde265 (LGPL), on Windows DLLs built from
# Debian's source packages and shipped beside the programs.
add_library(heifl STATIC misc/heif/heifl.cpp)
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
  find_library(BRIMLOW_WEBPDEMUX NAMES libwebpdemux.a REQUIRED)
  find_library(BRIMLOW_WEBP NAMES libwebp.a REQUIRED)
  find_path(BRIMLOW_WEBP_INCLUDE webp/decode.h REQUIRED)
  target_include_directories(webpl SYSTEM PRIVATE ${BRIMLOW_WEBP_INCLUDE})
  target_link_libraries(webpl PUBLIC divivar ${BRIMLOW_WEBPDEMUX} ${BRIMLOW_WEBP})
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
  pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp libwebpdemux)
  target_link_libraries(webpl PUBLIC divivar PkgConfig::WEBP)
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

# The build's one version for the programs' texts, version resources and
# manifests; the minor number is shown as written ("1.00") and stored as a
# number.
math(EXPR BRIMLOW_VERSION_MINOR "${PROJECT_VERSION_MINOR} + 0")
configure_file(${CMAKE_SOURCE_DIR}/app/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/app/brimlow.manifest.in ${CMAKE_BINARY_DIR}/generated/brimlow.manifest @ONLY)

# The application's platform-neutral part: configuration record and the
# resize rules, shared by the window program and the command-line tool.
add_library(brimlow-app STATIC
    app/config.cpp
    app/config_file.cpp
    app/winmain_scale.cpp
    app/winmain_job.cpp
    app/winmain_colour.cpp
    app/winmain_exif.cpp
    app/winmain_gather.cpp
    app/winmain_batch.cpp)
target_include_directories(brimlow-app PUBLIC ${CMAKE_SOURCE_DIR}/app ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(brimlow-app PUBLIC jpegl webpl heifl divivar)
# Little CMS: natively Debian's liblcms2-dev; for Windows built from
# Debian's source package into the same prefix as libjpeg-turbo.
if(BRIMLOW_WIN32)
  find_library(BRIMLOW_LCMS NAMES liblcms2.a REQUIRED)
  find_path(BRIMLOW_LCMS_INCLUDE lcms2.h REQUIRED)
  target_include_directories(brimlow-app SYSTEM PUBLIC ${BRIMLOW_LCMS_INCLUDE})
  target_link_libraries(brimlow-app PUBLIC ${BRIMLOW_LCMS})
else()
  pkg_check_modules(LCMS2 REQUIRED IMPORTED_TARGET lcms2)
  target_link_libraries(brimlow-app PUBLIC PkgConfig::LCMS2)
endif()

# The settings and profiles the program ships with, beside every program.
foreach(shipped config.xml profiles.xml)
  configure_file(${CMAKE_SOURCE_DIR}/app/${shipped} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${shipped} COPYONLY)
endforeach()

# The command-line front-end. On Windows it carries the window program's
# manifest (UTF-8 names, long paths); so do the unit tests, which run in the
# same text environment as the programs they test.
add_executable(brimlow-cli app/cli.cpp)
target_link_libraries(brimlow-cli PRIVATE brimlow-app)
if(BRIMLOW_WIN32)
  set(BRIMLOW_CLI_RES ${CMAKE_BINARY_DIR}/brimlow-cli-res.o)
  add_custom_command(OUTPUT ${BRIMLOW_CLI_RES}
      COMMAND ${CMAKE_RC_COMPILER} -I${CMAKE_SOURCE_DIR}/app -I${CMAKE_BINARY_DIR}/generated -O coff -i cli.rc
              -o ${BRIMLOW_CLI_RES}
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/app
      DEPENDS app/cli.rc app/version.rc ${CMAKE_BINARY_DIR}/generated/version.h
              ${CMAKE_BINARY_DIR}/generated/brimlow.manifest
              app/art/brimlow.ico)
  set_source_files_properties(${BRIMLOW_CLI_RES} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  target_sources(brimlow-cli PRIVATE ${BRIMLOW_CLI_RES})
  target_link_options(brimlow-cli PRIVATE -mconsole)
endif()

# The window toolkit: Win32 components over the system's controls.
if(BRIMLOW_WIN32)
  add_library(brimlow-toolkit STATIC
      divivar/winhelpr.cpp
      divivar/winhelpr_window.cpp
      divivar/message.cpp
      divivar/blitbox.cpp
      divivar/resize.cpp
      divivar/tabctrl.cpp
      divivar/trayicon.cpp)
  target_link_libraries(brimlow-toolkit PUBLIC divivar comctl32 comdlg32 shell32 ole32 gdi32 user32)
endif()

# The window program: its windows in a library (the window tests drive
# them too), the resources and the entry point.
if(BRIMLOW_WIN32)
  file(GLOB BRIMLOW_ART ${CMAKE_SOURCE_DIR}/app/art/*.png ${CMAKE_SOURCE_DIR}/app/art/*.ico)
  # The resources, compiled by mingw's windres into an object linked as it is.
  set(BRIMLOW_RES ${CMAKE_BINARY_DIR}/brimlow-res.o)
  add_custom_command(OUTPUT ${BRIMLOW_RES}
      COMMAND ${CMAKE_RC_COMPILER} -I${CMAKE_SOURCE_DIR}/app -I${CMAKE_BINARY_DIR}/generated -O coff -i brimlow.rc
              -o ${BRIMLOW_RES}
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/app
      DEPENDS app/brimlow.rc app/version.rc ${CMAKE_BINARY_DIR}/generated/version.h app/resource.h
              ${CMAKE_BINARY_DIR}/generated/brimlow.manifest ${BRIMLOW_ART})
  set_source_files_properties(${BRIMLOW_RES} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  add_library(brimlow-gui STATIC
      app/winmain.cpp
      app/winmain_window.cpp
      app/winmain_pages.cpp
      app/winmain_list.cpp
      app/winmain_measure.cpp
      app/winmain_add.cpp
      app/previewdialog.cpp)
  target_link_libraries(brimlow-gui PUBLIC brimlow-app brimlow-toolkit)
  add_executable(brimlow app/main.cpp ${BRIMLOW_RES})
  target_link_libraries(brimlow PRIVATE brimlow-gui)
  target_link_options(brimlow PRIVATE -mwindows)
  configure_file(${CMAKE_SOURCE_DIR}/app/license.txt ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/license.txt COPYONLY)
endif()

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
    divivar/bitmap_bmp.cpp)

if(BRIMLOW_WIN32)
  list(APPEND DIVIVAR_SOURCES divivar/orv-core_win32.cpp divivar/orv-core_win32_crash.cpp divivar/file_win32.cpp)
else()
  list(APPEND DIVIVAR_SOURCES divivar/orv-core_posix.cpp divivar/orv-core_posix_crash.cpp divivar/file_posix.cpp)
endif()

add_library(divivar STATIC ${DIVIVAR_SOURCES})
target_include_directories(divivar PUBLIC ${CMAKE_SOURCE_DIR}/divivar)
if(BRIMLOW_WIN32)
  target_link_libraries(divivar PUBLIC user32 kernel32)
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

# The application's platform-neutral part: configuration record and the
# resize rules, shared by the window program and the command-line tool.
add_library(brimlow-app STATIC
    app/config.cpp
    app/winmain_scale.cpp)
target_include_directories(brimlow-app PUBLIC ${CMAKE_SOURCE_DIR}/app)
target_link_libraries(brimlow-app PUBLIC divivar)

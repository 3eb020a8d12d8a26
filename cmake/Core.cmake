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
endif()

# The application's platform-neutral part: configuration record and the
# resize rules, shared by the window program and the command-line tool.
add_library(brimlow-app STATIC
    app/config.cpp
    app/winmain_scale.cpp)
target_include_directories(brimlow-app PUBLIC ${CMAKE_SOURCE_DIR}/app)
target_link_libraries(brimlow-app PUBLIC divivar)

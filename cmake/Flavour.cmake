# Chooses the backend. The Win32 flavour is built as PE executables by
# mingw-w64 (cmake/mingw-w64.cmake) or as a Winelib program by wineg++;
# everything else gets the POSIX backend. Sources test the project's own
# macros, never the compiler's _WIN32.
set(BRIMLOW_WINELIB OFF)
if(CMAKE_CXX_COMPILER MATCHES "wineg\\+\\+|winegcc")
  set(BRIMLOW_WIN32 ON)
  set(BRIMLOW_WINELIB ON)
elseif(WIN32)
  set(BRIMLOW_WIN32 ON)
else()
  set(BRIMLOW_WIN32 OFF)
endif()

option(BRIMLOW_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_compile_options(-Wall -Wextra)
if(BRIMLOW_WIN32)
  add_compile_definitions(BRIMLOW_PLATFORM_WIN32=1)
  set(CMAKE_EXECUTABLE_SUFFIX ".exe")
  if(NOT BRIMLOW_WINELIB)
    # Nothing but the DLLs every Windows has: the C++ runtime, libgcc and
    # the threading runtime go into each executable.
    add_link_options(-static -static-libgcc -static-libstdc++)
  endif()
  # Wine's loader and an isolated prefix for running what we build.
  set(BRIMLOW_WINE_ENV
      "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix"
      "WINEDEBUG=-all"
      "WINEDLLOVERRIDES=mscoree,mshtml="
      "WINELOADER=/usr/lib/wine/wine64")
else()
  add_compile_definitions(BRIMLOW_PLATFORM_POSIX=1)
  if(BRIMLOW_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

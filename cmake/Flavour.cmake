# Chooses the backend. The Win32 flavour is built as PE executables for
# 64-bit Windows by mingw-w64 (cmake/mingw-w64.cmake); everything else gets
# the POSIX backend. Sources test the project's own macros, never the
# compiler's _WIN32.
if(WIN32)
  set(BRIMLOW_WIN32 ON)
else()
  set(BRIMLOW_WIN32 OFF)
endif()

option(BRIMLOW_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_compile_options(-Wall -Wextra)
if(BRIMLOW_WIN32)
  add_compile_definitions(BRIMLOW_PLATFORM_WIN32=1)
  set(CMAKE_EXECUTABLE_SUFFIX ".exe")
  # Nothing but the DLLs every Windows has: the C++ runtime, libgcc and the
  # threading runtime go into each executable.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Debug information in the version Wine's and older Windows debuggers
  # read: the crash report names the functions of its stack from it.
  add_compile_options(-gdwarf-4)
  # Wine's loader and an isolated prefix for running what we build, as the
  # scripts' use_wine (scripts/common.sh) sets them.
  set(BRIMLOW_WINE_ENV
      "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix"
      "WINEDEBUG=-all"
      "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe="
      "WINELOADER=/usr/lib/wine/wine64")
else()
  add_compile_definitions(BRIMLOW_PLATFORM_POSIX=1)
  if(BRIMLOW_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

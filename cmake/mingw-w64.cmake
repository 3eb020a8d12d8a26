# Cross-compiling the Win32 flavour on Debian with mingw-w64 (package
# g++-mingw-w64-x86-64): real PE executables for 64-bit Windows. The posix
# variant of the compilers carries the C++ threading runtime (winpthreads),
# linked statically like libstdc++ and libgcc.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_ASM_NASM_COMPILER nasm)
# Dependencies built for the target (libjpeg-turbo) live under a prefix of
# the build tree, given as BRIMLOW_MINGW_PREFIX.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET} ${BRIMLOW_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

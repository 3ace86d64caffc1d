# Cross-builds zorbel.exe for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64-posix). The tests run under Wine (package wine64)
# through the emulator named here, so ctest works as on a native build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZORBEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZORBEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORBEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORBEL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORBEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One file with no DLLs beside it: the C and C++ runtimes and the threads
# library are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(ZORBEL_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/bin)
if(ZORBEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZORBEL_WINE})
endif()

# What both Windows toolchain files share; they set RAWOUT_MINGW_TRIPLE and RAWOUT_WINE_PROGRAM.
# The posix thread model gives std::thread to the tests; everything links statically, so the
# programs need no DLL beyond the system's.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${RAWOUT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RAWOUT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RAWOUT_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RAWOUT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The link time stays out of the PE header (0 there), so a DLL rebuilds bit for bit.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")

# ctest runs the Windows programs under wine; Debian keeps its 64-bit loader off PATH.
find_program(RAWOUT_WINE ${RAWOUT_WINE_PROGRAM} PATHS /usr/lib/wine)
if(RAWOUT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RAWOUT_WINE})
endif()

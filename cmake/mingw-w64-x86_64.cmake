# Cross-builds the 64-bit Windows form, for 64-bit hosts, with Debian's mingw-w64
# (g++-mingw-w64-x86-64).
# The posix thread model gives std::thread to the tests; everything links statically, so the
# programs need no DLL beyond the system's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# ctest runs the Windows programs under wine's 64-bit loader, which Debian keeps off PATH.
find_program(RAWOUT_WINE wine64 PATHS /usr/lib/wine)
if(RAWOUT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RAWOUT_WINE})
endif()

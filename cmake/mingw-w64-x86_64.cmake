# Cross-builds the 64-bit Windows form, for 64-bit hosts, with Debian's mingw-w64
# (g++-mingw-w64-x86-64).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(RAWOUT_MINGW_TRIPLE x86_64-w64-mingw32)
set(RAWOUT_WINE_PROGRAM wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

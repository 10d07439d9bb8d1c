# Cross-builds the native 32-bit Windows form with Debian's mingw-w64 (g++-mingw-w64-i686).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(RAWOUT_MINGW_TRIPLE i686-w64-mingw32)
set(RAWOUT_WINE_PROGRAM wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

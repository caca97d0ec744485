# Cross-builds the 32-bit Access reader (tavrinel-access32.exe) on Debian with i686 MinGW-w64
# (POSIX threads), linked statically like tavrinel.exe. Only a 32-bit process can load the 32-bit
# Access drivers: the "Microsoft Access Driver (*.mdb)" that every Windows has, and the one of
# 32-bit Office. Its programs run under Wine in the build folder's own prefix.
#
# usage: cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -B build-windows/i686
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAVRINEL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# TAVRINEL_WINE_PREFIX: the 64-bit build's prefix, which runs 32-bit programs as well; one
# prefix is made once and shared.
set(TAVRINEL_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix" CACHE PATH "The Wine prefix for the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${TAVRINEL_WINE_PREFIX})

# Cross-builds the Windows console program on Debian with MinGW-w64 (64-bit, POSIX threads), linked
# statically so that tavrinel.exe needs nothing but what every Windows has. Programs built here
# (the unit tests) run under Wine in a prefix of the build folder's own, never the user's ~/.wine.
#
# usage: cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -B build-windows
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAVRINEL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# The wrapper keeps one Wine prefix per build folder and a wine server that outlives single runs.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)

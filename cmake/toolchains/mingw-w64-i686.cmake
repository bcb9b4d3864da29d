# 32-bit Windows through Debian's MinGW-w64 cross compilers (g++-mingw-w64-i686). Floating
# point in SSE registers, never the x87 unit, whose 80-bit intermediates would change float
# results. Test programs run under wine (Debian's i386 wine32).
set(MOTIONSEG_MINGW_TRIPLE i686-w64-mingw32)
set(MOTIONSEG_MINGW_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
find_program(MOTIONSEG_WINE NAMES wine)
if(MOTIONSEG_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MOTIONSEG_WINE})
endif()

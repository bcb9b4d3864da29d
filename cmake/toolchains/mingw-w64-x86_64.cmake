# 64-bit Windows through Debian's MinGW-w64 cross compilers (g++-mingw-w64-x86-64). Test
# programs run under wine64 (CMake's emulator, also used to list the GoogleTest cases).
set(MOTIONSEG_MINGW_TRIPLE x86_64-w64-mingw32)
set(MOTIONSEG_MINGW_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
find_program(MOTIONSEG_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(MOTIONSEG_WINE64 NAMES wine64)
if(MOTIONSEG_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MOTIONSEG_WINE64})
endif()

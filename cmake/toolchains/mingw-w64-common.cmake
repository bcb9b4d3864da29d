# Shared part of the MinGW-w64 toolchain files: MOTIONSEG_MINGW_TRIPLE names the target,
# MOTIONSEG_MINGW_FLAGS holds its compiler flags.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MOTIONSEG_MINGW_TRIPLE})
# The POSIX thread model: std::thread and std::mutex of C++11 and later (the win32 model of
# GCC 12 has neither).
foreach(_suffix -posix "")
  find_program(CMAKE_CXX_COMPILER NAMES ${MOTIONSEG_MINGW_TRIPLE}-g++${_suffix})
  find_program(CMAKE_C_COMPILER NAMES ${MOTIONSEG_MINGW_TRIPLE}-gcc${_suffix})
endforeach()
set(CMAKE_RC_COMPILER ${MOTIONSEG_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MOTIONSEG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C++ and threads runtimes linked in, so that the test programs need no DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# The tests use M_PI, which MinGW's math.h declares under strict C++17 only on request, as
# Windows' own compilers do.
set(CMAKE_CXX_FLAGS_INIT "-D_USE_MATH_DEFINES ${MOTIONSEG_MINGW_FLAGS}")
set(CMAKE_C_FLAGS_INIT "${MOTIONSEG_MINGW_FLAGS}")

# Finds GNU Octave's mkoctfile and reads from it what a plug-in needs to be built as an Octave
# .mex file: the include folders and the shared-library link flags. Sets OCTAVE_FOUND,
# OCTAVE_INCLUDE_DIRS, OCTAVE_CLI.

find_program(MKOCTFILE_EXECUTABLE mkoctfile)
find_program(OCTAVE_CLI octave-cli)
set(OCTAVE_FOUND FALSE)
if(MKOCTFILE_EXECUTABLE)
  execute_process(COMMAND ${MKOCTFILE_EXECUTABLE} -p OCTINCLUDEDIR
                  OUTPUT_VARIABLE _oct_include OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET RESULT_VARIABLE _oct_result)
  if(_oct_result EQUAL 0 AND EXISTS "${_oct_include}/mex.h")
    get_filename_component(_oct_parent "${_oct_include}" DIRECTORY)
    set(OCTAVE_INCLUDE_DIRS "${_oct_include}" "${_oct_parent}")
    set(OCTAVE_FOUND TRUE)
    message(STATUS "Octave plug-ins: mex.h from ${_oct_include}")
  endif()
endif()
if(NOT OCTAVE_FOUND)
  message(STATUS "Octave plug-ins: mkoctfile not found, only the standalone host is built")
endif()

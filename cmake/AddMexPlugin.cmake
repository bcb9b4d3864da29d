# add_mex_plugin(NAME SOURCES src... [LINK lib...] [MEX_VERSION] [OUTPUT_DIR dir])
#
# Builds one plug-in, from the same entry sources, for every available host:
#   ${NAME}_octave      GNU Octave's NAME.mex in OUTPUT_DIR, by default ${MEX_OUTPUT_DIR}
#                       (when Octave is found)
#   ${NAME}_standalone  a static library against the standalone host, for the C++ tests
#   ${NAME}_matlab      MATLAB's MEX file through FindMatlab (only with -DWITH_MATLAB=ON)
# MEX_VERSION adds the exported mexVersion function. Plug-ins export nothing else but
# mexFunction.

set(MEX_EXPORTS_MAP "${CMAKE_CURRENT_LIST_DIR}/mex_exports.map")

function(add_mex_plugin NAME)
  cmake_parse_arguments(ARG "MEX_VERSION" "OUTPUT_DIR" "SOURCES;LINK" ${ARGN})
  if(NOT ARG_OUTPUT_DIR)
    set(ARG_OUTPUT_DIR ${MEX_OUTPUT_DIR})
  endif()
  set(_sources ${ARG_SOURCES})
  if(ARG_MEX_VERSION)
    list(APPEND _sources ${PROJECT_SOURCE_DIR}/gateway/mex_version.cpp)
  endif()

  add_library(${NAME}_standalone OBJECT ${_sources})
  target_link_libraries(${NAME}_standalone PUBLIC gateway_standalone ${ARG_LINK})
  set_property(GLOBAL APPEND PROPERTY MEX_PLUGINS ${NAME})

  if(OCTAVE_FOUND AND WITH_OCTAVE)
    add_library(${NAME}_octave MODULE ${_sources})
    target_include_directories(${NAME}_octave BEFORE PRIVATE ${OCTAVE_INCLUDE_DIRS})
    target_link_libraries(${NAME}_octave PRIVATE gateway ${ARG_LINK})
    target_link_options(${NAME}_octave PRIVATE -Wl,-Bsymbolic
                        -Wl,--version-script=${MEX_EXPORTS_MAP})
    set_target_properties(${NAME}_octave PROPERTIES
      PREFIX "" SUFFIX ".mex" OUTPUT_NAME ${NAME}
      LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR}
      LINK_DEPENDS ${MEX_EXPORTS_MAP})
    add_dependencies(octave_plugins ${NAME}_octave)
  endif()

  if(WITH_MATLAB AND Matlab_FOUND)
    matlab_add_mex(NAME ${NAME}_matlab SRC ${_sources} OUTPUT_NAME ${NAME}
                   LINK_TO gateway ${ARG_LINK})
    set_target_properties(${NAME}_matlab PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/matlab)
  endif()
endfunction()

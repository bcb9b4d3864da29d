# The compiler flags of compile_flags.txt, the one list that CMake, toolbox/compile_toolbox.m
# and the GNU Octave package's src/Makefile read (see that file for its format).
#
# use_listed_release_flags(FILE): the `release` line becomes CMake's Release flags. Call it
# before any target is defined.
# apply_listed_compile_flags(FILE): every source of every target that a folder or file line
# covers gets that line's flags. Call it after every target is defined, so that tests and
# benchmarks that compile a listed source get the same flags as the plug-ins.

include(ListedLines)

# The lines of FILE: <PREFIX>_PATTERNS (what each line applies to) and <PREFIX>_<i> (its flags).
macro(_read_compile_flags FILE PREFIX)
  read_listed_lines(${FILE} ${PREFIX})
  set(${PREFIX}_PATTERNS ${${PREFIX}_KEYS})
endmacro()

macro(use_listed_release_flags FILE)
  _read_compile_flags(${FILE} _release_list)
  list(FIND _release_list_PATTERNS release _release_at)
  if(_release_at LESS 0)
    message(FATAL_ERROR "${FILE}: no release line")
  endif()
  list(JOIN _release_list_${_release_at} " " CMAKE_CXX_FLAGS_RELEASE)
endmacro()

include(ProjectTargets)

function(apply_listed_compile_flags FILE)
  _read_compile_flags(${FILE} _list)
  collect_project_targets(${PROJECT_SOURCE_DIR} _targets)
  set(_done)  # source properties belong to a folder: set them once per folder and source
  foreach(_target ${_targets})
    get_target_property(_type ${_target} TYPE)
    if(_type STREQUAL "INTERFACE_LIBRARY" OR _type STREQUAL "UTILITY")
      continue()
    endif()
    get_target_property(_dir ${_target} SOURCE_DIR)
    get_target_property(_sources ${_target} SOURCES)
    if(NOT _sources)
      continue()
    endif()
    foreach(_source ${_sources})
      get_filename_component(_path ${_source} ABSOLUTE BASE_DIR ${_dir})
      file(RELATIVE_PATH _relative ${PROJECT_SOURCE_DIR} ${_path})
      set(_flags)
      set(_index 0)
      foreach(_pattern ${_list_PATTERNS})
        if(_pattern MATCHES "/$")
          string(FIND "${_relative}" "${_pattern}" _at)
          if(_at EQUAL 0)
            list(APPEND _flags ${_list_${_index}})
          endif()
        elseif(_pattern STREQUAL _relative)
          list(APPEND _flags ${_list_${_index}})
        endif()
        math(EXPR _index "${_index} + 1")
      endforeach()
      if(_flags AND NOT "${_dir}|${_path}" IN_LIST _done)
        list(APPEND _done "${_dir}|${_path}")
        set_property(SOURCE ${_path} TARGET_DIRECTORY ${_target} APPEND PROPERTY COMPILE_OPTIONS
                     ${_flags})
      endif()
    endforeach()
  endforeach()
endfunction()

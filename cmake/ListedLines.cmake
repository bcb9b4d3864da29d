# read_listed_lines(FILE PREFIX): the lines of one of the tree's list files (plugins.txt,
# compile_flags.txt): '#' starts a comment, blank lines are ignored, a line splits on blanks
# into a key and its fields. Sets <PREFIX>_KEYS (the keys in order, as a list) and
# <PREFIX>_<i> (the fields of the i-th line, from 0), and makes FILE a configure dependency.
function(read_listed_lines FILE PREFIX)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${FILE})
  file(STRINGS ${FILE} _lines)
  set(_keys)
  set(_index 0)
  foreach(_line IN LISTS _lines)
    string(REGEX REPLACE "#.*" "" _line "${_line}")
    string(STRIP "${_line}" _line)
    if(_line STREQUAL "")
      continue()
    endif()
    string(REGEX REPLACE "[ \t]+" ";" _fields "${_line}")
    list(POP_FRONT _fields _key)
    list(APPEND _keys ${_key})
    set(${PREFIX}_${_index} ${_fields} PARENT_SCOPE)
    math(EXPR _index "${_index} + 1")
  endforeach()
  set(${PREFIX}_KEYS ${_keys} PARENT_SCOPE)
endfunction()

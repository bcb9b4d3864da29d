# add_listed_mex_plugins(FILE)
#
# Builds every plug-in of the source list FILE (plugins.txt: one line per plug-in, its name and
# then its sources relative to the top of the tree; '#' starts a comment). Sources in a mex/
# folder and gateway/mex_version.cpp are the plug-in's own, compiled against each host's mex.h
# (add_mex_plugin); every other source is a core and must belong to one of the static libraries
# defined before this call, which the plug-in then links. Call it after every subsystem has
# added its libraries.

include(ListedLines)
include(ProjectTargets)

# Reads FILE into the variables <prefix>_NAMES (the plug-in names in order) and
# <prefix>_<name> (its sources).
function(read_mex_plugin_list FILE PREFIX)
  read_listed_lines(${FILE} _lines)
  set(_names)
  set(_index 0)
  foreach(_name IN LISTS _lines_KEYS)
    if(NOT _lines_${_index})
      message(FATAL_ERROR "${FILE}: ${_name} lists no source")
    endif()
    if(_name IN_LIST _names)
      message(FATAL_ERROR "${FILE}: ${_name} is listed twice")
    endif()
    list(APPEND _names ${_name})
    set(${PREFIX}_${_name} ${_lines_${_index}} PARENT_SCOPE)
    math(EXPR _index "${_index} + 1")
  endforeach()
  set(${PREFIX}_NAMES ${_names} PARENT_SCOPE)
endfunction()

function(add_listed_mex_plugins FILE)
  # Which static library compiles each core source (paths relative to the top of the tree).
  collect_project_targets(${PROJECT_SOURCE_DIR} _targets)
  foreach(_target ${_targets})
    get_target_property(_type ${_target} TYPE)
    if(NOT _type STREQUAL "STATIC_LIBRARY")
      continue()
    endif()
    get_target_property(_dir ${_target} SOURCE_DIR)
    get_target_property(_sources ${_target} SOURCES)
    foreach(_source ${_sources})
      get_filename_component(_path ${_source} ABSOLUTE BASE_DIR ${_dir})
      file(RELATIVE_PATH _path ${PROJECT_SOURCE_DIR} ${_path})
      set(_owner_${_path} ${_target})
    endforeach()
  endforeach()

  read_mex_plugin_list(${FILE} _list)
  foreach(_name ${_list_NAMES})
    set(_own)
    set(_link)
    foreach(_source ${_list_${_name}})
      if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${_source})
        message(FATAL_ERROR "${FILE}: ${_name} lists ${_source}, which does not exist")
      endif()
      if(_source MATCHES "(^|/)mex/[^/]+$" OR _source STREQUAL "gateway/mex_version.cpp")
        list(APPEND _own ${PROJECT_SOURCE_DIR}/${_source})
      elseif(DEFINED _owner_${_source})
        list(APPEND _link ${_owner_${_source}})
      else()
        message(FATAL_ERROR "${FILE}: ${_name} lists ${_source}, which no library compiles")
      endif()
    endforeach()
    list(REMOVE_DUPLICATES _link)
    add_mex_plugin(${_name} SOURCES ${_own} LINK ${_link})
  endforeach()
endfunction()

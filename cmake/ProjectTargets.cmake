# collect_project_targets(dir out): every target defined in dir and the folders below it, for
# the build steps that go over the whole project's targets once every subsystem is added.
include_guard(GLOBAL)

function(collect_project_targets dir out)
  get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(_sub ${_subdirs})
    collect_project_targets(${_sub} _more)
    list(APPEND _targets ${_more})
  endforeach()
  set(${out} ${_targets} PARENT_SCOPE)
endfunction()

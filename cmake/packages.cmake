# slipvel_missing(WHAT TARGET GOAL): the note for a library that is not
# found, naming the Debian packages that `make GOAL` installs, from the
# project's one list (packages.list).
function(slipvel_missing what target goal)
  file(STRINGS ${PROJECT_SOURCE_DIR}/packages.list lines REGEX "^[^#]")
  set(packages "")
  foreach(line IN LISTS lines)
    string(REGEX MATCHALL "[^ \t]+" words "${line}")
    list(GET words 0 package)
    list(SUBLIST words 2 -1 goals)
    if(goal IN_LIST goals)
      list(APPEND packages ${package})
    endif()
  endforeach()
  list(JOIN packages " " packages)
  message(STATUS "${what} not found: ${target} is not built (make ${goal} installs ${packages})")
endfunction()

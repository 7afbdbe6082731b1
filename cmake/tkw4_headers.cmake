# The public-header closure of a subsystem, shared by the build
# (src/CMakeLists.txt) and the layering test (tests/check_layering.cmake) so
# the two cannot drift apart.

# tkw4_header_closure(<dir> <sub> <out> [seed...])
# The headers of `dir` (the folder of subsystem `sub`) reached from the seeds
# (by default <sub>_public.h and <sub>_services.h) through includes of the
# form "<sub>/<header>". Seeds and includes that do not exist are skipped.
function(tkw4_header_closure dir sub out)
  set(queue ${ARGN})
  if(NOT queue)
    set(queue ${sub}_public.h ${sub}_services.h)
  endif()
  set(found)
  while(queue)
    list(POP_FRONT queue header)
    if(header IN_LIST found OR NOT EXISTS ${dir}/${header})
      continue()
    endif()
    list(APPEND found ${header})
    file(STRINGS ${dir}/${header} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"${sub}/")
    foreach(line ${lines})
      string(REGEX REPLACE ".*\"${sub}/([^\"]+)\".*" "\\1" included "${line}")
      list(APPEND queue ${included})
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

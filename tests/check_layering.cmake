# The include rules of the sources, as a test. Run with -DROOT=<source root>
# and -DCHECK=wall or -DCHECK=floors.
#
# wall:   no file outside src/platform/ includes SDL, OpenGL, epoxy or the
#         system's socket headers.
# floors: a file under src/<sub>/ includes headers of its own folder, and of
#         the subsystems of lower floors only their public headers
#         (<sub>_public.h, <sub>_services.h and the headers of their folder
#         those include); the game floor (world, units, ui) reaches its
#         siblings only through their <sub>_services.h; no include climbs
#         out of its folder with "..". The build enforces the same through
#         its include paths (src/CMakeLists.txt); this test names the file.

cmake_minimum_required(VERSION 3.25)

if(CHECK STREQUAL "wall")
  file(GLOB_RECURSE files ${ROOT}/src/*.h ${ROOT}/src/*.cpp ${ROOT}/tests/*.h ${ROOT}/tests/*.cpp
       ${ROOT}/tools/*.h ${ROOT}/tools/*.cpp ${ROOT}/bench/*.cpp ${ROOT}/fuzz/*.cpp)
  set(bad "")
  foreach(f ${files})
    if(f MATCHES "/src/platform/")
      continue()
    endif()
    file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](SDL|SDL2/|GL/|epoxy/)")
    file(STRINGS ${f} socket_lines REGEX
         "^[ \t]*#[ \t]*include[ \t]*[<\"](sys/socket\\.h|sys/select\\.h|sys/poll\\.h|poll\\.h|netdb\\.h|netinet/|arpa/)")
    list(APPEND lines ${socket_lines})
    if(lines)
      list(APPEND bad ${f})
    endif()
  endforeach()
  if(bad)
    message(FATAL_ERROR "SDL, GL or socket headers included outside src/platform/: ${bad}")
  endif()
  return()
endif()

# The floors, lowest first; a subsystem may include the public headers of
# every subsystem on a lower floor.
set(floors "platform" "core" "script;render;sound;input;net" "world;units;ui" "api;editor" "app")
set(game_floor world units ui)

# The public headers of a subsystem: the same closure the build makes.
include(${ROOT}/cmake/tkw4_headers.cmake)

set(level 0)
foreach(floor ${floors})
  string(REPLACE ";" "|" members "${floor}")
  foreach(sub ${floor})
    set(level_${sub} ${level})
    tkw4_header_closure(${ROOT}/src/${sub} ${sub} public_${sub})
  endforeach()
  math(EXPR level "${level} + 1")
endforeach()

set(bad "")
file(GLOB_RECURSE files ${ROOT}/src/*.h ${ROOT}/src/*.cpp)
foreach(f ${files})
  file(RELATIVE_PATH rel ${ROOT}/src ${f})
  string(REGEX REPLACE "/.*" "" sub "${rel}")
  if(NOT DEFINED level_${sub})
    list(APPEND bad "${rel}: not in a subsystem folder")
    continue()
  endif()
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" path "${line}")
    if(path MATCHES "\\.\\.")
      list(APPEND bad "${rel}: \"${path}\" climbs out of its folder")
      continue()
    endif()
    if(NOT path MATCHES "/")
      continue()  # the generated sources' own names; no folder, no floor
    endif()
    string(REGEX REPLACE "/.*" "" target "${path}")
    string(REGEX REPLACE "^[^/]*/" "" header "${path}")
    if(target STREQUAL sub)
      continue()
    endif()
    if(NOT DEFINED level_${target})
      list(APPEND bad "${rel}: \"${path}\" is in no subsystem")
    elseif(target STREQUAL "app")
      list(APPEND bad "${rel}: \"${path}\": only app/ includes app/")
    elseif(sub IN_LIST game_floor AND target IN_LIST game_floor)
      if(NOT header STREQUAL "${target}_services.h")
        list(APPEND bad "${rel}: \"${path}\": the game floor meets only through ${target}_services.h")
      endif()
    elseif(NOT level_${target} LESS level_${sub})
      list(APPEND bad "${rel}: \"${path}\" is not on a lower floor")
    elseif(NOT header IN_LIST public_${target})
      list(APPEND bad "${rel}: \"${path}\" is private to ${target}/")
    endif()
  endforeach()
endforeach()

if(bad)
  string(REPLACE ";" "\n  " text "${bad}")
  message(FATAL_ERROR "Includes against the floors:\n  ${text}")
endif()

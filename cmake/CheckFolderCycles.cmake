# cmake -DROOT=<folder> -P CheckFolderCycles.cmake
#
# Fails when folders under ROOT that stand side by side include each other
# in a cycle: two rooms, or two sub-rooms of one room (farm/run and
# farm/slurm), directly or around a longer ring. An #include "a/b/X.h" in a
# file of folder a/c is an edge between the siblings a/c and a/b; between
# a folder and one inside it there is none, as a room's own headers are
# what its sub-rooms implement and use. Only includes of folders under ROOT
# count. Every .h and .cpp file under ROOT is read.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/FindCycle.cmake)

if(NOT IS_DIRECTORY "${ROOT}")
  message(FATAL_ERROR "CheckFolderCycles: ROOT=${ROOT} is no folder")
endif()

set(include_line "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+/[^\"]+)\"")
set(nodes "")
file(GLOB_RECURSE files RELATIVE "${ROOT}" "${ROOT}/*.h" "${ROOT}/*.cpp")
list(SORT files)
foreach(file IN LISTS files)
  get_filename_component(from "${file}" DIRECTORY)
  file(STRINGS "${ROOT}/${file}" lines REGEX "${include_line}")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "${include_line}" line "${line}")
    set(header "${CMAKE_MATCH_1}")
    get_filename_component(to "${header}" DIRECTORY)
    if(NOT IS_DIRECTORY "${ROOT}/${to}")
      continue()
    endif()
    # Drop the folders both paths share; what is left of each starts with
    # the two siblings the edge joins, unless one path holds the other.
    string(REPLACE "/" ";" from_parts "${from}")
    string(REPLACE "/" ";" to_parts "${to}")
    set(shared "")
    while(from_parts AND to_parts)
      list(GET from_parts 0 from_first)
      list(GET to_parts 0 to_first)
      if(NOT from_first STREQUAL to_first)
        break()
      endif()
      string(APPEND shared "${from_first}/")
      list(POP_FRONT from_parts)
      list(POP_FRONT to_parts)
    endwhile()
    if(NOT from_parts OR NOT to_parts)
      continue()
    endif()
    list(GET from_parts 0 from_first)
    list(GET to_parts 0 to_first)
    set(a "${shared}${from_first}")
    set(b "${shared}${to_first}")
    list(APPEND nodes "${a}")
    if(NOT b IN_LIST "edges_${a}")
      list(APPEND "edges_${a}" "${b}")
      set("why_${a}+${b}" "${file} includes ${header}")
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES nodes)

veldra_find_cycle("${nodes}" "edges_" cycle)
if(cycle)
  string(REPLACE " -> " ";" ring "${cycle}")
  set(reasons "")
  set(previous "")
  foreach(folder IN LISTS ring)
    if(previous)
      string(APPEND reasons "\n    ${why_${previous}+${folder}}")
    endif()
    set(previous "${folder}")
  endforeach()
  # Indented lines keep their shape in CMake's messages.
  message(FATAL_ERROR "Folders side by side in ${ROOT} include each other in a cycle:\n"
                      "  ${cycle}${reasons}\n"
                      "Move what they share into the folder they lie in, or into one that neither includes.")
endif()

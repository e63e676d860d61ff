# cmake -DCHECK=<CheckFolderCycles.cmake> -DWORK=<folder> -P FolderCycleProbes.cmake
#
# Writes small trees of files, each line one #include, into WORK and runs
# the folder-cycle check on each: the trees whose side-by-side folders
# include each other only one way must pass, the others must be refused
# with their cycle named.

# probe(NAME CYCLE FILE>HEADER...): a tree where each FILE includes HEADER;
# CYCLE is the cycle the check must name, "" when it must pass.
function(probe name cycle)
  set(root ${WORK}/${name})
  file(REMOVE_RECURSE ${root})
  foreach(pair ${ARGN})
    string(REPLACE ">" ";" pair ${pair})
    list(GET pair 0 file)
    list(GET pair 1 header)
    file(APPEND ${root}/${file} "#include \"${header}\"\n")
  endforeach()
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${root} -P ${CHECK}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(cycle STREQUAL "")
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${name}: refused, and it holds no cycle:\n${output}")
    endif()
  else()
    string(FIND "${output}" "  ${cycle}\n" named)
    if(status EQUAL 0 OR named EQUAL -1)
      message(FATAL_ERROR "${name}: the check should refuse the cycle ${cycle}, and said:\n${output}")
    endif()
  endif()
  message(STATUS "${name}: as it should be")
endfunction()

# A room's own headers and its sub-rooms use each other freely, at any
# depth, and a room may use another's sub-room; includes of folders that
# are not in the tree are no edges.
probe(parent_and_child ""
  room/Room.h>room/inner/Inner.h
  room/inner/Inner.cpp>room/Room.h
  room/inner/deep/Deep.h>room/Room.h
  room/Room.cpp>room/inner/deep/Deep.h
  other/Other.cpp>room/inner/Inner.h
  other/Other.cpp>engine/Warp.h
  Main.cpp>other/Other.h)
# Two sub-rooms of one room, each including the other.
probe(sub_rooms "farm/run -> farm/slurm -> farm/run"
  farm/Follow.h>farm/run/RunState.h
  farm/run/RunState.h>farm/slurm/Slurm.h
  farm/slurm/Slurm.cpp>farm/run/FarmFolder.h
  farm/run/FarmFolder.h>farm/RunFrames.h)
# The same, a level deeper.
probe(deeper_sub_rooms "image/io/plan -> image/io/png -> image/io/plan"
  image/io/plan/Plan.cpp>image/io/png/Png.h
  image/io/png/Png.h>image/io/plan/Plan.h)
# Three rooms in a ring, through their sub-rooms.
probe(ring_of_rooms "a -> b -> c -> a"
  a/x/X.cpp>b/B.h
  b/B.h>c/z/Z.h
  c/z/Z.cpp>a/A.h
  c/Own.h>c/z/Z.h)

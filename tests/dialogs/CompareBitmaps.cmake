# Runs the bitmap generator into OUTPUT and checks that it draws every file
# in EXPECTED (the bitmaps and the resource script's list of them) byte for
# byte, and no other.
file(REMOVE_RECURSE ${OUTPUT})
file(MAKE_DIRECTORY ${OUTPUT})
execute_process(COMMAND ${GENERATOR} ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the generator failed (${status})")
endif()
file(GLOB expected RELATIVE ${EXPECTED} ${EXPECTED}/*)
file(GLOB drawn RELATIVE ${OUTPUT} ${OUTPUT}/*)
if(NOT expected STREQUAL drawn)
  message(FATAL_ERROR "committed bitmaps [${expected}] differ from drawn ones [${drawn}]")
endif()
foreach(name ${expected})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${EXPECTED}/${name} ${OUTPUT}/${name}
                  RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "${name}: the generator no longer draws the committed bitmap; "
                        "redraw with the update_bitmaps target and look at it")
  endif()
endforeach()
message(STATUS "${expected}: reproduced byte for byte")

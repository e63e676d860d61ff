# Builds each allowed probe (it must compile) and each refused one, given as
# TARGET=WHY: it must fail, and its output must say WHY (its header is not
# on its include path, or the room it must not link).
foreach(target ${ALLOWED})
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${target} should build:\n${output}")
  endif()
endforeach()
foreach(entry ${REFUSED})
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 target)
  list(GET entry 1 why)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(status EQUAL 0)
    message(FATAL_ERROR "${target} goes against the layers, and it built (it should fail with: ${why})")
  endif()
  string(FIND "${output}" "${why}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${target} failed for another reason than \"${why}\":\n${output}")
  endif()
  message(STATUS "${target} is refused, as it should be: ${why}")
endforeach()

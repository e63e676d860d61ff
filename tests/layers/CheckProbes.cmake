# Builds each allowed probe (it must compile) and each refused one (it must
# fail, and because its header is not on its include path).
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
  list(GET entry 1 header)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(status EQUAL 0)
    message(FATAL_ERROR "${target} includes ${header} against the layers, and it built")
  endif()
  string(FIND "${output}" "${header}: No such file or directory" missing)
  if(missing EQUAL -1)
    message(FATAL_ERROR "${target} failed for another reason than the missing ${header}:\n${output}")
  endif()
  message(STATUS "${target}: ${header} is refused, as it should be")
endforeach()

# Brings the windows64 build's VELDRA.FLT up to date, configuring that build
# with its preset first when it has not been.
#   cmake -DSOURCE=SOURCE-TREE -DBUILD=WINDOWS64-BUILD -P BuildModule64.cmake
if(NOT EXISTS ${BUILD}/CMakeCache.txt)
  execute_process(COMMAND ${CMAKE_COMMAND} --preset windows64 -B ${BUILD} WORKING_DIRECTORY ${SOURCE}
                  COMMAND_ERROR_IS_FATAL ANY)
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target veldra_flt COMMAND_ERROR_IS_FATAL ANY)

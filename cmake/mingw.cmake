# What both Windows toolchains share. They cross-compile the real Windows
# module and host programs with mingw-w64 for VELDRA_MINGW_TRIPLE; Wine runs
# the results, so that ctest exercises a real Windows loader (32-bit programs
# in a 32-bit prefix, 64-bit ones in a 64-bit prefix: VELDRA_WINE_FLAGS). The
# posix thread model gives std::thread and std::mutex; the runtime is linked
# statically, so no thread DLL ships beside the binaries.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VELDRA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELDRA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELDRA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELDRA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${VELDRA_WINE_FLAGS})

# The 64-bit Windows build (see mingw.cmake); its programs run in the
# project's 64-bit Wine prefix.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VELDRA_MINGW_TRIPLE x86_64-w64-mingw32)
set(VELDRA_WINE_FLAGS --win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

# The 32-bit Windows build (see mingw.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VELDRA_MINGW_TRIPLE i686-w64-mingw32)
set(VELDRA_WINE_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

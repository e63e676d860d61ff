# The Windows build's processor width, VELDRA_WINDOWS_WIDTH (x86 or x64), the
# other one, VELDRA_OTHER_WINDOWS_WIDTH, and for each width W: the target
# under which clang in MSVC mode builds as the platform's C++ compiler does
# (VELDRA_MSVC_TARGET_W), the processor macro mingw-w64's headers expect from
# a GNU compiler when clang reads them in that mode (VELDRA_MINGW_CPU_W), and
# mingw-w64's folder of headers and import libraries (VELDRA_MINGW_ROOT_W).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  set(VELDRA_WINDOWS_WIDTH x64)
  set(VELDRA_OTHER_WINDOWS_WIDTH x86)
else()
  set(VELDRA_WINDOWS_WIDTH x86)
  set(VELDRA_OTHER_WINDOWS_WIDTH x64)
endif()
set(VELDRA_MSVC_TARGET_x86 i686-pc-windows-msvc)
set(VELDRA_MSVC_TARGET_x64 x86_64-pc-windows-msvc)
set(VELDRA_MINGW_CPU_x86 -D_X86_=1)
set(VELDRA_MINGW_CPU_x64 -D_AMD64_=1)
set(VELDRA_MINGW_ROOT_x86 /usr/i686-w64-mingw32)
set(VELDRA_MINGW_ROOT_x64 /usr/x86_64-w64-mingw32)

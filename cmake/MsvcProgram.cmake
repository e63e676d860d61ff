# veldra_msvc_program(NAME SOURCE [WIDTH x86|x64] [HEADERS headers...]): a
# program built as Windows hosts are, in the platform's C++ ABI: clang in
# MSVC mode, freestanding, linked by lld-link against mingw-w64's kernel32
# import library into bin/NAME.exe. WIDTH is the build's own unless given (a
# host of the other width shows that it is refused the module). Its source
# declares what it needs of the module through tests/msvc-host/MsvcHostKit.h;
# HEADERS are the further headers it includes.
# Without a frame pointer, a 32-bit callee that pops the wrong number of
# bytes leaves the host's stack off and fails the run.
find_program(VELDRA_CLANGXX clang++ REQUIRED)
find_program(VELDRA_LLD_LINK lld-link REQUIRED)

function(veldra_msvc_program name source)
  cmake_parse_arguments(P "" "WIDTH" "HEADERS" ${ARGN})
  if(NOT P_WIDTH)
    set(P_WIDTH ${VELDRA_WINDOWS_WIDTH})
  endif()
  set(kit ${PROJECT_SOURCE_DIR}/tests/msvc-host)
  set(object ${CMAKE_CURRENT_BINARY_DIR}/${name}.obj)
  set(program ${CMAKE_BINARY_DIR}/bin/${name}.exe)
  set(link_options "")
  if(P_WIDTH STREQUAL "x86")
    set(link_options /safeseh:no)  # the host has no handler table; x64 unwinds by tables instead
  endif()
  add_custom_command(OUTPUT ${object}
    COMMAND ${VELDRA_CLANGXX} --target=${VELDRA_MSVC_TARGET_${P_WIDTH}} -std=c++17 -O2 -ffreestanding -fno-exceptions
            -fno-rtti -msse2 -ffp-contract=off -mno-stack-arg-probe -fomit-frame-pointer -Wall -Wextra -Wshadow
            -I${kit} -c ${source} -o ${object}
    DEPENDS ${source} ${kit}/MsvcHostKit.h ${P_HEADERS}
    VERBATIM)
  add_custom_command(OUTPUT ${program}
    COMMAND ${VELDRA_LLD_LINK} /nologo ${link_options} /subsystem:console /entry:HostMain /nodefaultlib
            /out:${program} ${object} ${VELDRA_MINGW_ROOT_${P_WIDTH}}/lib/libkernel32.a
    DEPENDS ${object}
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${program})
  add_dependencies(${name} veldra_flt)
endfunction()

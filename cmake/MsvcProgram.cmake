# veldra_msvc_program(NAME SOURCE [HEADERS...]): a program built as Windows hosts are, in
# the platform's C++ ABI: clang in MSVC mode, freestanding, linked by lld-link
# against mingw-w64's kernel32 import library into bin/NAME.exe. Its source
# declares what it needs of the module through tests/msvc-host/MsvcHostKit.h;
# HEADERS are the further headers it includes.
# Without a frame pointer, a callee that pops the wrong number of bytes
# leaves the host's stack off and fails the run.
find_program(VELDRA_CLANGXX clang++ REQUIRED)
find_program(VELDRA_LLD_LINK lld-link REQUIRED)

function(veldra_msvc_program name source)
  set(kit ${PROJECT_SOURCE_DIR}/tests/msvc-host)
  set(object ${CMAKE_CURRENT_BINARY_DIR}/${name}.obj)
  set(program ${CMAKE_BINARY_DIR}/bin/${name}.exe)
  add_custom_command(OUTPUT ${object}
    COMMAND ${VELDRA_CLANGXX} --target=i686-pc-windows-msvc -std=c++17 -O2 -ffreestanding -fno-exceptions -fno-rtti
            -msse2 -ffp-contract=off -mno-stack-arg-probe -fomit-frame-pointer -Wall -Wextra -Wshadow
            -I${kit} -c ${source} -o ${object}
    DEPENDS ${source} ${kit}/MsvcHostKit.h ${ARGN}
    VERBATIM)
  add_custom_command(OUTPUT ${program}
    COMMAND ${VELDRA_LLD_LINK} /nologo /safeseh:no /subsystem:console /entry:HostMain /nodefaultlib
            /out:${program} ${object} ${CMAKE_FIND_ROOT_PATH}/lib/libkernel32.a
    DEPENDS ${object}
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${program})
  add_dependencies(${name} veldra_flt)
endfunction()

# Windows hosts are built with the platform's C++ compiler, so their libraries
# export MSVC-decorated names, and a module must import host services under
# those names. veldra_decorate_exports(LIBRARY SOURCES...) makes a stand-in
# host library export its functions under those names too (beside g++'s) and
# replaces its import library with one whose g++ symbols import the decorated
# names: whatever links it, the module above all, imports as from a host's
# own library. The names are never written by hand: the library's sources are
# compiled again with clang in MSVC mode and read off those objects.
find_program(VELDRA_CLANGXX clang++ REQUIRED)

# clang in MSVC mode over mingw-w64's headers and C++ library: the headers
# are told that they serve a GNU compiler, which they then read correctly.
set(VELDRA_MSVC_REFERENCE_FLAGS
  --target=${VELDRA_MSVC_TARGET_${VELDRA_WINDOWS_WIDTH}} -std=c++17 -fno-exceptions -w
  -U_MSC_VER -U_MSC_FULL_VER -D__GNUC__=12 -D__GNUC_MINOR__=0 -D__MINGW32__ ${VELDRA_MINGW_CPU_${VELDRA_WINDOWS_WIDTH}}
  -D__declspec=__declspec -D__GCC_ATOMIC_TEST_AND_SET_TRUEVAL=1
  -DWIN32_LEAN_AND_MEAN -DNOMINMAX)
foreach(folder IN LISTS CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES)
  if(NOT folder MATCHES "/gcc/.*/include(-fixed)?$")  # clang brings its own
    list(APPEND VELDRA_MSVC_REFERENCE_FLAGS -isystem ${folder})
  endif()
endforeach()

function(veldra_decorate_exports library)
  string(TOUPPER ${library} upper)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/decorated/${library})
  set(reference_objects "")
  set(compile_commands "")
  foreach(source IN LISTS ARGN)
    get_filename_component(source ${source} ABSOLUTE)
    get_filename_component(stem ${source} NAME_WE)
    list(APPEND compile_commands COMMAND ${VELDRA_CLANGXX} ${VELDRA_MSVC_REFERENCE_FLAGS}
         -DVELDRA_BUILDING_${upper} -I${CMAKE_CURRENT_SOURCE_DIR} -c ${source} -o ${work}/${stem}.obj)
    list(APPEND reference_objects ${work}/${stem}.obj)
  endforeach()
  # Before the link: the reference objects and the two .def files.
  add_custom_command(TARGET ${library} PRE_LINK
    COMMAND ${CMAKE_COMMAND} -E make_directory ${work}
    ${compile_commands}
    COMMAND ${CMAKE_COMMAND} -E env VELDRA_OBJDUMP=${CMAKE_OBJDUMP} VELDRA_OBJCOPY=${CMAKE_OBJCOPY}
            ${PROJECT_SOURCE_DIR}/host/abi/decorate-exports.sh ${library} ${work}
            --objects $<TARGET_OBJECTS:${library}> --msvc ${reference_objects}
    VERBATIM COMMAND_EXPAND_LISTS)
  target_link_options(${library} PRIVATE ${work}/${library}-exports.def)
  set_property(TARGET ${library} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/host/abi/decorate-exports.sh)
  # After the link: the import library everyone links against.
  add_custom_command(TARGET ${library} POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} -d ${work}/${library}-imports.def -l $<TARGET_LINKER_FILE:${library}>
    VERBATIM)
endfunction()

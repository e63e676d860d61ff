# Layers the build enforces. No target sees the whole source tree: each
# library offers its own folder to the targets that link it, through a link
# in the build tree, build/include/<target>/<folder> -> <source folder>. So
# `#include "filter/RotationFilter.h"` builds in a target that links
# veldra_filter (directly or through what it links) and fails anywhere else:
# a header included the wrong way through the layers does not build.

# veldra_public_folder(TARGET FOLDER): FOLDER (absolute) becomes visible to
# TARGET and to whoever links it, as `<folder name>/Header.h`.
function(veldra_public_folder target folder)
  get_filename_component(name ${folder} NAME)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${folder} ${root}/${name} SYMBOLIC)
  veldra_include_root(${target} ${root})
endfunction()

# veldra_public_headers(TARGET PREFIX HEADER...): only the named headers of
# the current source folder, as `<PREFIX>/Header.h` (PREFIX "." for none).
# For a header-only target that offers part of a folder.
function(veldra_public_headers target prefix)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(MAKE_DIRECTORY ${root}/${prefix})
  foreach(header ${ARGN})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${root}/${prefix}/${header} SYMBOLIC)
  endforeach()
  veldra_include_root(${target} ${root})
endfunction()

function(veldra_include_root target root)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# `cmake --install`: PREFIX/bin/veldra, and the module with the host
# libraries it imports and the image program in PREFIX/lib/veldra, found
# through run paths relative to each file, so that the tree works wherever
# it is put.
# `cpack -G DEB` makes a Debian package of the same tree.
set(veldra_libraries flt bmm core geom win32stub)
set_target_properties(veldra PROPERTIES INSTALL_RPATH "$ORIGIN/${VELDRA_MODULE_FOLDER_FROM_BIN}")
set_target_properties(veldra_flt veldra-images ${veldra_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS veldra RUNTIME DESTINATION bin)
install(TARGETS veldra-images RUNTIME DESTINATION lib/veldra)
install(TARGETS veldra_flt ${veldra_libraries}
        LIBRARY DESTINATION lib/veldra
        RUNTIME DESTINATION lib/veldra)

file(STRINGS ${PROJECT_SOURCE_DIR}/filter/Identity.h release_line REGEX "#define VELDRA_RELEASE ")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" veldra_release "${release_line}")

set(CPACK_PACKAGE_NAME veldra)
set(CPACK_PACKAGE_VERSION ${veldra_release})
set(CPACK_PACKAGE_VENDOR "Veldra")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Command-line host for the Veldra turn filter")
set(CPACK_PACKAGE_INSTALL_DIRECTORY veldra)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Veldra developers <dev@veldra.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Package dependencies from the libraries the files link (OpenImageIO, the
# C++ runtime...); the host libraries are the package's own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
include(CPack)

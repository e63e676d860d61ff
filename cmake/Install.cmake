# `cmake --install`: PREFIX/bin/veldra, and the module with the host
# libraries it imports in PREFIX/lib/veldra, found through run paths
# relative to each file, so that the tree works wherever it is put.
# `cpack -G DEB` makes a Debian package of the same tree.
set(veldra_libraries flt bmm core geom win32stub)
set_target_properties(veldra PROPERTIES INSTALL_RPATH "$ORIGIN/${VELDRA_MODULE_FOLDER_FROM_BIN}")
set_target_properties(veldra_flt ${veldra_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS veldra RUNTIME DESTINATION bin)
install(TARGETS veldra_flt ${veldra_libraries}
        LIBRARY DESTINATION lib/veldra
        RUNTIME DESTINATION lib/veldra)

# The Python package, where the system's Python looks for modules installed
# under the prefix (/usr/local/lib/python3.11/dist-packages for the default
# prefix); it finds the module and host libraries in PREFIX/lib/veldra. Its
# own install component, which the Debian package below leaves out: the
# package for Python programs needs dependencies of its own.
if(TARGET veldra_python)
  file(RELATIVE_PATH python_to_module /prefix/${VELDRA_PYTHON_FOLDER} /prefix/lib/veldra)
  set_target_properties(veldra_python PROPERTIES INSTALL_RPATH "$ORIGIN/${python_to_module}")
  install(TARGETS veldra_python LIBRARY DESTINATION ${VELDRA_PYTHON_FOLDER} COMPONENT python)
endif()

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
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
include(CPack)

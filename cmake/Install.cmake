# `cmake --install`: PREFIX/bin/veldra, and the module with the host
# libraries it imports, the image program and its formats plugin in
# PREFIX/lib/veldra, found
# through run paths relative to each file, so that the tree works wherever
# it is put. The manual page and the bash completion come from packaging/,
# which also makes the Debian package of this tree.
set(veldra_libraries flt bmm core geom win32stub)
set_target_properties(veldra PROPERTIES INSTALL_RPATH "$ORIGIN/${VELDRA_MODULE_FOLDER_FROM_BIN}")
set_target_properties(veldra_flt veldra-images veldra_formats ${veldra_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS veldra RUNTIME DESTINATION bin)
install(TARGETS veldra-images RUNTIME DESTINATION lib/veldra)
install(TARGETS veldra_formats LIBRARY DESTINATION lib/veldra)
install(TARGETS veldra_flt ${veldra_libraries}
        LIBRARY DESTINATION lib/veldra
        RUNTIME DESTINATION lib/veldra)

# Every shared library names the C library it runs with, as Debian's checker
# expects; some stand-ins call nothing in it, and the linker would leave it
# out.
foreach(library IN LISTS veldra_libraries)
  target_link_options(${library} PRIVATE "LINKER:--push-state,--no-as-needed,-lc,--pop-state")
endforeach()

# The Python package, where the system's Python looks for modules installed
# under the prefix (/usr/local/lib/python3.11/dist-packages/veldra for the
# default prefix); it finds the module and host libraries in
# PREFIX/lib/veldra. Its own install component, so that the Debian packaging
# puts it in a package of its own, python3-veldra.
#
# The component `wheel`, which only `pip install` asks for (setup.py),
# installs the package whole in PREFIX/veldra: the extension with the module
# and the host libraries beside it, where it finds them through its first
# run path.
if(TARGET veldra_python)
  file(RELATIVE_PATH python_to_module /prefix/${VELDRA_PYTHON_FOLDER}/veldra /prefix/lib/veldra)
  set_target_properties(veldra_python PROPERTIES INSTALL_RPATH "$ORIGIN:$ORIGIN/${python_to_module}")
  install(TARGETS veldra_python LIBRARY DESTINATION ${VELDRA_PYTHON_FOLDER}/veldra COMPONENT python)
  install(TARGETS veldra_python veldra_flt ${veldra_libraries} LIBRARY DESTINATION veldra COMPONENT wheel
          EXCLUDE_FROM_ALL)
  foreach(package IN ITEMS "${VELDRA_PYTHON_FOLDER}/veldra;python" "veldra;wheel;EXCLUDE_FROM_ALL")
    list(POP_FRONT package folder component)
    install(FILES python/veldra.pyi DESTINATION ${folder} RENAME __init__.pyi COMPONENT ${component} ${package})
    install(FILES python/py.typed DESTINATION ${folder} COMPONENT ${component} ${package})
  endforeach()
endif()

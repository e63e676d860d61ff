# The module's exports are named once, in module/exports.txt, in ordinal
# order. VELDRA_MODULE_EXPORTS holds them for whatever must spell them.
set(module_exports_file ${PROJECT_SOURCE_DIR}/module/exports.txt)
file(STRINGS ${module_exports_file} VELDRA_MODULE_EXPORTS REGEX "^[A-Za-z_]")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${module_exports_file})

# OpenImageIO for the native host programs and their tests. Debian's package
# names OpenCV's include folder among the library's include folders even
# where OpenCV is not installed, which CMake rejects; keep only the folders
# that exist.
find_package(OpenImageIO CONFIG REQUIRED)
foreach(property INTERFACE_INCLUDE_DIRECTORIES INTERFACE_SYSTEM_INCLUDE_DIRECTORIES)
  get_target_property(folders OpenImageIO::OpenImageIO ${property})
  if(folders)
    set(existing "")
    foreach(folder IN LISTS folders)
      if(EXISTS "${folder}")
        list(APPEND existing "${folder}")
      endif()
    endforeach()
    set_target_properties(OpenImageIO::OpenImageIO PROPERTIES ${property} "${existing}")
  endif()
endforeach()

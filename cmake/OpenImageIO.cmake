# OpenImageIO for the native host programs and their tests. Debian's package
# names OpenCV's include folder among the library's include folders even
# where OpenCV is not installed, which CMake rejects; keep only the folders
# that exist.
#
# Debian's Imath package, which OpenImageIO's package finds, names the Python
# bindings' library among its targets although only python3-imath installs
# it, and says so at length on every configure. veldra does not use the
# bindings: hide the package search's status lines (errors still show).
set(saved_log_level "${CMAKE_MESSAGE_LOG_LEVEL}")
set(CMAKE_MESSAGE_LOG_LEVEL NOTICE)
find_package(OpenImageIO CONFIG REQUIRED)
set(CMAKE_MESSAGE_LOG_LEVEL "${saved_log_level}")
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

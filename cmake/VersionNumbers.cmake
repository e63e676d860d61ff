# veldra_version_numbers(VERSION SEPARATOR OUT): the four numbers Windows
# version resources hold, from a release like 1.2.3 (missing ones are 0),
# joined by SEPARATOR: "1,2,3,0" for a resource script, "1.2.3.0" for NSIS.
function(veldra_version_numbers version separator out)
  string(REGEX MATCHALL "[0-9]+" numbers "${version}.0.0.0")
  list(SUBLIST numbers 0 4 numbers)
  list(JOIN numbers "${separator}" joined)
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()

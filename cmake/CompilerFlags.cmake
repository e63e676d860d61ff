# Flags every target shares. Floating point is part of the product's output:
# no fused multiply-add, no fast-math, and SSE2 arithmetic on 32-bit x86 so
# that the Windows and native builds compute identical bits.
add_compile_options(-Wall -Wextra -Wshadow -ffp-contract=off)
# The presets the test command builds turn warnings into errors, so that the
# tree stays clean; a build by hand with another compiler may warn.
option(VELDRA_WERROR "Treat warnings as errors" OFF)
if(VELDRA_WERROR)
  add_compile_options(-Werror)
endif()
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
  add_compile_options(-msse2 -mfpmath=sse)
endif()

if(WIN32)
  # No C++ runtime DLLs beside our binaries: the runtime is linked in.
  add_link_options(-static-libgcc -static-libstdc++ -static)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

option(VELDRA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(VELDRA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # Not part of GCC's "undefined" group: a float too large for its integer.
  add_compile_options(-fsanitize=float-cast-overflow)
  add_link_options(-fsanitize=float-cast-overflow)
endif()

# Coverage for libFuzzer in every target; the fuzzer itself links the driver.
option(VELDRA_FUZZ "Build the libFuzzer target (clang only)" OFF)
if(VELDRA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# The module keeps its own symbols to itself; only its exports are visible.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

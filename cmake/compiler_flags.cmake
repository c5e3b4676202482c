# Compiler and linker settings of the project's own targets. Nothing here is global: GoogleTest and
# the other third-party code keep their own settings.

# The indicator is specified bit for bit in IEEE single precision: every operation rounded on its
# own, nothing fused. 32-bit x86 needs SSE2 scalar math for that; x87 code gives other bits (also
# in the tool's own arithmetic on prices, such as a double division rounded to float). A usage
# requirement of every library whose code computes such values, since its users inline it.
add_library(tarvok_float_rules INTERFACE)
add_library(tarvok::float_rules ALIAS tarvok_float_rules)
target_compile_options(tarvok_float_rules INTERFACE -ffp-contract=off -fno-fast-math)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
  target_compile_options(tarvok_float_rules INTERFACE -msse2 -mfpmath=sse)
endif()

# Warnings, debug information, static runtimes and sanitizers for one of our targets.
function(tarvok_conventions target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  get_target_property(_type ${target} TYPE)
  if(WIN32)
    # DWARF for the debug file kept beside the stripped DLL (-g changes no generated code).
    target_compile_options(${target} PRIVATE -g)
    if(_type STREQUAL "EXECUTABLE" OR _type STREQUAL "SHARED_LIBRARY" OR _type STREQUAL "MODULE_LIBRARY")
      # The runtimes linked in, so that the DLL and the programs import only system DLLs.
      target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
  endif()
  if(TARVOK_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${TARVOK_SANITIZE} -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    if(NOT _type STREQUAL "STATIC_LIBRARY" AND NOT _type STREQUAL "OBJECT_LIBRARY")
      target_link_options(${target} PRIVATE -fsanitize=${TARVOK_SANITIZE})
    endif()
  endif()
endfunction()

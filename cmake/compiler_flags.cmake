# The indicator is specified bit for bit in IEEE single precision: every operation rounded on its
# own, nothing fused. 32-bit x86 needs SSE2 scalar math for that; x87 code gives other bits.
add_compile_options(-ffp-contract=off -fno-fast-math)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
  add_compile_options(-msse2 -mfpmath=sse)
endif()

add_compile_options(-Wall -Wextra -Wpedantic)

if(WIN32)
  # Link the runtimes in so that the DLL and the programs import only system DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # DWARF for the debug file kept beside the stripped DLL (-g changes no generated code).
  add_compile_options(-g)
endif()

if(TARVOK_SANITIZE)
  add_compile_options(-fsanitize=${TARVOK_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TARVOK_SANITIZE})
endif()

# The part of the MinGW-w64 toolchain files that does not depend on the target: the compilers of
# TARVOK_MINGW_TRIPLE in their -win32 variant (no winpthreads in the DLL: linked with it, every
# load and free by a host leaks handles and a TLS index), and the find rules of a cross build.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TARVOK_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TARVOK_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${TARVOK_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${TARVOK_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump for PE files")

set(CMAKE_FIND_ROOT_PATH /usr/${TARVOK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

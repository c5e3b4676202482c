# Cross build of the 32-bit Windows DLL and programs with Debian's MinGW-w64 g++ for i686.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARVOK_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_toolchain_common.cmake)

# Test programs run under Wine through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)

# 64-bit Windows build of the same sources, for running the Windows test programs under 64-bit
# Wine on machines whose kernel runs no 32-bit program (and so no 32-bit Wine). The product is the
# 32-bit DLL; this build exercises everything of it that is not tied to 32-bit code: the loader,
# DllMain, the thread pool, TLS, files and processes.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARVOK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_toolchain_common.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run --64)

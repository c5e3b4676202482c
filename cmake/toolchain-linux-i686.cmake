# 32-bit x86 Linux build of the indicator and its tests, run under qemu-i386 user emulation: the
# same GCC back end, flags and 32-bit calling conventions as the Windows DLL, on machines that run
# no 32-bit program natively (and so no Wine either).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# 64-bit file offsets and inode numbers: without them readdir and stat fail with EOVERFLOW on file
# systems with large inode numbers, and files over 2 GiB cannot be read.
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static)

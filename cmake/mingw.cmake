# Cross-compiles for Windows with MinGW-w64 (posix thread model), statically linked.
# QUORIN_WINDOWS_ARCH picks the target: i686 (the shipped 32-bit program, the default) or
# x86_64 (the same sources as a 64-bit program, for machines that cannot run 32-bit code).
set(QUORIN_WINDOWS_ARCH i686 CACHE STRING "i686 or x86_64")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUORIN_WINDOWS_ARCH})
set(triplet ${QUORIN_WINDOWS_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The resource scripts are UTF-8 with Japanese texts.
set(CMAKE_RC_FLAGS_INIT "-c 65001")

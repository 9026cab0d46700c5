# Cross-building for Windows with Debian's mingw-w64, POSIX thread model (std::thread needs it).
# Included by mingw-w64-x86_64.cmake and mingw-w64-i686.cmake, which name the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VERRELUNE_MINGW_PROCESSOR})
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VERRELUNE_MINGW_TRIPLE VERRELUNE_MINGW_PROCESSOR)

set(CMAKE_C_COMPILER ${VERRELUNE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VERRELUNE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VERRELUNE_MINGW_TRIPLE}-windres)
set(CMAKE_ASM_NASM_COMPILER nasm)

set(CMAKE_FIND_ROOT_PATH /usr/${VERRELUNE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One program file that needs no DLL beyond Windows' own: the C and C++ runtimes and the
# thread library are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

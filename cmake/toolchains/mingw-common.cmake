# What both MinGW-w64 cross builds share; the toolchain file that includes
# this sets KORU_MINGW_TRIPLE first.
set(CMAKE_C_COMPILER ${KORU_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORU_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORU_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW sysroot only; programs (the
# host's tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KORU_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime linked in: the programs need no DLL beyond those Windows
# ships (no libgcc, libstdc++ or winpthread DLL beside the program).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Release programs without their symbol tables.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

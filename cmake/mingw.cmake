# Shared part of the mingw-w64 cross toolchains: the including file sets QNMURO_MINGW_TRIPLE.
# The -posix compilers carry the thread model std::mutex and std::thread need; libgcc,
# libstdc++ and winpthread are linked statically so that the programs import only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QNMURO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QNMURO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QNMURO_MINGW_TRIPLE}-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Headers and libraries come from the mingw tree and the prefixes given on the command line
# (the cross-built GoogleTest); programs are the build machine's.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${QNMURO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Shared part of the MinGW-w64 toolchains; the including file sets COMPENV_MINGW_TRIPLET.
# Debian's "-posix" compilers are used: their libstdc++ has std::thread and friends,
# which GoogleTest's sources expect.
set(CMAKE_C_COMPILER ${COMPENV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${COMPENV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${COMPENV_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${COMPENV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained exe: the C++ runtime, libgcc and winpthread linked in, so only
# system DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Release builds carry no symbol table.
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")

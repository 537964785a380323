# Shared part of the mingw-w64 toolchain files. The caller sets
# DUVANE_MINGW_TRIPLET (i686-w64-mingw32 or x86_64-w64-mingw32).
#
# The posix thread variant of the compilers: GCC 12's default win32 variant
# has no std::thread or std::mutex. libgcc, libstdc++ and winpthread are
# linked statically, so the programs need no mingw DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)  # Windows 7: the oldest workstations served

set(CMAKE_C_COMPILER ${DUVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DUVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DUVANE_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${DUVANE_MINGW_TRIPLET}-dlltool)
set(CMAKE_OBJDUMP ${DUVANE_MINGW_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${DUVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

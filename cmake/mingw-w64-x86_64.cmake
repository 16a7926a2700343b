# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (GCC 12).
# The -posix compilers: the unsuffixed ones use win32 threads, without
# std::thread or std::mutex, which Qt and this program need.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELVOR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELVOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELVOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELVOR_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${ZELVOR_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZELVOR_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries and headers come from the target's sysroot and the prefixes given
# in CMAKE_PREFIX_PATH (Qt and Nettle built for Windows); programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ZELVOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and tools started by CTest run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine CACHE FILEPATH "")

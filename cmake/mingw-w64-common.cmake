# What the two MinGW-w64 toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR and
# MINGW_TRIPLET first and then includes this file.
set(CMAKE_SYSTEM_NAME Windows)

# The "-posix" compilers use the winpthreads thread model: GCC 12's default "-win32"
# model has no std::thread, std::mutex or std::condition_variable. winpthreads is
# linked statically like the rest.
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# Headers, libraries and CMake packages come from the MinGW sysroot, and from any
# prefix given with -DCMAKE_FIND_ROOT_PATH=... (e.g. a GoogleTest built with this
# file and installed there); programs (code generators, tools) from the build machine.
if(NOT "/usr/${MINGW_TRIPLET}" IN_LIST CMAKE_FIND_ROOT_PATH)
  list(APPEND CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# C99/C++11 printf formats (%zu, %lld, %Lf) from MinGW's own implementation rather
# than msvcrt's. These headers already default to it; said here so that it stays so.
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")

# Test programs (ctest, gtest_discover_tests) run through Wine's 64-bit loader, wrapped
# by tools/wine-run.sh for a quiet, ready prefix and the exit code; the loader hands a
# 32-bit program to Wine's 32-bit side (Debian's wine32:i386). Without Wine the build
# still works; only running the tests does not.
get_filename_component(_tavro_wine_run "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh" ABSOLUTE)
find_program(WINE64_LOADER NAMES wine64
             PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_CMAKE_FIND_ROOT_PATH)
if(WINE64_LOADER AND EXISTS "${_tavro_wine_run}")
  set(CMAKE_CROSSCOMPILING_EMULATOR "${_tavro_wine_run}")
endif()

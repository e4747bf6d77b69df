# Cross build for 32-bit Windows with Debian's MinGW-w64 (packages g++-mingw-w64-i686,
# binutils-mingw-w64-i686):
#   cmake -S . -B build-win32 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-i686.cmake
# The programs link the C and C++ runtimes statically, so an .exe needs only DLLs that
# ship with Windows (KERNEL32, USER32, msvcrt, ...).
#
# No test runner is set: a 32-bit program needs Wine's 32-bit loader, which a 64-bit-only
# machine (or kernel) cannot start. Such a build is compiled and packaged, not run;
# gtest_discover_tests must not run at build time here (use DISCOVERY_MODE PRE_TEST, or
# leave the tests out of this build).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(MINGW_TRIPLET i686-w64-mingw32)
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

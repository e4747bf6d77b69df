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
set(CMAKE_SYSTEM_PROCESSOR x86)

set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

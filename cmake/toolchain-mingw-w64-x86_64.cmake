# Cross build for 64-bit Windows with Debian's MinGW-w64 (packages g++-mingw-w64-x86-64,
# binutils-mingw-w64-x86-64), tests run under Wine:
#   cmake -S . -B build-win64 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake
# (and -DBUILD_PACKAGING=ON for the icon and the packages, as tools/build-windows.sh has it)
# The programs link the C and C++ runtimes statically, so an .exe needs only DLLs that
# ship with Windows (KERNEL32, USER32, msvcrt, ...).
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)


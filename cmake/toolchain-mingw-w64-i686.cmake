# Cross build for 32-bit Windows with Debian's MinGW-w64 (packages g++-mingw-w64-i686,
# binutils-mingw-w64-i686), tests run under Wine's 32-bit side (wine32:i386) where the
# kernel runs 32-bit programs (tests/windows/wine32_guard.sh):
#   cmake -S . -B build-win32 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-i686.cmake
# (and -DBUILD_PACKAGING=ON for the icon and the packages, as tools/build-windows.sh has it)
# The programs link the C and C++ runtimes statically, so an .exe needs only DLLs that
# ship with Windows (KERNEL32, USER32, msvcrt, ...).
set(CMAKE_SYSTEM_PROCESSOR x86)

set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

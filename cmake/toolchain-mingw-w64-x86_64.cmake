# Cross build for 64-bit Windows with Debian's MinGW-w64 (packages g++-mingw-w64-x86-64,
# binutils-mingw-w64-x86-64), tests run under Wine:
#   cmake -S . -B build-win64 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake
# The programs link the C and C++ runtimes statically, so an .exe needs only DLLs that
# ship with Windows (KERNEL32, USER32, msvcrt, ...).
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Test programs (ctest, gtest_discover_tests) run through Wine's 64-bit loader, wrapped
# by tools/wine-run.sh for a quiet, ready prefix and the exit code. Without Wine the
# build still works; only running the tests does not.
get_filename_component(_tavro_wine_run "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh" ABSOLUTE)
find_program(WINE64_LOADER NAMES wine64
             PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_CMAKE_FIND_ROOT_PATH)
if(WINE64_LOADER AND EXISTS "${_tavro_wine_run}")
  set(CMAKE_CROSSCOMPILING_EMULATOR "${_tavro_wine_run}")
endif()

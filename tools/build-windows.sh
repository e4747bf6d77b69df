#!/usr/bin/env bash
# Cross-builds the Windows program on Debian with MinGW-w64, each with its tests:
#   build-win64/shopping-list.exe   64-bit
#   build-win32/shopping-list.exe   32-bit
# Installs the Debian packages it needs first (nothing when they are present):
# MinGW-w64, Wine's 64-bit side and its 32-bit side (wine32 of the i386
# architecture, which runs the 32-bit build under the same 64-bit loader), NSIS,
# and what the window tests use. Builds GoogleTest from Debian's sources with
# each build's toolchain once per build folder, then configures and builds each
# build folder.
#   bash tools/build-windows.sh          # both builds
#   WIN32_BUILD=0 bash tools/build-windows.sh   # the 64-bit one only
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/shell-lib.sh
. "$root/tools/shell-lib.sh"

packages=(
  cmake ninja-build python3
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686 libz-mingw-w64-dev
  googletest
  wine64 wine32:i386
  nsis
  librsvg2-bin
  xvfb xauth xdotool xclip x11-utils imagemagick fonts-dejavu-core
  util-linux
)
# wine32 comes from the i386 architecture. Nothing is removed for it (the
# install fails instead). A Wine prefix made before it was there has no 32-bit
# side: tools/wine-env.sh makes such a prefix anew.
add_package_architecture i386
install_missing_packages "${packages[@]}"

jobs=${BUILD_JOBS:-2}

# Builds one Windows build: TOOLCHAIN (a cmake/toolchain-mingw-w64-*.cmake
# name) into build folder FOLDER, with GoogleTest for that toolchain from
# /usr/src/googletest installed inside the folder (built again only when that
# install is missing).
build_windows() {
  local toolchain=$root/cmake/toolchain-mingw-w64-$1.cmake folder=$root/$2
  local gtest=$folder/googletest
  if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
    echo "== GoogleTest for Windows ($1)"
    cmake -S /usr/src/googletest -B "$gtest/build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF \
      -DCMAKE_INSTALL_PREFIX="$gtest/install" >/dev/null
    cmake --build "$gtest/build" -j "$jobs"
    cmake --install "$gtest/build" >/dev/null
  fi
  echo "== Windows $1 build ($2)"
  # Configured every time: a folder configured before keeps its build, and
  # takes the options here (an older build-win32 was configured without tests).
  cmake -S "$root" -B "$folder" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_FIND_ROOT_PATH="$gtest/install" -DBUILD_TESTING=ON -DBUILD_PACKAGING=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
  cmake --build "$folder" -j "$jobs"
}

build_windows x86_64 build-win64
if [ "${WIN32_BUILD:-1}" != 0 ]; then
  build_windows i686 build-win32
fi

#!/usr/bin/env bash
# Cross-builds the Windows program on Debian with MinGW-w64:
#   build-win64/shopping-list.exe   64-bit, tested under Wine and shipped
#   build-win32/shopping-list.exe   32-bit, built only (this kernel cannot run it)
# Installs the Debian packages it needs first (nothing when they are present),
# builds GoogleTest from Debian's sources with the 64-bit toolchain once per
# build folder, and configures each build folder only when it has not been.
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
  wine64
  nsis
  librsvg2-bin
  xvfb xauth xdotool xclip x11-utils imagemagick fonts-dejavu-core
  util-linux
)
install_missing_packages "${packages[@]}"

jobs=${BUILD_JOBS:-2}

# GoogleTest for the 64-bit build, from /usr/src/googletest, installed inside
# the build folder; built again only when that install is missing.
build64=$root/build-win64
gtest=$build64/googletest
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
  echo "== GoogleTest for Windows (x86-64)"
  cmake -S /usr/src/googletest -B "$gtest/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF \
    -DCMAKE_INSTALL_PREFIX="$gtest/install" >/dev/null
  cmake --build "$gtest/build" -j "$jobs"
  cmake --install "$gtest/build" >/dev/null
fi

echo "== Windows x86-64 build (build-win64)"
if [ ! -f "$build64/build.ninja" ]; then
  cmake -S "$root" -B "$build64" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64-x86_64.cmake" \
    -DCMAKE_FIND_ROOT_PATH="$gtest/install" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
fi
cmake --build "$build64" -j "$jobs"

if [ "${WIN32_BUILD:-1}" != 0 ]; then
  echo "== Windows i686 build (build-win32, built only)"
  build32=$root/build-win32
  if [ ! -f "$build32/build.ninja" ]; then
    cmake -S "$root" -B "$build32" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64-i686.cmake" \
      -DBUILD_TESTING=OFF \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
  fi
  cmake --build "$build32" -j "$jobs"
fi

#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and run the shopping-list
# generator, and to build its Debian package with dpkg-buildpackage (every
# Build-Depends of debian/control is here). Does nothing when every package is
# already present.
set -euo pipefail
# shellcheck source=tools/shell-lib.sh
. "$(dirname "$0")/shell-lib.sh"

packages=(
  cmake g++ ninja-build pkg-config
  libcurl4-openssl-dev
  qt6-base-dev
  googletest libgtest-dev
  python3
  util-linux
  clang libclang-rt-14-dev
  valgrind
  libbenchmark-dev strace time
  librsvg2-bin desktop-file-utils dpkg-dev file binutils
  scdoc groff-base man-db lintian appstream
  debhelper fakeroot
  libxcb1-dev xvfb xauth xdotool x11-utils xclip imagemagick fonts-dejavu-core
)

install_missing_packages "${packages[@]}"

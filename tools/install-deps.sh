#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and run the shopping-list
# generator. Does nothing when every package is already present.
set -euo pipefail

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
  libxcb1-dev xvfb xauth xdotool x11-utils xclip imagemagick fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo_cmd apt-get update -qq
$sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs what the project needs, builds it, and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/install-deps.sh"
build="$root/${BUILD_DIR:-build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_COMPILE_WARNING_AS_ERROR=ON ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build"
cd "$build"
ctest --output-on-failure -j2 "$@"

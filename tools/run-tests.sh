#!/usr/bin/env bash
# Installs what the project needs, builds it, and runs the whole test suite:
# the normal build, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short run of every fuzz target.
# SKIP_SANITIZERS=1 or SKIP_FUZZ=1 leave those parts out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/install-deps.sh"

echo "== Build and tests"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$root/build"
(cd "$root/build" && ctest --output-on-failure -j2)

if [ "${SKIP_SANITIZERS:-0}" != 1 ]; then
    echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    cmake -S "$root" -B "$root/build-asan" -G Ninja -DSANITIZE=ON \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
    cmake --build "$root/build-asan"
    (cd "$root/build-asan" && ctest --output-on-failure -j2)
fi

if [ "${SKIP_FUZZ:-0}" != 1 ]; then
    echo "== Fuzz targets, a short run each"
    CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DBUILD_FUZZERS=ON >/dev/null
    cmake --build "$root/build-fuzz"
    (cd "$root/build-fuzz" && ctest --output-on-failure -j2 -L fuzz)
fi

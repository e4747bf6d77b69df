#!/usr/bin/env bash
# Installs what the project needs, builds it, and runs the whole test suite:
# the normal build, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the core's and the console's tests under
# ThreadSanitizer, and a short run of every fuzz target; then the Debian package
# built twice by dpkg-buildpackage, the first time with its tests (dh_auto_test),
# and compared byte for byte (tools/check-reproducible.sh). The Windows part (see
# there) ends with the same comparison of the Windows programs and zips.
# SKIP_SANITIZERS=1, SKIP_FUZZ=1 or SKIP_REPRODUCIBLE=1 leave those parts out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/install-deps.sh"

# Configures build folder $1 with the CMake options after it, builds it and
# runs its tests. BUILD_PACKAGING=ON where the tests include those of the
# installation and the packages.
build_and_test() {
    local folder=$root/$1
    shift
    cmake -S "$root" -B "$folder" -G Ninja -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "$@" >/dev/null
    cmake --build "$folder"
    (cd "$folder" && ctest --output-on-failure -j2)
}

echo "== Build and tests"
build_and_test build -DBUILD_PACKAGING=ON

if [ "${SKIP_SANITIZERS:-0}" != 1 ]; then
    echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    build_and_test build-asan -DSANITIZE=ON -DBUILD_PACKAGING=ON
    echo "== The core's and the console's tests under ThreadSanitizer"
    build_and_test build-tsan -DSANITIZE_THREAD=ON
fi

if [ "${SKIP_FUZZ:-0}" != 1 ]; then
    echo "== Fuzz targets, a short run each"
    CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DBUILD_FUZZERS=ON >/dev/null
    cmake --build "$root/build-fuzz"
    (cd "$root/build-fuzz" && ctest --output-on-failure -j2 -L fuzz)
fi

if [ "${SKIP_REPRODUCIBLE:-0}" != 1 ]; then
    echo "== The Debian package: built by dpkg-buildpackage with its tests, built again, compared"
    DEB_TESTS=1 bash "$root/tools/check-reproducible.sh" deb
fi

# ---------------------------------------------------------------- Windows
# The Windows builds, cross-built with MinGW-w64 (tools/build-windows.sh: the 64-bit
# program and the 32-bit one), and the same tests of each under Wine, each build in a
# Wine prefix made fresh for this run (after tools/build-windows.sh has installed
# Wine's 32-bit side). The 32-bit tests are skipped, with the reason in one line,
# where this machine runs no 32-bit programs. Then each program and its zip are built
# again in another folder and compared byte for byte with the first
# (tools/check-reproducible.sh). SKIP_WINDOWS=1 leaves this part out.
if [ "${SKIP_WINDOWS:-0}" != 1 ]; then
    echo "== Windows build (MinGW-w64) and its tests under Wine"
    windows_started=$SECONDS
    bash "$root/tools/build-windows.sh"
    echo "== The Windows builds took $((SECONDS - windows_started)) s"
    # shellcheck source=tools/wine-env.sh
    . "$root/tools/wine-env.sh"
    for build in win64 win32; do
        echo "== Windows $build tests (build-$build)"
        tests_started=$SECONDS
        if [ "$build" = win32 ]; then
            (wine_env_setup && wine32_probe) || true
        fi
        (
            export WINEPREFIX="$root/build-$build/wine-prefix"
            wine_env_setup
            "$WINESERVER_BIN" -k 2>/dev/null || true
            rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
            wine_prefix_ready
        )
        (cd "$root/build-$build" && ctest --output-on-failure -j2)
        echo "== The Windows $build tests took $((SECONDS - tests_started)) s"
    done
    if [ "${SKIP_REPRODUCIBLE:-0}" != 1 ]; then
        echo "== The Windows programs and zips, built again and compared"
        bash "$root/tools/check-reproducible.sh" windows
    fi
    echo "== The Windows part took $((SECONDS - windows_started)) s"
fi

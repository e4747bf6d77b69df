#!/usr/bin/env bash
# Checks that the same sources give the same bytes: builds what the project ships
# twice, in two folders and at two times, and compares the two byte for byte:
#   deb      the Debian package that dpkg-buildpackage makes (tools/build-deb.sh,
#            without its tests): the .deb and its -dbgsym .deb
#   windows  build-win64/shopping-list.exe and build-win32/shopping-list.exe, and
#            the ZIP package of each (cpack -G ZIP)
# One line per file says "same" or "DIFFERS"; for a file that differs, diffoscope
# (installed then, the minimal one) prints its report's first lines. Ends with 1
# when a file differs, 0 when all are the same.
#
#   bash tools/check-reproducible.sh             both parts
#   bash tools/check-reproducible.sh deb         the Debian package only
#   bash tools/check-reproducible.sh windows     the Windows files only
#
# The Debian package is built twice from one copy of the tree (taken at the
# start), each time in a temporary folder of its own, one after the other; DEB_TESTS=1 runs the tests in the first build
# (dh_auto_test), which then shows that the package builds as a distribution
# builds it, tests and all. The Windows part takes build-win64 and build-win32
# as the first build (tools/build-windows.sh makes them, or brings them up to date;
# WIN32_BUILD=0 leaves the 32-bit one out, as there), and builds each again in a
# temporary folder: the program and its package only, without the tests.
# KEEP=FOLDER keeps both builds' files there (first/ and second/), with
# diffoscope's whole report of each file that differs; else they are removed.
# BUILD_JOBS (default 2) compilers run at a time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source=tools/shell-lib.sh
. "$root/tools/shell-lib.sh"

parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(deb windows)
for part in "${parts[@]}"; do
    case $part in
        deb | windows) ;;
        *) echo "usage: $0 [deb] [windows]" >&2; exit 2 ;;
    esac
done
jobs=${BUILD_JOBS:-2}

if [ -n "${KEEP:-}" ]; then
    mkdir -p "$KEEP"
    results=$(cd "$KEEP" && pwd)
else
    results=$(mktemp -d "${TMPDIR:-/tmp}/tavro-reproducible.XXXXXX")
    trap 'rm -rf "$results"' EXIT
fi
rm -rf "$results/first" "$results/second"
mkdir -p "$results/first" "$results/second"

differing=0
# Compares first/$1 with second/$1.
compare() {
    local name=$1 first=$results/first/$1 second=$results/second/$1
    if [ ! -f "$first" ] || [ ! -f "$second" ]; then
        echo "MISSING  $name" >&2
        differing=$((differing + 1))
    elif cmp -s "$first" "$second"; then
        echo "same     $name ($(sha256sum < "$first" | cut -c1-16))"
    else
        echo "DIFFERS  $name"
        differing=$((differing + 1))
        install_missing_packages diffoscope-minimal >&2
        local report=$results/${name//\//_}.diffoscope.txt
        diffoscope --no-progress --text "$report" "$first" "$second" >/dev/null 2>&1 || true
        head -n 60 "$report" | sed 's/^/    /'
    fi
}

# Runs a command with its output in LOG; shows the end of the log when it fails.
logged() {
    local log=$1
    shift
    if ! "$@" >> "$log" 2>&1; then
        echo "failed: $* (the end of $log:)" >&2
        tail -n 40 "$log" >&2
        return 1
    fi
}

# ---------------------------------------------------------------- the Debian package

check_deb() {
    local started=$SECONDS build deb options=nocheck
    # Both builds are of one copy of the tree, taken now: edits made meanwhile
    # are in neither.
    local snapshot=$results/sources
    rm -rf "$snapshot"
    mkdir -p "$snapshot"
    copy_source_tree "$root" "$snapshot"
    for build in first second; do
        [ $build = first ] && [ "${DEB_TESTS:-0}" = 1 ] && options= || options=nocheck
        echo "== Debian package, $build build${options:+ (DEB_BUILD_OPTIONS=$options)}"
        logged "$results/$build/build-deb.log" env DEB_BUILD_OPTIONS=$options BUILD_JOBS="$jobs" \
            bash "$snapshot/tools/build-deb.sh" "$results/$build/deb"
        echo "== $((SECONDS - started)) s"
    done
    for deb in "$results"/first/deb/*.deb; do compare "deb/${deb##*/}"; done
    rm -rf "$snapshot"
    echo "== The Debian package's builds took $((SECONDS - started)) s"
}

# ---------------------------------------------------------------- the Windows files

# Packs the ZIP package of Windows build folder $1 into $2.
pack_zip() {
    (cd "$1" && cpack -G ZIP -B "$2" > "$2.log" 2>&1) || { tail -n 40 "$2.log" >&2; return 1; }
}

check_windows() {
    local started=$SECONDS architectures=(win64) arch toolchain second
    [ "${WIN32_BUILD:-1}" = 0 ] || architectures+=(win32)
    echo "== Windows, first build (build-win64, build-win32)"
    WIN32_BUILD=${WIN32_BUILD:-1} BUILD_JOBS=$jobs bash "$root/tools/build-windows.sh" > "$results/first/build-windows.log" 2>&1 ||
        { tail -n 40 "$results/first/build-windows.log" >&2; return 1; }
    for arch in "${architectures[@]}"; do
        mkdir -p "$results/first/$arch" "$results/second/$arch"
        cp "$root/build-$arch/shopping-list.exe" "$results/first/$arch/"
        pack_zip "$root/build-$arch" "$results/first/$arch/zip"
    done
    for arch in "${architectures[@]}"; do
        echo "== Windows $arch, second build (in a temporary folder)"
        case $arch in win64) toolchain=x86_64 ;; *) toolchain=i686 ;; esac
        second=$(mktemp -d "${TMPDIR:-/tmp}/tavro-windows.XXXXXX")/build-$arch
        logged "$results/second/$arch/build.log" cmake -S "$root" -B "$second" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64-$toolchain.cmake" \
            -DBUILD_TESTING=OFF -DBUILD_PACKAGING=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
        logged "$results/second/$arch/build.log" cmake --build "$second" -j "$jobs"
        cp "$second/shopping-list.exe" "$results/second/$arch/"
        pack_zip "$second" "$results/second/$arch/zip"
        rm -rf "$(dirname "$second")"
    done
    for arch in "${architectures[@]}"; do
        compare "$arch/shopping-list.exe"
        for zip in "$results/first/$arch/zip"/*.zip; do compare "$arch/zip/${zip##*/}"; done
    done
    echo "== The Windows builds took $((SECONDS - started)) s"
}

for part in "${parts[@]}"; do "check_$part"; done
if [ $differing -gt 0 ]; then
    echo "== $differing file(s) differ between two builds of the same sources"
    exit 1
fi
echo "== Every file is the same in both builds"

#!/usr/bin/env bash
# Builds the Debian package from this source tree as a distribution builds it
# (dpkg-buildpackage -us -uc -b with the rules in debian/) and puts what that
# makes into OUTPUT, which is made when missing:
#   bash tools/build-deb.sh OUTPUT
# OUTPUT gets tavro-shopping-list_<version>_<arch>.deb, its -dbgsym package, and
# the .changes and .buildinfo files that name them.
# dpkg-buildpackage writes its results beside the source tree, so the build runs
# in a copy of the tree in a folder of its own under TMPDIR (the files git tracks
# or does not ignore; the whole tree, less its build folders, where it is no git
# checkout), removed afterwards.
# DEB_BUILD_OPTIONS is passed on (nocheck leaves the tests out, and their build);
# BUILD_JOBS (default 2) compilers and tests run at a time. It installs nothing:
# tools/install-deps.sh installs what the build needs (debian/control's
# Build-Depends), and dpkg-buildpackage says what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd -P)
# shellcheck source=tools/shell-lib.sh
. "$root/tools/shell-lib.sh"
[ $# -eq 1 ] || { echo "usage: $0 OUTPUT" >&2; exit 2; }
mkdir -p "$1"
output=$(cd "$1" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/tavro-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
source_copy=$work/tavro-shopping-list
mkdir "$source_copy"
copy_source_tree "$root" "$source_copy"

(cd "$source_copy" && dpkg-buildpackage -us -uc -b -j"${BUILD_JOBS:-2}")

shopt -s nullglob
made=("$work"/*.deb "$work"/*.changes "$work"/*.buildinfo)
[ ${#made[@]} -gt 0 ] || { echo "dpkg-buildpackage made nothing in $work" >&2; exit 1; }
mv -f "${made[@]}" "$output"/
echo "== The Debian package is in $output:"
(cd "$output" && ls -1 "${made[@]##*/}")

#!/usr/bin/env bash
# Runs the console end-to-end tests with the program under Valgrind's
# memcheck: any invalid access or leak changes the program's output or exit
# code, so the tests fail on it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build"
export SHOPPING_LIST_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect"
cd "$root/build"
ctest --output-on-failure -j2 -R 'ConsoleTest|ServiceFaultTest' --timeout 600

#!/usr/bin/env bash
# Runs a test of the 32-bit Windows build only where this machine runs 32-bit
# Windows programs under Wine as they are (tools/wine-env.sh: wine32_probe):
#   wine32_guard.sh COMMAND [ARGUMENTS...]
# Where it does not (a kernel without IA32 emulation, or one that would hand
# 32-bit programs to an emulator), it says why in one line and ends with 77,
# which ctest reports as skipped (SKIP_RETURN_CODE); it never falls back to
# emulation. Without Wine's 32-bit side it fails: the install scripts bring it.
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/wine-env.sh
. "$here/../../tools/wine-env.sh"
wine_env_setup || exit $?
said=$(wine32_probe)
case $? in
0) exec "$@" ;;
1) echo "skipped: $said"; exit 77 ;;
*) echo "$said" >&2; exit 1 ;;
esac

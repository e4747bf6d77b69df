#!/usr/bin/env bash
# Runs a Windows build of the program (or any Windows console program) under Wine:
#   tools/wine-run.sh path/to/program.exe [arguments...]
# The program gets the caller's environment, current folder (as Z:\...) and standard
# handles: a terminal becomes its console, a file or pipe stays a file or pipe. Its
# exit code is passed through (Unix keeps the low 8 bits of it).
# Settings: WINEPREFIX (default ~/.cache/tavro-wine, created on first use), WINEDEBUG
# (default -all), WINELOADER (default: the wine64 package's loader). See wine-env.sh.
set -u
if [ $# -lt 1 ]; then
    echo "usage: $0 PROGRAM.exe [ARGUMENTS...]" >&2
    exit 2
fi
# shellcheck source=tools/wine-env.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
wine_env_setup || exit $?
wine_prefix_ready || exit 1
wine_server_ready
exec "$WINE64_LOADER" "$@"

#!/usr/bin/env bash
# Starts or ends the Wine session of a ctest run of the Windows tests:
#   wine_session.sh start STATE-FOLDER KEEPER.exe
#   wine_session.sh stop STATE-FOLDER
# start: a virtual X display (Xvfb; its number in STATE-FOLDER/display), the Wine prefix
# $WINEPREFIX when missing, and a program that keeps the session up (see
# wine_session_keeper.cpp) with its desktop on that display. stop: ends every program of
# the prefix, the wineserver and the display.
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/wine-env.sh
. "$here/../../tools/wine-env.sh"
# shellcheck source=tools/shell-lib.sh
. "$here/../../tools/shell-lib.sh"
wine_env_setup || exit $?
action=$1
state=$2

stop() {
    "$WINESERVER_BIN" -k 2>/dev/null
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null
    fi
    rm -rf "$state"
}

case $action in
start)
    [ -d "$state" ] && stop
    mkdir -p "$state"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$state/display.tmp" \
        </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    wait_for 60 grep -q '[0-9]' "$state/display.tmp" || exit 1
    mv "$state/display.tmp" "$state/display"
    DISPLAY=":$(tr -d '[:space:]' <"$state/display")"
    export DISPLAY
    wine_prefix_ready || exit 1
    # A wineserver of the prefix may still be ending (it ends with its last program, as
    # after ctest's listing of the test cases); a keeper that joined it would go with it.
    timeout 60 "$WINESERVER_BIN" -w || "$WINESERVER_BIN" -k
    # The keeper's output is not ctest's: Wine's background processes that it starts
    # keep their parent's output open until the session ends.
    ready_unix="$state/keeper.ready"
    ready_windows="Z:${ready_unix//\//\\}"
    setsid "$WINE64_LOADER" "$3" "$ready_windows" </dev/null >"$state/keeper.log" 2>&1 &
    keeper=$!
    wait_for 120 test -f "$ready_unix" || { cat "$state/keeper.log" >&2; exit 1; }
    kill -0 "$keeper" 2>/dev/null || { echo "the keeper ended: $(cat "$state/keeper.log")" >&2; exit 1; }
    echo "Wine session ready: WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY"
    ;;
stop)
    stop
    ;;
*)
    echo "usage: $0 start|stop STATE-FOLDER [KEEPER.exe]" >&2
    exit 2
    ;;
esac

#!/usr/bin/env bash
# Takes docs/window-windows.png: the Windows build's real window under Wine on a virtual
# X display (Xvfb), with the sample list typed into it, Generate pressed, and the shopping
# list that the stand-in's sample world gives. Needs a built build-win64 (bash
# tools/build-windows.sh).
#   bash tools/screenshot-windows.sh [OUTPUT.png]
# It uses a Wine prefix of its own (build-win64/wine-screenshot-prefix, made on first use),
# where Wine draws the window's frame and title bar itself: Xvfb has no window manager
# to draw them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/shell-lib.sh
. "$root/tools/shell-lib.sh"
output=${1:-$root/docs/window-windows.png}
program=$root/build-win64/shopping-list.exe
probe=$root/build-win64/tests/windows/dialog_probe.exe
keeper=$root/build-win64/tests/windows/wine_session_keeper.exe
for file in "$program" "$probe" "$keeper"; do
    [ -f "$file" ] || { echo "build the Windows program first (bash tools/build-windows.sh): no $file" >&2; exit 1; }
done
export WINEPREFIX=${WINEPREFIX:-$root/build-win64/wine-screenshot-prefix}

scratch=$(mktemp -d /tmp/shopping-screenshot-windows-XXXXXX)
standin_pid=""
cleanup() {
    bash "$root/tests/windows/wine_session.sh" stop "$scratch/session" || true
    if [ -n "$standin_pid" ]; then kill "$standin_pid" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT


# shellcheck source=tools/wine-env.sh
. "$root/tools/wine-env.sh"
wine_env_setup
# Wine draws the frame; the setting is read when the session starts.
bash "$root/tools/wine-run.sh" reg.exe add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
"$WINESERVER_BIN" -w
bash "$root/tests/windows/wine_session.sh" start "$scratch/session" "$keeper" >/dev/null
DISPLAY=":$(cat "$scratch/session/display")"
export DISPLAY

python3 "$root/tools/corvanedb_standin.py" --data "$root/data/sample" --port 0 \
    --port-file "$scratch/port" >/dev/null 2>&1 &
standin_pid=$!
wait_for 30 test -s "$scratch/port"
CORVANEDB_URL="http://127.0.0.1:$(cat "$scratch/port")"
export CORVANEDB_URL

# The core data in place, so that no first-time notice comes before the window.
mkdir -p "$scratch/run/cache"
cp "$root/data/sample/core.json" "$scratch/run/cache/corvanedbcore"
(cd "$scratch/run" && exec setsid bash "$root/tools/wine-run.sh" "$program" </dev/null >"$scratch/program.log" 2>&1) &
title="TAVRO Shopping list generator by DURSK Alpha 7"
probe() { bash "$root/tools/wine-run.sh" "$probe" wait "$title" 60 "$@"; }
probe >/dev/null
window=$(xdotool search --sync --name "^$title\$" | head -1)

# The focus starts in the recipe box: type the list, then Tab to Generate and press it.
xdotool windowfocus --sync "$window"
while IFS= read -r line || [ -n "$line" ]; do
    xdotool type --delay 5 "$line"
    xdotool key Return
done < "$root/data/sample/list.txt"
xdotool key Tab space
probe wait-text 40005 "Shopping list:" 120 >/dev/null
# The last paint after the list arrived; the list itself is already there.
sleep 0.5
import -window "$window" "$output"
probe close gone 60 >/dev/null
echo "wrote $output"

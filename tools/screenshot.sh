#!/usr/bin/env bash
# Takes docs/window.png: the real window on a virtual X display (Xvfb), with
# the sample list typed into it, Generate pressed, and the shopping list that
# the stand-in's sample world gives. Needs a built build/shopping-list.
#   bash tools/screenshot.sh [OUTPUT.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/shell-lib.sh
. "$root/tools/shell-lib.sh"
output=${1:-$root/docs/window.png}
program=$root/build/shopping-list
[ -x "$program" ] || { echo "build the program first (bash tools/run-tests.sh or cmake)" >&2; exit 1; }

scratch=$(mktemp -d /tmp/shopping-screenshot-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT


# A free display number.
display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1280x1024x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=:$display
wait_for 30 xdpyinfo

python3 "$root/tools/corvanedb_standin.py" --data "$root/data/sample" --port 0 \
    --port-file "$scratch/port" >/dev/null 2>&1 &
pids+=($!)
wait_for 30 test -s "$scratch/port"
CORVANEDB_URL="http://127.0.0.1:$(cat "$scratch/port")"
export CORVANEDB_URL

# The core data in place, so that no first-time notice comes before the window.
mkdir "$scratch/cache"
cp "$root/data/sample/core.json" "$scratch/cache/corvanedbcore"
(cd "$scratch" && exec setsid "$program" </dev/null >"$scratch/program.log" 2>&1) &
pids+=($!)
title="TAVRO Shopping list generator by DURSK Alpha 7"
wait_for 30 xdotool search --name "^$title\$"
window=$(xdotool search --name "^$title\$" | head -1)

# The focus starts in the recipe box: type the list, then Tab to Generate.
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
while IFS= read -r line || [ -n "$line" ]; do
    xdotool type --delay 5 --window "$window" "$line"
    xdotool key --window "$window" Return
done < "$root/data/sample/list.txt"
xdotool key --window "$window" Tab space

# Done when the shopping-list box holds the list: Tab into it, select all, copy.
list_ready() {
    xdotool key --window "$window" ctrl+a ctrl+c
    xclip -o -selection clipboard 2>/dev/null | grep -q '^Shopping list:'
}
xdotool key --window "$window" Tab
wait_for 60 list_ready
# Leave the box without a selection for the picture.
xdotool key --window "$window" ctrl+Home
sleep 0.5  # let the last paint land; the list itself is already there
import -window "$window" "$output"
echo "wrote $output"

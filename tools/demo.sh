#!/usr/bin/env bash
# Installs, builds and runs the program's main job on the bundled sample data:
# starts the stand-in web service on 127.0.0.1, makes a scratch folder with an
# empty cache folder, and runs the console mode there twice: the first run
# downloads (core data and item documents), the second answers from the cache.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/install-deps.sh"
# With the icon and manual pages, so that `cmake --install build` installs them.
cmake -S "$root" -B "$root/build" -G Ninja -DBUILD_PACKAGING=ON >/dev/null
# Only what the demo runs: the program and its window module, not the tests.
cmake --build "$root/build" --target shopping-list shopping_ui_module >/dev/null

scratch=$(mktemp -d /tmp/shopping-demo-XXXXXX)
mkdir "$scratch/cache"
python3 "$root/tools/corvanedb_standin.py" --data "$root/data/sample" --port 0 \
    --port-file "$scratch/port" --log "$scratch/requests.log" >/dev/null &
standin=$!
trap 'kill $standin 2>/dev/null; wait $standin 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$scratch/port" ] && break; sleep 0.1; done
export CORVANEDB_URL="http://127.0.0.1:$(cat "$scratch/port")"
touch "$scratch/requests.log"

# The request: one item per line of list.txt, the quantity after the name.
items=()
while IFS= read -r line || [ -n "$line" ]; do
    [ -z "$line" ] && continue
    if [[ $line =~ ^(.*[^\ ])\ +([0-9]+)$ ]]; then
        items+=("${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}")
    else
        items+=("$line")
    fi
done < "$root/data/sample/list.txt"

# Console mode needs a terminal; without one, lend the program a pseudo-terminal.
run() {
    if (exec 3>/dev/tty) 2>/dev/null; then
        (cd "$scratch" && "$root/build/shopping-list" "$@")
    else
        local command="cd $(printf '%q' "$scratch") && $(printf '%q ' "$root/build/shopping-list" "$@")"
        script -qec "$command" /dev/null
    fi
}

echo "== First run in $scratch (empty cache, web service at $CORVANEDB_URL)"
run "${items[@]}"
first=$(wc -l < "$scratch/requests.log")
echo "== Requests sent: $first"
echo
echo "== Second run (answered from the cache)"
run "${items[@]}"
echo "== Requests sent: $(( $(wc -l < "$scratch/requests.log") - first ))"
echo "== Cache folder: $(ls "$scratch/cache" | wc -l) files in $scratch/cache"

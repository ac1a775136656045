#!/usr/bin/env bash
# Installs what is missing, builds, sets up the program directory on first use and starts Korvane in it.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
"$src/scripts/deps.sh"
cmake -S "$src" -B "$src/build" -G Ninja -DKORVANE_TESTS=OFF -DKORVANE_BENCH=OFF >/dev/null
cmake --build "$src/build" --target korvane
home="${XDG_DATA_HOME:-$HOME/.local/share}/korvane"
if [ ! -e "$home" ]; then
    mkdir -p "$(dirname "$home")"
    cp -a "$src/data" "$home"
    echo "Program directory created: $home"
fi
cd "$home"
exec "$src/build/korvane" "$@"

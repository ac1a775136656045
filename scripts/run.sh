#!/usr/bin/env bash
# Installs what is missing, builds and starts Korvane. Started outside a program directory, the program itself
# works in ${XDG_DATA_HOME:-~/.local/share}/korvane, made from data/ the first time.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
"$src/scripts/deps.sh"
cmake -S "$src" -B "$src/build" -G Ninja -DKORVANE_TESTS=OFF -DKORVANE_BENCH=OFF >/dev/null
cmake --build "$src/build" --target korvane
exec "$src/build/korvane" "$@"

#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
"$src/scripts/deps.sh" test
build="$src/build-test"
cmake -S "$src" -B "$build" -G Ninja -DKORVANE_TESTS=ON -DKORVANE_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 300

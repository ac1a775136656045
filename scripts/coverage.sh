#!/usr/bin/env bash
# Builds the whole suite with gcc's line coverage, runs it, and prints how much of src/ it executes.
# The figure is what a cut to the tests must keep: a drop means some code is no longer exercised.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$src/build-cov"
jobs="${JOBS:-2}"
# Atomic counters: the worker threads' counts would otherwise race into values gcovr refuses to read.
cmake -S "$src" -B "$build" -G Ninja -DKORVANE_TESTS=ON -DKORVANE_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic -O0" -DCMAKE_EXE_LINKER_FLAGS="--coverage" >/dev/null
cmake --build "$build" -j "$jobs"
find "$build" -name '*.gcda' -delete
(cd "$build" && ctest -j "$jobs" --timeout 300 --output-on-failure >/dev/null) || { echo "tests failed" >&2; exit 1; }
cd "$src"
# Only our own sources count; generated moc files live in the build folder and are left out by the filter.
# No -o /dev/null: gcovr 5.2 removes its output path while checking it, and as root that is the device.
# A count gcov prints that gcovr cannot parse (a negative branch count) is skipped with a warning, not fatal.
gcovr -r . --filter 'src/' "$build" --gcov-ignore-parse-errors --print-summary | grep '^lines:'

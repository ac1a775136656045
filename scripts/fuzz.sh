#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS (default 60) from a seed corpus made
# of the golden files in tests/data and the shipped data. Exits non-zero on any finding.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${FUZZ_SECONDS:-60}"
build="$src/build-fuzz"
command -v clang++ >/dev/null || {
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q clang libclang-rt-dev
}
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DKORVANE_FUZZ=ON \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

work="$build/corpus"
rm -rf "$work"
mkdir -p "$work"/{list_file,card_reader,line_index,text}
cp "$src"/tests/data/*.lst "$work/list_file/" 2>/dev/null || true
find "$src/data" -name '*.lst' -o -name '*.list' | grep -v -e lineindex -e bookmark | while read -r f; do
    cp "$f" "$work/list_file/$(echo "$f" | md5sum | cut -c1-12)"; done
cp "$src"/tests/data/card_*.xml "$work/card_reader/" 2>/dev/null || true
find "$src/data" -name '*.datum.*' | while read -r f; do cp "$f" "$work/card_reader/$(echo "$f" | md5sum | cut -c1-12)"; done
cp "$src"/tests/data/lineindex_*.xml "$work/line_index/" 2>/dev/null || true
find "$src/data" -name 'lineindex.list' -o -name 'bookmark.list' | while read -r f; do
    cp "$f" "$work/line_index/$(echo "$f" | md5sum | cut -c1-12)"; done
cp "$work"/card_reader/* "$work/text/" 2>/dev/null || true

status=0
for t in list_file card_reader line_index text; do
    echo "== fuzz_$t for ${seconds}s"
    log="$build/fuzz_$t.log"
    if (cd "$build" && ./fuzz/fuzz_$t -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
            -print_final_stats=1 "$work/$t" >"$log" 2>&1); then
        grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$log" | tail -n 2 || true
    else
        echo "fuzz_$t FOUND A PROBLEM:"; tail -n 40 "$log"; status=1
    fi
done
exit $status

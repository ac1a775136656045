#!/usr/bin/env bash
# The command line's search as a script or a launcher runs it, beside its floors, in turns in one run:
#   korvane --search with no watch (it compares every card's size and time with the index),
#   korvane --search while a `korvane --watch` keeps the index current (no card looked at),
#   find -type f with a stat of every file (what any check by size and time costs at the least),
#   and recollq over the same folder when recoll is installed (its own index, made with recollindex -c).
# Usage: bench/search_cli.sh KORVANE PROGRAM_DIR [ROUNDS] [TERM...]   (KORVANE_BENCH_RECOLL=0: without recoll)
# PROGRAM_DIR: one korvane_genlib made (its library is the one in use). Medians of ROUNDS (default 7) wall ms.
set -euo pipefail
korvane=$(realpath "$1"); pd=$(realpath "$2"); rounds=${3:-7}; shift $(( $# < 3 ? $# : 3 ))
terms=("$@"); [ ${#terms[@]} -gt 0 ] || terms=(的 明月 不度 白日依山尽 Linux)
work=$(mktemp -d /tmp/korvane-cli-bench.XXXXXX)
export HOME=$work XDG_CACHE_HOME=$work/cache
cd "$pd"
lib=$(find "$pd/datum" -mindepth 1 -maxdepth 1 -type d | head -1)

ms() { local t0 t1; t0=$(date +%s%N); "$@" > /dev/null 2>&1 || true; t1=$(date +%s%N); echo $(( (t1 - t0) / 1000 )); }
median() { sort -n | awk '{ a[NR] = $1 } END { printf "%.1f", a[int((NR + 1) / 2)] / 1000 }'; }

"$korvane" --search 的 > /dev/null  # builds the index once
have_recoll=0
if [ "${KORVANE_BENCH_RECOLL:-1}" = 1 ] && command -v recollindex > /dev/null; then
    have_recoll=1
    mkdir -p "$work/recoll"
    # The cards as GBK text (recoll's XML filter starts a Python process per file): the same words indexed.
    printf 'topdirs = %s\ndefaultcharset = GBK\nindexedmimetypes = text/plain\nloglevel = 1\n' "$lib" > "$work/recoll/recoll.conf"
    printf '.xml = text/plain\n' > "$work/recoll/mimemap"
    t0=$(date +%s); recollindex -c "$work/recoll" > "$work/recollindex.log" 2>&1 || true
    echo "recollindex: $(( $(date +%s) - t0 )) s"
fi
echo "cards: $(find "$lib" -type f -name '*.datum.*' | wc -l)"
printf '%-12s %10s %10s %10s %10s %10s\n' term no-watch watched find+stat recollq matches
for term in "${terms[@]}"; do
    declare -a a=() b=() c=() d=()
    for ((i = 0; i < rounds; i++)); do
        a+=("$(ms "$korvane" --search "$term")")
        # Once the new watch has made its full check and has nothing left to apply.
        gen=$(sqlite3 "$XDG_CACHE_HOME"/korvane/*.sqlite "SELECT coalesce(max(value), 0) FROM meta WHERE key='watch_generation'")
        "$korvane" --watch > /dev/null 2>&1 & watch=$!
        until [ "$(sqlite3 "$XDG_CACHE_HOME"/korvane/*.sqlite "SELECT count(*) FROM meta WHERE (key='watch_current' AND value=1) OR (key='watch_generation' AND value>$gen)" 2>/dev/null)" = 2 ] &&
              [ "$(head -c1 "$XDG_CACHE_HOME"/korvane/*.sqlite.watch)" = 0 ]; do sleep 0.05; done
        b+=("$(ms "$korvane" --search "$term")")
        kill -TERM $watch; wait $watch || true
        c+=("$(ms find "$lib" -type f -printf '%s %T@\n')")
        [ $have_recoll = 1 ] && d+=("$(ms recollq -c "$work/recoll" -b "$term")")
    done
    matches=$("$korvane" --search "$term" | wc -l)
    printf '%-12s %10s %10s %10s %10s %10s\n' "$term" "$(printf '%s\n' "${a[@]}" | median)" \
        "$(printf '%s\n' "${b[@]}" | median)" "$(printf '%s\n' "${c[@]}" | median)" \
        "$([ $have_recoll = 1 ] && printf '%s\n' "${d[@]}" | median || echo -)" "$matches"
done
rm -rf "$work"

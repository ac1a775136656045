#!/usr/bin/env bash
# Kills the real program at random moments ROUNDS times (default 1000) and checks every file after each
# round. The rounds take turns: the window saving a card again and again, a command-line backup, and a
# command-line restore that registers the library. After each kill: the card reads whole as it was or as a
# later save of it; the archive is missing or whole; the restored folder is missing or whole, and the registry
# names it only when whole; no other file of the program directory changed. Temporary files a kill leaves
# behind (names beginning with '.') are counted and removed. Not part of CI: it needs Xvfb and xdotool and
# takes about a second a round. Prints the rounds run and how many failed (exit status 1 if any did).
set -euo pipefail
rounds="${1:-1000}"
src="$(cd "$(dirname "$0")/.." && pwd)"
exe="$src/build-test/korvane"
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "soak: $tool is needed (apt-get install xvfb xdotool)" >&2; exit 2; }
done
[ -x "$exe" ] || { cmake -S "$src" -B "$src/build-test" -G Ninja >/dev/null && cmake --build "$src/build-test" --target korvane; }

work="$(mktemp -d /tmp/korvane-soak-XXXXXX)"
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# Nothing of the user's: settings, cache and data all below the work folder.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"
Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

prog="$work/prog"
mkdir -p "$prog" && cp -r "$src/data/." "$prog" && cd "$prog"
card="datum/示例/使用说明.datum.xml"
# Real Chinese text, a few hundred kilobytes in lines of poems and sayings, so that a save takes long enough
# to be killed in the middle.
fortunes=(/usr/share/games/fortunes/*.u8)
text() { if [ -e "${fortunes[0]}" ]; then cat "${fortunes[@]}"; else yes '床前明月光，疑是地上霜。'; fi; }
(
    set +o pipefail  # head ends the text early
    text | tr -d '\r\t%' | grep -v '^ *$' | head -n 8000 | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' |
        iconv -c -f UTF-8 -t GBK | sed -e 's/^/\t\t<part>/' -e 's/$/<\/part>\r/' >"$work/part"
)
sed -i "/^\t<content>\r\$/r $work/part" "$card"
# A library the backups and restores use, big enough to take a while: the sample library and 2000 cards.
cp -r "datum/示例" big && mkdir "big/浸泡"
for i in $(seq 2000); do cp "datum/示例/读书笔记/论语摘抄.datum.xml" "big/浸泡/卡$i.datum.xml"; done

ms() { echo $(($(date +%s%N) / 1000000)); }
nap() { sleep "$(($1 / 1000)).$(printf %03d $(($1 % 1000)))"; }
# Every file except the ones the rounds write, with its checksum.
others() { find . -type f ! -name '.*' ! -path './big.zip' ! -path './restored/*' ! -path "./$card" ! -path ./set/datumlib.lst -print0 | sort -z | xargs -0 sha1sum; }
# The card as the window writes it, without what each save changes: the date and the Q typed at its end.
norm() { sed -e '/<modifieddate>/d' -e 's/Q*<\/part>\r$/<\/part>\r/' "$1"; }
temps=0
sweep() {  # temporary files a kill left behind
    local found
    found="$(find . -name '.*' ! -name . | wc -l)"
    temps=$((temps + found))
    find . -mindepth 1 -name '.*' -prune -exec rm -rf {} +
}

# The window's controls, relative to it: the first card of the tree, the body, the save button.
start_window() {
    "$exe" >>"$work/window.log" 2>&1 &
    pid=$!
    win="$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" --name Korvane | head -n 1)" || true
    [ -n "$win" ] || return 1
    sleep 0.3
    xdotool mousemove --window "$win" 55 104 click --repeat 2 --delay 80 1
    sleep 0.5
}
start_window || { echo "soak: the window did not come up" >&2; exit 2; }
xdotool mousemove --window "$win" 248 109 click 1  # the card as the window writes it
sleep 1
kill "$pid" && wait "$pid" || true
cp "$card" "$work/card.ref"
grep -q '<part>' "$work/card.ref" || { echo "soak: the window did not save the card" >&2; exit 2; }

t0=$(ms)
"$exe" --backup big big.zip
backup_ms=$(($(ms) - t0 + 50))
cp big.zip "$work/ref.zip"
cp set/datumlib.lst "$work/reg.before"
t0=$(ms)
"$exe" --restore "$work/ref.zip" restored 恢复
restore_ms=$(($(ms) - t0 + 50))
cp set/datumlib.lst "$work/reg.after"
diff -r big restored >/dev/null || { echo "soak: a restore does not give the library back" >&2; exit 2; }
rm -rf restored && cp "$work/reg.before" set/datumlib.lst
others >"$work/others"
echo "soak: a backup takes ${backup_ms} ms, a restore ${restore_ms} ms; $rounds rounds"

failed=0 saves=0 backups=0 restores=0
fail() {
    failed=$((failed + 1))
    echo "round $round: $*" >&2
}
for round in $(seq "$rounds"); do
    case $((round % 3)) in
        0)
            size="$(stat -c %s "$card")"
            if start_window; then
                (while :; do
                    xdotool mousemove --window "$win" 385 458 click 1 key ctrl+End Q mousemove --window "$win" 248 109 click 1
                done) 2>/dev/null &
                driver=$!
                nap $((RANDOM % 1500))
                kill "$driver" || true
            else
                fail "the window did not come up"
            fi
            kill -9 "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
            cmp -s <(norm "$card") <(norm "$work/card.ref") || fail "the card is neither as it was nor a later save of it"
            [ "$(stat -c %s "$card")" -gt "$size" ] && saves=$((saves + 1))
            ;;
        1)
            "$exe" --backup big big.zip 2>/dev/null &
            pid=$!
            nap $((RANDOM % (backup_ms * 13 / 10)))
            kill -9 "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null && backups=$((backups + 1))
            [ ! -e big.zip ] || cmp -s big.zip "$work/ref.zip" || fail "the archive is not whole"
            ;;
        2)
            "$exe" --restore "$work/ref.zip" restored 恢复 2>/dev/null &
            pid=$!
            nap $((RANDOM % (restore_ms * 13 / 10)))
            kill -9 "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null && restores=$((restores + 1))
            whole=no
            diff -r big restored >/dev/null 2>&1 && whole=yes
            if cmp -s set/datumlib.lst "$work/reg.after"; then
                [ $whole = yes ] || fail "the registry names a restored library that is not whole"
            elif cmp -s set/datumlib.lst "$work/reg.before"; then
                [ $whole = yes ] || [ -z "$(ls -A restored 2>/dev/null)" ] || fail "a restored folder that is not whole"
            else
                fail "the registry is neither as it was nor with the restored library"
            fi
            rm -rf restored && cp "$work/reg.before" set/datumlib.lst
            ;;
    esac
    sweep
    others | cmp -s - "$work/others" || { fail "a file the round does not write changed" && others >"$work/others"; }
    [ $((round % 100)) -ne 0 ] || echo "soak: $round rounds, $failed failed"
done
echo "soak: $rounds rounds ($saves window rounds that saved, $backups backups and $restores restores that finished" \
    "before the kill), $failed failed; $temps temporary files left by kills"
[ "$failed" -eq 0 ]

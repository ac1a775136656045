#!/usr/bin/env bash
# Renders every sample card with `korvane --render` and loads the page in headless Chromium: the DOM Chromium
# builds must hold each field and paragraph of the card, decoded from the page's GB2312. Leaves a screenshot of
# the first card as render-check.png in the current folder. Skips (77) when Chromium is not installed.
# usage: chromium_check.sh KORVANE_EXE DATA_DIR
set -euo pipefail
exe="$1"
data="$2"
browser="$(command -v chromium || command -v chromium-browser || true)"
[ -n "$browser" ] || { echo "chromium not installed: skipped"; exit 77; }

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp" XDG_DATA_HOME="$tmp/data" XDG_CACHE_HOME="$tmp/cache"

chrome() {
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
        --disable-component-update --disable-sync --user-data-dir="$tmp/profile" "$@" 2>/dev/null
}
# What a field looks like in the serialised DOM: the card's entities as they are, its character references as
# the characters.
escape() { perl -CS -pe 's/&#x([0-9A-Fa-f]+);/chr(hex($1))/ge'; }

failures=0
cards=0
shot=""
while IFS= read -r -d '' card; do
    cards=$((cards + 1))
    page="$tmp/page$cards.html"
    "$exe" --render "$card" "$page"
    dom="$(chrome --dump-dom "file://$page")"
    text="$(iconv -f GBK -t UTF-8 "$card" | tr -d '\r')"
    expected=()
    for tag in title class founddate modifieddate source keyword part; do
        while IFS= read -r value; do
            [ -n "$value" ] && expected+=("$value")
        done < <(printf '%s\n' "$text" | sed -n "s:.*<$tag>\(.*\)</$tag>.*:\1:p" | escape)
    done
    for value in "${expected[@]}"; do
        if [[ "$dom" != *"$value"* ]]; then
            echo "FAIL: $(basename "$card"): Chromium's page lacks: $value"
            failures=$((failures + 1))
        fi
    done
    echo "$(basename "$card"): ${#expected[@]} fields and paragraphs found in Chromium's page"
    [ -n "$shot" ] || shot="$page"
done < <(find "$data/datum" -name '*.datum.*' -print0 | sort -z)

[ "$cards" -gt 0 ] || { echo "FAIL: no sample cards under $data/datum"; exit 1; }
chrome --screenshot="$tmp/shot.png" --window-size=1000,800 "file://$shot" >/dev/null
[ -s "$tmp/shot.png" ] || { echo "FAIL: Chromium made no screenshot"; exit 1; }
cp "$tmp/shot.png" render-check.png
echo "screenshot of the first card: $PWD/render-check.png"
[ "$failures" -eq 0 ]

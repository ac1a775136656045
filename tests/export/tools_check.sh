#!/usr/bin/env bash
# The shipped sample library, with notes imported from text files whose names break URLs, exported to a site
# and to Markdown and read by the tools people use: linkchecker finds no broken link, tidy no error, Chromium
# shows the pages, Python's yaml parses every front matter; the Markdown imported into a new library gives back
# every card byte for byte (but for the program directory's own paths on lines 2 and 4).
# Skips (77) when a tool is missing. usage: tools_check.sh KORVANE_EXE DATA_DIR
set -euo pipefail
exe="$1"
data="$2"
py=/usr/bin/python3
for tool in linkchecker tidy; do
    command -v "$tool" >/dev/null || { echo "$tool not installed: skipped"; exit 77; }
done
"$py" -c 'import yaml' 2>/dev/null || { echo "python3-yaml not installed: skipped"; exit 77; }
browser="$(command -v chromium || command -v chromium-browser || true)"

# linkchecker run as root reads as nobody, who must reach the folder: /tmp may be closed to others.
parent="${TMPDIR:-/tmp}"
[ "$(id -u)" -eq 0 ] && parent=/var/tmp
tmp="$(mktemp -d -p "$parent")"
trap 'rm -rf "$tmp"' EXIT
chmod 755 "$tmp"
export HOME="$tmp/home" XDG_DATA_HOME="$tmp/data" XDG_CACHE_HOME="$tmp/cache"
cp -r "$data" "$tmp/prog"
cd "$tmp/prog"
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p in/子
printf '# 标题 <b>\n\n*不是强调* 100%% & #标签\n\n  两个空格\n' > "in/笔记 #1 100%.md"
printf '第一行\r\n\r\n第三行\r\n' | iconv -f UTF-8 -t GB18030 > "in/子/说明?.txt"
"$exe" --import in --library 示例资料库 || fail "import"

"$exe" --export-html 示例资料库 site || fail "export to a site"
linkchecker --no-status --check-extern site/index.html >"$tmp/links.txt" 2>&1 || { cat "$tmp/links.txt"; fail "linkchecker found broken links"; }
grep -E "[0-9]+ links? in [0-9]+ URLs? checked" "$tmp/links.txt"
pages=0
while IFS= read -r -d '' page; do
    pages=$((pages + 1))
    status=0
    tidy -e -q "$page" >"$tmp/tidy.txt" 2>&1 || status=$?
    [ "$status" -lt 2 ] || { cat "$tmp/tidy.txt"; fail "tidy: errors in $page"; }
    grep -q '<meta charset="utf-8">' "$page" || fail "no <meta charset=\"utf-8\"> in $page"
    ! grep -qi '<script' "$page" || fail "a script in $page"
done < <(find site -name '*.html' -print0)
echo "$pages pages pass tidy -e -q"

if [ -n "$browser" ]; then
    chrome() {
        timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
            --disable-component-update --disable-sync --user-data-dir="$tmp/profile" "$@" 2>/dev/null
    }
    dom="$(chrome --dump-dom "file://$PWD/site/index.html")"
    [[ "$dom" == *"标题 &lt;b&gt;"* && "$dom" == *"论语摘抄"* ]] || fail "Chromium's index lacks the titles"
    card="$(find site -name '论语摘抄.html')"
    dom="$(chrome --dump-dom "file://$PWD/$card")"
    [[ "$dom" == *"上一则"* && "$dom" == *"学而时习之"* ]] || fail "Chromium's card page lacks its text: $dom"
    echo "Chromium shows the index and the pages"
fi

"$exe" --export-md 示例资料库 md || fail "export to Markdown"
"$py" - md <<'PY' || fail "front matter"
import pathlib, sys, yaml
n = 0
for f in pathlib.Path(sys.argv[1]).rglob("*.md"):
    text = f.read_text(encoding="utf-8")
    assert text.startswith("---\n"), f
    meta = yaml.safe_load(text.split("---\n")[1])
    for key in ("title", "keywords", "tags", "class", "source", "stylesheet", "created", "modified"):
        assert key in meta, (f, key)
    assert isinstance(meta["tags"], list), f
    n += 1
print(f"{n} front matters parse with yaml")
PY

cp -r set/null.daum datum/back
"$exe" --import md --library ./datum/back || fail "import of the Markdown"
cards=0
while IFS= read -r -d '' card; do
    cards=$((cards + 1))
    rel="${card#datum/示例/}"
    title="$(iconv -f GBK -t UTF-8 "$card" | sed -n 's:.*<title>\(.*\)</title>.*:\1:p' |
            sed 's/&lt;/</g; s/&gt;/>/g; s/&amp;/\&/g' | tr '/\\' '__')"
    back="datum/back/$(dirname "$rel")/$title.datum.xml"
    [ -f "$back" ] || fail "$rel did not come back as $back"
    cmp <(sed '2d;4d' "$card") <(sed '2d;4d' "$back") || fail "$rel came back changed"
done < <(find datum/示例 -name '*.datum.*' -print0)
echo "$cards cards came back byte for byte"

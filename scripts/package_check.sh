#!/usr/bin/env bash
# Builds the .deb and puts it through Debian's own checkers: lintian (no error, no warning), the AppStream
# validator on the installed tree, desktop-file-validate, man on the manual page and bash on the completion.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package
cmake -S . -B build-pkg -G Ninja -DKORVANE_TESTS=OFF -DKORVANE_BENCH=OFF >/dev/null
cmake --build build-pkg
(cd build-pkg && rm -f korvane_*.deb && cpack -G DEB >/dev/null)
deb=$(ls build-pkg/korvane_*.deb)
lintian --fail-on error,warning "$deb"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
# The screenshot and home page are not fetched: they stay placeholders until the project has a home.
appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml
appstreamcli validate-tree --no-net "$tree"
desktop-file-validate "$tree"/usr/share/applications/korvane.desktop
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$tree"/usr/share/man/man1/korvane.1.gz 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
bash -n "$tree"/usr/share/bash-completion/completions/korvane
echo "Package checks passed: $deb"

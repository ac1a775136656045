#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need, when any is missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgtest-dev libgmock-dev
          libbenchmark-dev libxslt1-dev libsqlite3-dev libarchive-dev libgit2-dev desktop-file-utils ccache fonts-noto-cjk
          qt6-translations-l10n  # Qt's own buttons, file dialogs and text menus in Chinese
          dpkg-dev file)  # the last two: cpack -G DEB finds the library dependencies with them
# The test command also renders pages in a real browser and compares search against ripgrep; it reads the files
# the program writes with xmllint and xsltproc, an exported site with linkchecker and tidy, the exported notes'
# front matter with Python's yaml, the trash through the desktop's own file manager library (gio with gvfs, on
# a session bus) and the history store with the git command.
[ "${1:-}" = test ] && packages+=(chromium ripgrep libxml2-utils xsltproc linkchecker tidy python3-yaml gvfs dbus
                                 libglib2.0-bin git)
# The test command also checks the manual page with man and the metainfo with AppStream's validator;
# scripts/package_check.sh runs Debian's package checker as well.
[ "${1:-}" = test ] && packages+=(man-db appstream)
[ "${1:-}" = package ] && packages+=(man-db appstream lintian)
# scripts/a11y_check.sh reads the real window as a screen reader does, on a display of its own.
[ "${1:-}" = a11y ] && packages+=(xvfb openbox xdotool imagemagick at-spi2-core python3-pyatspi dbus)
# The search benchmarks cut fortunes-zh's poems and sayings into a library and time ripgrep beside the index;
# the history benchmarks time the git command beside the history store.
[ "${1:-}" = bench ] && packages+=(ripgrep fortunes-zh git)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

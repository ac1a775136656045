#!/usr/bin/env bash
# Outside CI (it needs Xvfb and an accessibility bus): starts the real program on a display of its own, reads
# its window as a screen reader does (AT-SPI), opens the library manager with the keyboard alone and reads that
# too. Fails when a control a user can reach with Tab has no name. DISPLAY_NUMBER picks the display (34).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh a11y
exe=${1:-build/korvane}
display=:${DISPLAY_NUMBER:-34}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
cp -r data "$work/prog"
Xvfb "$display" -screen 0 1280x900x24 >/dev/null 2>&1 &
sleep 1
export DISPLAY=$display HOME=$work XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
openbox >/dev/null 2>&1 &
dbus-run-session -- bash -c '
    set -e
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    sleep 1
    (cd "$0/prog" && exec "$1") &
    sleep 4
    status=0
    echo "== main window"
    /usr/bin/python3 scripts/atspi_names.py korvane || status=1
    # The keyboard alone: Tab from the library box to its 管理 button, and Space presses it.
    xdotool key Tab space
    sleep 2
    echo "== library manager"
    /usr/bin/python3 scripts/atspi_names.py korvane || status=1
    [ -z "${SHOT:-}" ] || import -window root "$SHOT"
    xdotool key Escape
    exit $status
' "$work" "$(realpath "$exe")"

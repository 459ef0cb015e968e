#!/usr/bin/env bash
# Runs PROGRAM where it has something to show: the display server that the environment names, else
# the kernel's lit connectors, else a private Xvfb with three monitors. The program's own rules say
# what is lit. Usage: show.sh PROGRAM
set -euo pipefail
program=$1
cd "$(dirname "$0")/.."

# A display server named, or a connection handed over, decides alone.
if [ -n "${WAYLAND_DISPLAY:-}${DISPLAY:-}${WAYLAND_SOCKET:-}" ]; then
    echo "run: the monitors of ${WAYLAND_DISPLAY:-${DISPLAY:-the compositor that handed over WAYLAND_SOCKET}}" \
        "(monitor_listing then waits for Enter)" >&2
    exec "$program"
fi

# None: the kernel's lit connectors, where the program finds any (an SSH session into a kiosk, a
# text console).
lit=$("$program" </dev/null | cut -f 1 | paste -sd ' ')
if [ -n "$lit" ]; then
    echo "run: no WAYLAND_DISPLAY or DISPLAY set, so the kernel's lit connectors: $lit" >&2
    echo "run: monitor_listing lists them, then waits for Enter" >&2
    exec "$program"
fi

# Nothing to show: three monitors side by side on a private Xvfb, the middle one primary.
XVFB_SCREEN=3840x1080x24 exec bash scripts/with-xvfb.sh bash -c '
    xrandr --setmonitor LEFT 1280/338x1080/285+0+0 none
    xrandr --setmonitor "*CENTRE" 1280/338x1080/285+1280+0 none
    xrandr --setmonitor RIGHT 1280/338x1080/285+2560+0 none
    xrandr --output screen --off --fb 3840x1080
    echo "run: no WAYLAND_DISPLAY or DISPLAY set and no lit connector, so on a private Xvfb ($DISPLAY) with three monitors, CENTRE primary" >&2
    echo "run: monitor_listing lists them, then waits for Enter" >&2
    exec "$0"' "$program"

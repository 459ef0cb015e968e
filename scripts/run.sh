#!/usr/bin/env bash
# Sets up, builds and runs monitor_listing: on the desktop, on the kernel's lit connectors where no
# display server is named, or else on a private Xvfb with three monitors.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh run
cmake --preset linux >/dev/null
cmake --build --preset linux --target monitor_listing >/dev/null
program=build/linux/bin/monitor_listing

if [ -n "${WAYLAND_DISPLAY:-}${DISPLAY:-}" ]; then
    echo "run: the monitors of ${WAYLAND_DISPLAY:-$DISPLAY} (monitor_listing then waits for Enter)" >&2
    exec "$program"
fi

# No display server named: the kernel's connectors, where it has any lit (an SSH session into a
# kiosk, a text console).
lit=
for connector in /sys/class/drm/card*-*; do
    if [ "$(cat "$connector/status" 2>/dev/null)" = connected ] &&
        [ "$(cat "$connector/enabled" 2>/dev/null)" = enabled ]; then
        lit+=" ${connector#*/card*-}"
    fi
done
if [ -n "$lit" ]; then
    echo "run: no WAYLAND_DISPLAY or DISPLAY set, so the kernel's lit connectors:$lit" >&2
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

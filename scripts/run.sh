#!/usr/bin/env bash
# Sets up, builds and runs monitor_listing: on $DISPLAY, or else on a private Xvfb with three monitors.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh run
cmake --preset linux >/dev/null
cmake --build --preset linux --target monitor_listing >/dev/null
program=build/linux/monitor_listing

if [ -n "${DISPLAY:-}" ]; then
    echo "run: the monitors of $DISPLAY (monitor_listing then waits for Enter)" >&2
    exec "$program"
fi

ready=$(mktemp)
Xvfb -displayfd 1 -nolisten tcp -noreset -screen 0 3840x1080x24 >"$ready" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -f "$ready"' EXIT
for _ in $(seq 100); do [ -s "$ready" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n 1 "$ready")

# Three monitors side by side on the one screen, the middle one primary.
xrandr --setmonitor LEFT 1280/338x1080/285+0+0 none
xrandr --setmonitor '*CENTRE' 1280/338x1080/285+1280+0 none
xrandr --setmonitor RIGHT 1280/338x1080/285+2560+0 none
xrandr --output screen --off --fb 3840x1080
echo "run: no DISPLAY set, so on a private Xvfb ($DISPLAY) with three monitors, CENTRE primary" >&2
echo "run: monitor_listing lists them, then waits for Enter" >&2
"$program"

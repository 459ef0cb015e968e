#!/usr/bin/env bash
# Makes output NAME the first in KWin's output order (its primary) and checks it from a fresh
# client: primary_kwin.sh DIR NAME, DIR as given to compositor.sh start kwin.
set -euo pipefail
dir=$1 name=$2
set -a
. "$dir/env"
set +a
# kscreen-doctor needs the Wayland platform plugin (qtwayland5) to reach KWin; with
# KSCREEN_BACKEND=KWayland it crashes when it sets a priority.
unset DISPLAY KSCREEN_BACKEND
export QT_QPA_PLATFORM=wayland HOME=$dir/home

timeout 20 kscreen-doctor "output.$name.priority.1" >/dev/null 2>&1 || {
    echo "primary: kscreen-doctor failed to set $name" >&2
    exit 1
}
# kde_output_order_v1 sends the output names, primary first; kscreen-doctor binds it.
order=$(WAYLAND_DEBUG=client timeout 20 kscreen-doctor -o 2>&1 >/dev/null |
    sed -n 's/.*kde_output_order_v1@[0-9]*\.output("\(.*\)")$/\1/p')
first=$(head -n 1 <<<"$order")
[ "$first" = "$name" ] || {
    echo "primary: KWin's output order is '${order//$'\n'/ }', not led by $name" >&2
    exit 1
}

#!/usr/bin/env bash
# By hand: starts each compositor, shows its outputs as a fresh client sees them, moves the
# primary on KWin and mutter, and times each start and stop: self_check.sh [KIND...].
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
base=$(mktemp -d)
chmod 0755 "$base"
kinds=(sway kwin mutter weston)
[ $# -eq 0 ] || kinds=("$@")
trap 'for kind in "${kinds[@]}"; do bash "$here/compositor.sh" stop "$base/$kind"; done; rm -rf "$base"' EXIT

since() { echo $((($(date +%s%N) - $1) / 1000000)); }

# The globals and names a client is sent, in the order they come.
outputs() {
    WAYLAND_DEBUG=client wayland-info 2>&1 >/dev/null |
        grep -E 'global\([0-9]+, "(wl_output|zxdg_output_manager_v1|kde_output_order_v1)"|bind\([0-9]+, "wl_output"|get_xdg_output|output(_v1)?@[0-9]+\.name\(' |
        sed 's/^\[[0-9. ]*\] */    /'
}

kwin_order() {
    QT_QPA_PLATFORM=wayland HOME=$base WAYLAND_DEBUG=client kscreen-doctor -o 2>&1 >/dev/null |
        grep -E 'kde_output_order_v1@[0-9]+\.(output|done)' | sed 's/^\[[0-9. ]*\] */    /'
}

mutter_primary() {
    busctl --address="$DBUS_SESSION_BUS_ADDRESS" --json=short call org.gnome.Mutter.DisplayConfig \
        /org/gnome/Mutter/DisplayConfig org.gnome.Mutter.DisplayConfig GetCurrentState |
        jq -c '.data[2][] | {x: .[0], primary: .[4], monitors: [.[5][][0]]}' | sed 's/^/    /'
}

peak_memory() {
    local pid
    for pid in ${COMPOSITOR_PIDS//,/ }; do
        echo "    $(cat "/proc/$pid/comm") $(grep VmHWM "/proc/$pid/status")"
    done
}

for kind in "${kinds[@]}"; do
    started=$(date +%s%N)
    settings=$(bash "$here/compositor.sh" start "$kind" "$base/$kind")
    echo "== $kind: ready in $(since "$started") ms"
    set -a
    eval "$settings"
    set +a
    echo "  outputs:"
    outputs
    case "$kind" in
        kwin)
            echo "  kde_output_order_v1 before:"; kwin_order
            bash "$here/compositor.sh" primary kwin "$base/$kind" Virtual-1
            echo "  after primary Virtual-1:"; kwin_order ;;
        mutter)
            echo "  GetCurrentState logical monitors before:"; mutter_primary
            bash "$here/compositor.sh" primary mutter "$base/$kind" Meta-1
            echo "  after primary Meta-1:"; mutter_primary ;;
    esac
    echo "  peak memory:"
    peak_memory
    stopping=$(date +%s%N)
    bash "$here/compositor.sh" stop "$base/$kind"
    echo "  stopped in $(since "$stopping") ms"
    unset DBUS_SESSION_BUS_ADDRESS
done

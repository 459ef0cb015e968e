#!/usr/bin/env bash
# Runs one compositor for compositor.sh in its own session: starts it, writes DIR/env once it is
# ready, then ends it by PID on SIGTERM or when the owner process is gone.
set -euo pipefail
dir=$1 kind=$2 owner=$3
here=$(cd "$(dirname "$0")" && pwd)
run=$dir/run
pids=()
nap=""
# The probes below must see only this compositor, whatever the caller's session has.
unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET DBUS_SESSION_BUS_ADDRESS KSCREEN_BACKEND QT_QPA_PLATFORM
export XDG_RUNTIME_DIR=$run
echo $$ >"$dir/keeper.pid"

running() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat:0:1}" != Z ]
}

# Latest first: a nested compositor before its parent, a compositor before its bus.
stop_all() {
    local i pid
    [ -z "$nap" ] || kill "$nap" 2>/dev/null || true
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill -TERM "${pids[i]}" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 60); do running "$pid" || break; sleep 0.05; done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap stop_all EXIT
trap 'exit 0' TERM INT HUP

# Starts a process with a clean environment; it gets SIGTERM if this keeper dies.
spawn() {
    local log=$1
    shift
    env -i PATH="$dir/bin:/usr/bin:/bin" HOME="$dir/home" LANG=C.UTF-8 XDG_RUNTIME_DIR="$run" \
        setpriv --pdeathsig TERM "$@" </dev/null >>"$dir/$log.log" 2>&1 &
    pids+=($!)
}

wait_for() {
    local what=$1
    shift
    for _ in $(seq 200); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
    echo "keeper: $kind: no $what"
    tail -n 20 "$dir"/*.log
    exit 1
}

socket() { find "$run" -maxdepth 1 -type s -name 'wayland-[0-9]*' | sort | head -n 1 | grep .; }
display=$run/wayland-0
outputs() { [ "$(WAYLAND_DISPLAY=$1 timeout 5 wayland-info | grep -c "'wl_output'")" = 3 ]; }

start_bus() {
    spawn bus dbus-daemon --session --nofork --nopidfile --address="unix:path=$dir/bus"
    wait_for "session bus" test -S "$dir/bus"
    bus="unix:path=$dir/bus"
}

mkdir -m 0700 "$run"
mkdir -p "$dir/home"
bus=""
case "$kind" in
    sway)
        # sway refuses root: run it as nobody, which needs a way into DIR and its own run folder.
        chmod 0711 "$dir"
        chown nobody:nogroup "$run"
        : >"$dir/sway.config"
        spawn sway setpriv --reuid=nobody --regid=nogroup --clear-groups --pdeathsig TERM \
            env WLR_BACKENDS=headless WLR_HEADLESS_OUTPUTS=3 WLR_RENDERER=pixman \
            WLR_LIBINPUT_NO_DEVICES=1 sway -c "$dir/sway.config"
        # It takes the first free name from wayland-1 on, so look for it.
        wait_for socket socket
        display=$(socket)
        wait_for "three outputs" outputs "$display"
        ;;
    kwin)
        # The packaged binary carries cap_sys_resource, which cannot be granted here; a copy has none.
        mkdir "$dir/bin"
        cp /usr/bin/kwin_wayland "$dir/bin/"
        start_bus
        spawn kwin env DBUS_SESSION_BUS_ADDRESS="$bus" \
            kwin_wayland --virtual --output-count 3 --socket wayland-0 --no-lockscreen
        wait_for "three outputs" outputs "$run/wayland-0"
        wait_for "kscreen" bash -c '[ "$(QT_QPA_PLATFORM=wayland HOME="$1/home" WAYLAND_DISPLAY="$2" \
            timeout 10 kscreen-doctor -o | grep -c Output:)" = 3 ]' - "$dir" "$run/wayland-0"
        ;;
    mutter)
        start_bus
        spawn mutter env DBUS_SESSION_BUS_ADDRESS="$bus" GSETTINGS_BACKEND=memory \
            mutter --headless --no-x11 --wayland-display=wayland-0 --virtual-monitor 1280x720 \
            --virtual-monitor 1280x720 --virtual-monitor 1280x720
        wait_for "three outputs" outputs "$run/wayland-0"
        wait_for "DisplayConfig" bash -c '[ "$(busctl --address="$1" --json=short call \
            org.gnome.Mutter.DisplayConfig /org/gnome/Mutter/DisplayConfig \
            org.gnome.Mutter.DisplayConfig GetCurrentState | jq ".data[1] | length")" = 3 ]' - "$bus"
        ;;
    weston)
        # A nested weston shows its outputs only through xdg-output names; the headless parent
        # needs the desktop shell (kiosk refuses the nested windows' size) and pixman buffers.
        spawn weston-parent weston --backend=headless-backend.so --use-pixman --socket=wayland-0 --idle-time=0
        wait_for "parent socket" env WAYLAND_DISPLAY="$run/wayland-0" wayland-info
        spawn weston env WAYLAND_DISPLAY=wayland-0 weston --backend=wayland-backend.so --use-pixman \
            --output-count=3 --shell=kiosk-shell.so --socket=wayland-1 --idle-time=0
        display=$run/wayland-1
        wait_for "three outputs" outputs "$display"
        ;;
    mute)
        spawn mute python3 "$here/mute_socket.py" "$run/wayland-0"
        wait_for socket test -S "$run/wayland-0"
        ;;
    dead)
        PATH=/usr/bin:/bin python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$run/wayland-0"
        ;;
esac

# Plain NAME=value lines (DIR is a plain path), fit for eval and for a test's environment list.
{
    echo "WAYLAND_DISPLAY=$display"
    echo "XDG_RUNTIME_DIR=$run"
    [ -z "$bus" ] || echo "DBUS_SESSION_BUS_ADDRESS=$bus"
    [ ${#pids[@]} -eq 0 ] || { echo "COMPOSITOR_PID=${pids[-1]}"; echo "COMPOSITOR_PIDS=$(IFS=,; echo "${pids[*]}")"; }
    echo "COMPOSITOR_KEEPER_PID=$$"
} >"$dir/env.partial"
mv "$dir/env.partial" "$dir/env"

while kill -0 "$owner" 2>/dev/null; do
    sleep 0.5 &
    nap=$!
    wait "$nap"
done
echo "keeper: owner $owner is gone; stopping $kind"
stop_all
trap - EXIT
# Helpers the compositors or the bus started themselves are in this session's process group.
trap '' TERM
kill -TERM -- "-$$" 2>/dev/null || true
rm -rf "$dir"

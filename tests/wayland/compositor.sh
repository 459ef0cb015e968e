#!/usr/bin/env bash
# Starts, stops and sets the primary output of private headless Wayland compositors for tests.
#
#   compositor.sh start KIND DIR    KIND: sway, kwin, mutter, weston (three outputs each), or for
#                                   failure cases mute (a socket that accepts and never answers)
#                                   and dead (a socket file where nothing listens). DIR: a plain
#                                   absolute path (letters, digits, / . _ -) that does not exist
#                                   yet, under folders that user nobody may enter (sway runs as
#                                   nobody); all state goes there. Waits until the compositor is
#                                   ready, then prints NAME=value lines, also kept in DIR/env:
#                                   WAYLAND_DISPLAY (an absolute path), XDG_RUNTIME_DIR,
#                                   DBUS_SESSION_BUS_ADDRESS (kwin and mutter), COMPOSITOR_PID (the
#                                   compositor clients talk to), COMPOSITOR_PIDS (all, by commas)
#                                   and COMPOSITOR_KEEPER_PID.
#   compositor.sh primary kwin|mutter DIR NAME
#                                   makes output NAME the primary; exits 1 unless a fresh query
#                                   of the compositor then names NAME as primary.
#   compositor.sh stop DIR          ends every process started for DIR, by PID, and removes DIR.
#
# A keeper process in its own session owns everything started for DIR. If the process that ran
# `start` (or COMPOSITOR_OWNER, a PID) dies without `stop`, the keeper ends it all within about
# 0.5 s and removes DIR; its children also get SIGTERM from the kernel if the keeper itself dies.
#
#   dir=$(mktemp -d)/sway
#   set -a; eval "$(tests/wayland/compositor.sh start sway "$dir")"; set +a
#   wayland-info; tests/wayland/compositor.sh stop "$dir"
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

usage() { echo "usage: $0 start KIND DIR | primary kwin|mutter DIR NAME | stop DIR" >&2; exit 2; }

# True while PID runs as the keeper of DIR (and not as a zombie or a recycled PID).
keeper_running() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat:0:1}" != Z ] && tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null | grep -qF "keeper.sh ${2%/} "
}

stop() {
    local dir=${1%/} keeper
    keeper=$(cat "$dir/keeper.pid" 2>/dev/null) || { rm -rf "$dir"; return 0; }
    if keeper_running "$keeper" "$dir"; then
        kill -TERM "$keeper" 2>/dev/null || true
        for _ in $(seq 200); do keeper_running "$keeper" "$dir" || break; sleep 0.05; done
        # Whatever the keeper's session still holds (helpers a compositor or bus spawned).
        kill -KILL -- "-$keeper" 2>/dev/null || true
    fi
    rm -rf "$dir"
}

start() {
    local kind=$1 dir=${2%/} keeper
    case "$kind" in sway | kwin | mutter | weston | mute | dead) ;; *) usage ;; esac
    [[ $dir =~ ^/[A-Za-z0-9/._-]+$ ]] || { echo "compositor: DIR must be a plain absolute path" >&2; exit 2; }
    mkdir "$dir"
    setsid bash "$here/keeper.sh" "$dir" "$kind" "${COMPOSITOR_OWNER:-$PPID}" \
        </dev/null >"$dir/keeper.log" 2>&1 &
    keeper=$!
    for _ in $(seq 600); do
        [ -s "$dir/env" ] && { cat "$dir/env"; return 0; }
        kill -0 "$keeper" 2>/dev/null || break
        sleep 0.05
    done
    echo "compositor: $kind did not get ready; its log:" >&2
    cat "$dir/keeper.log" >&2 || true
    stop "$dir"
    return 1
}

case "${1:-}" in
    start) [ $# -eq 3 ] || usage; start "$2" "$3" ;;
    stop) [ $# -eq 2 ] || usage; stop "$2" ;;
    primary)
        [ $# -eq 4 ] || usage
        case "$2" in kwin | mutter) exec bash "$here/primary_$2.sh" "${3%/}" "$4" ;; *) usage ;; esac ;;
    *) usage ;;
esac

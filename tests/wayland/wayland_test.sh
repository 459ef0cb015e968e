#!/usr/bin/env bash
# The program on real headless compositors: the outputs that wayland-info sees, in its order and
# with its names, and `true` exactly where the compositor itself names a primary.
# Usage: wayland_test.sh PROGRAM sway|weston|kwin|mutter|failures
set -euo pipefail
program=$1 group=$2
here=$(cd "$(dirname "$0")" && pwd)
top=$(mktemp -d)
chmod 755 "$top"  # sway runs as nobody, under this folder
dirs=() pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    for d in "${dirs[@]}"; do bash "$here/compositor.sh" stop "$d" || true; done
    rm -rf "$top"
}
trap cleanup EXIT
failures=0

# start KIND: a compositor of that kind; its variables are exported into this shell.
start() {
    local dir=$top/$1
    dirs+=("$dir")
    set -a
    eval "$(bash "$here/compositor.sh" start "$1" "$dir")"
    set +a
}

# start_xvfb: a private X server beside the compositor; sets x11 to DISPLAY=... for it.
start_xvfb() {
    Xvfb -displayfd 3 -nolisten tcp 3>"$top/xvfb" >/dev/null 2>&1 </dev/null &
    pids+=($!)
    for _ in $(seq 200); do [ -s "$top/xvfb" ] && break; sleep 0.05; done
    x11=DISPLAY=:$(cat "$top/xvfb")
}

# The outputs as wayland-info lists them: wl_output's own name (version 4) or else xdg-output's.
listed_by_wayland_info() {
    wayland-info | awk '
        /^interface: / { block = ($2 == "'"'"'wl_output'"'"',") ? "output" : ""; if (block == "output") order[++n] = $NF; id = $NF }
        /^\txdg_output_v1$/ { block = "xdg" }
        block == "xdg" && /^\t\toutput: / { id = $2 }
        /^\t\t?name: / { sub(/^\t\t?name: /, ""); gsub(/^'"'"'|'"'"'$/, ""); if (block == "output") own[id] = $0; else if (block == "xdg") xdg[id] = $0 }
        END { for (i = 1; i <= n; i++) print (order[i] in own) ? own[order[i]] : xdg[order[i]] }'
}

# check CASE EXPECTED [NAME=VALUE...]: the program's report, with $want_err on standard error
# (empty unless set) and status $want_status (0 unless set).
check() {
    local case=$1 expected=$2 actual status
    shift 2
    actual=$(env "$@" timeout 30 "$program" </dev/null 2>"$top/err") && status=0 || status=$?
    if [ "$actual" = "$expected" ] && [ "$(cat "$top/err")" = "${want_err:-}" ] && [ "$status" = "${want_status:-0}" ]; then
        echo "ok   $case"
    else
        echo "FAIL $case: status $status, stderr '$(cat "$top/err")'"
        diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /' || true
        failures=$((failures + 1))
    fi
}

# expect NAMES PRIMARY: the report for outputs NAMES (one a line) with PRIMARY (or none) true.
expect() {
    awk -v primary="$2" 'NF { print $0 "\t" ($0 == primary ? "true" : "false") }' <<<"$1"
}

# compare CASE PRIMARY [NAME=VALUE...]: the program beside wayland-info on the running compositor.
compare() {
    local names
    names=$(listed_by_wayland_info)
    [ "$(grep -c . <<<"$names")" = 3 ] || { echo "FAIL $1: wayland-info lists '$names'"; failures=$((failures + 1)); return; }
    check "$1" "$(expect "$names" "$2")" "${@:3}"
}

case $group in
sway)
    start sway
    compare "sway: names and order, no primary" ""
    # With an X display too, the report is the compositor's alone.
    start_xvfb
    check "sway beside an X display" "$(expect "$(listed_by_wayland_info)" "")" "$x11"
    check "no WAYLAND_DISPLAY: the X display" "screen	false" -u WAYLAND_DISPLAY "$x11"
    check "WAYLAND_DISPLAY as a name under XDG_RUNTIME_DIR" "$(expect "$(listed_by_wayland_info)" "")" \
        "WAYLAND_DISPLAY=${WAYLAND_DISPLAY##*/}"
    # libwayland-client hidden (in a mount namespace of the run's own): an error, never X's view.
    library=$(ldconfig -p | awk '$1 == "libwayland-client.so.0" && /x86-64/ && !found++ { print $NF }')
    printf '#!/bin/sh\nexec unshare -m sh -c "mount --bind /dev/null %s && exec %s"\n' "$library" "$program" >"$top/hidden"
    chmod +x "$top/hidden"
    program=$top/hidden want_status=1 want_err="monitor_listing: cannot load libwayland-client.so.0: file too short" \
        check "libwayland-client hidden beside an X display" "" "$x11"
    ;;
weston)
    start weston
    compare "weston: names from xdg-output, no primary" ""
    ;;
kwin)
    start kwin
    compare "KWin: names, order and its first output primary" Virtual-0
    bash "$here/compositor.sh" primary kwin "$top/kwin" Virtual-2
    compare "KWin: Virtual-2 made primary" Virtual-2
    ;;
mutter)
    start mutter
    compare "mutter: names from xdg-output, its primary from DisplayConfig" Meta-0
    bash "$here/compositor.sh" primary mutter "$top/mutter" Meta-2
    compare "mutter: Meta-2 made primary" Meta-2
    compare "mutter: no session bus, no primary" "" DBUS_SESSION_BUS_ADDRESS=unix:path=$top/none
    ;;
failures)
    start_xvfb
    start dead
    check "a dead socket: the X display" "screen	false" "$x11"
    start mute
    SECONDS=0
    check "a compositor that never answers: given up, no X view" "" "$x11"
    ((SECONDS <= 6)) || { echo "FAIL mute: $SECONDS s"; failures=$((failures + 1)); }
    # Killed while the program waits for its answer.
    start sway
    kill -STOP "$COMPOSITOR_PID"
    (sleep 1; kill -KILL "$COMPOSITOR_PID") &
    SECONDS=0
    check "a compositor killed mid-run: empty, no X view" "" "$x11"
    ((SECONDS <= 3)) || { echo "FAIL killed: $SECONDS s"; failures=$((failures + 1)); }
    wait $!
    ;;
*)
    echo "usage: $0 PROGRAM sway|weston|kwin|mutter|failures" >&2
    exit 2
    ;;
esac

echo "$group: $failures failed"
((failures == 0))

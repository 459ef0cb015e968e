#!/usr/bin/env bash
# The program on real headless compositors: the outputs that wayland-info sees, in its order and
# with its names, and `true` exactly where the compositor itself names a primary; and on a stand-in
# compositor, what real ones never send.
# Usage: wayland_test.sh PROGRAM sway|weston|kwin|mutter|failures|stand_in [STAND_IN_COMPOSITOR]
set -euo pipefail
program=$1 group=$2 stand_in=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
top=$(mktemp -d)
chmod 755 "$top"  # sway runs as nobody, under this folder
dirs=() pids=() stand_in_pid=
cleanup() {
    for p in "${pids[@]}" $stand_in_pid; do kill "$p" 2>/dev/null || true; done
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

# check CASE EXPECTED [NAME=VALUE...] [WRAPPER...]: the program's report, with $want_err on standard error
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

# on_stand_in CASE EXPECTED ARG...: the program on a stand-in compositor started with ARGs (and
# the environment $with adds; $first, a wrapper that the stand-in runs under).
on_stand_in() {
    local case=$1 expected=$2
    shift 2
    XDG_RUNTIME_DIR=$top ${first:-} "$stand_in" "$@" >"$top/stand_in" </dev/null &
    stand_in_pid=$!
    for _ in $(seq 100); do [ -s "$top/stand_in" ] && break; sleep 0.05; done
    check "$case" "$expected" "WAYLAND_DISPLAY=$(cat "$top/stand_in")" ${with:-}
    kill "$stand_in_pid" 2>/dev/null || true
    wait "$stand_in_pid" || { echo "FAIL $case: stand-in status $?"; failures=$((failures + 1)); }
    stand_in_pid=
    rm "$top/stand_in"
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
    relative=(XDG_RUNTIME_DIR="$(realpath --relative-to=. "$XDG_RUNTIME_DIR")" "WAYLAND_DISPLAY=${WAYLAND_DISPLAY##*/}")
    check "a relative XDG_RUNTIME_DIR, as wayland-info" "$(export "${relative[@]}" && expect "$(listed_by_wayland_info 2>/dev/null)" "")" \
        "${relative[@]}"
    check "one poll interrupted" "$(expect "$(listed_by_wayland_info)" "")" ASAN_OPTIONS=detect_leaks=0 \
        strace -f -qq -o /dev/null -e trace=poll -e inject=poll:error=EINTR:when=1
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
    # Connecting is a step like any other: connect(2) waits on a socket whose queue is full.
    python3 "$here/mute_socket.py" "$top/full" --full >"$top/full.ready" &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$top/full.ready" ] && break; sleep 0.05; done
    SECONDS=0
    check "a compositor whose queue of connections is full: given up, no X view" "" \
        "WAYLAND_DISPLAY=$top/full" "$x11"
    ((SECONDS <= 6)) || { echo "FAIL full queue: $SECONDS s"; failures=$((failures + 1)); }
    # Killed while the program waits for its answer.
    start sway
    kill -STOP "$COMPOSITOR_PID"
    (sleep 1; kill -KILL "$COMPOSITOR_PID") &
    SECONDS=0
    check "a compositor killed mid-run: empty, no X view" "" "$x11"
    ((SECONDS <= 3)) || { echo "FAIL killed: $SECONDS s"; failures=$((failures + 1)); }
    wait $!
    ;;
stand_in)
    # Expected names are UTF-8 (\xef\xbf\xbd: U+FFFD).
    on_stand_in "wl_output's v4 name over xdg-output's; xdg-output's below v4" \
        "$(expect $'HDMI-A-1\nDP-2' "")" --output v4:HDMI-A-1 --xdg DP-1 --output v3 --xdg DP-2
    on_stand_in "C0 and C1 controls as ?" "$(expect 'A?B?C?D?E?F?G?H' "")" \
        --output $'v4:A\x01B\tC\nD\x1fE\x7fF\xc2\x80G\xc2\x9fH'
    on_stand_in "invalid UTF-8 as U+FFFD, characters kept" \
        "$(expect $'A\xef\xbf\xbdB\xc3\xa9C\xef\xbf\xbd\xef\xbf\xbdD\xc2\xa0E\xf0\x9f\x96\xa5' "")" \
        --output $'v4:A\xe9B\xc3\xa9C\xc0\xafD\xc2\xa0E\xf0\x9f\x96\xa5'
    # Two-byte characters at the cut, written as ?, so that only characters count.
    on_stand_in "the first 31 characters" "$(expect 'ABCDEFGHIJKLMNOPQRSTUVWXYZ012??' "")" \
        --output $'v4:ABCDEFGHIJKLMNOPQRSTUVWXYZ012\xc2\x85\xc2\x85-and-more'
    on_stand_in "a dozen outputs: X-10 first in KDE's order, the only primary" \
        "$(expect "$(printf 'X-%s\n' {1..12})" X-10)" $(printf -- '--output v4:X-%s ' {1..12}) \
        --order X-10,X-1,X-11,X-12,X-2,X-3,X-4,X-5,X-6,X-7,X-8,X-9
    on_stand_in "an output withdrawn after the registry round trip, before the bind: left out" \
        "$(expect $'A-1\nA-3' "")" --output v4:A-1 --output v4:A-2 --output v4:A-3 --withdraw-after-registry 2
    on_stand_in "an output withdrawn after the bind: left out" "$(expect $'B-1\nB-3' "")" \
        --output v3 --xdg B-1 --output v3 --xdg B-2 --output v3 --xdg B-3 --withdraw-after-bind 2
    on_stand_in "an output announced after the bind: left out" "$(expect $'C-1\nC-2' "")" \
        --output v4:C-1 --output v4:C-2 --late v4:C-3
    on_stand_in "KDE's order sent twice: the second wins" "$(expect $'K-1\nK-2' K-2)" \
        --output v4:K-1 --output v4:K-2 --order K-1,K-2 --order K-2,K-1
    on_stand_in "two outputs of the primary's name: the first only" $'D-1\ttrue\nD-1\tfalse' \
        --output v4:D-1 --output v4:D-1 --order D-1
    on_stand_in "gone with its last events unread: the names that came" "$(expect $'E-1\nE-2' "")"$'\n\tfalse' \
        --output v4:E-1 --output v4:E-2 --output v4:E-3 --leave-after-bind 2
    on_stand_in "silent once it has sent the names: the names, at the give-up" "$(expect $'M-1\nM-2' "")" \
        --output v4:M-1 --output v4:M-2 --mute-after-bind 2
    # Both on one CPU, the stand-in first whenever it can run, so that it has gone before the
    # program's next write, whatever the load.
    printf '#!/bin/sh\nexec taskset -c 0 %s\n' "$program" >"$top/pinned" && chmod +x "$top/pinned"
    first="taskset -c 0 chrt -f 10" program=$top/pinned on_stand_in "gone before a write, a withdrawal unread: still read" \
        $'\tfalse\n\tfalse' --output v4:G-1 --output v4:G-2 --output v4:G-3 --leave-after-registry 2
    # mutter's primary from a stand-in DisplayConfig on a private bus: an exact name, and neither
    # a bus gone mid-call nor one that never answers costs more than the true.
    for primary in Meta-10 gone mute; do
        dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$top/bus" 4>"$top/bus_pid" </dev/null
        pids+=("$(cat "$top/bus_pid")")
        with=DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$top/bus")
        env BUS_PID="${pids[-1]}" "$with" /usr/bin/python3 "$here/display_config.py" $primary Meta-1 Meta-10 >"$top/service" &
        pids+=($!)
        for _ in $(seq 100); do [ -s "$top/service" ] && break; sleep 0.05; done
        SECONDS=0 named=${primary/#[gm]*/}
        on_stand_in "mutter, DisplayConfig's primary $primary" "$(expect $'Meta-1\nMeta-10' "$named")" \
            --gtk-shell --output v4:Meta-1 --output v4:Meta-10
        ((SECONDS <= 6)) || { echo "FAIL mutter, $primary: $SECONDS s"; failures=$((failures + 1)); }
        # The bus is asked only on mutter: a compositor without gtk_shell1 names no primary.
        [ "$primary" != Meta-10 ] || on_stand_in "no gtk_shell1, DisplayConfig naming a primary: not asked" \
            "$(expect $'Meta-1\nMeta-10' "")" --output v4:Meta-1 --output v4:Meta-10
    done
    # A bus that accepts and then says nothing, not even to the authentication, costs the same.
    python3 "$here/mute_socket.py" "$top/silent_bus" &
    pids+=($!)
    for _ in $(seq 100); do [ -S "$top/silent_bus" ] && break; sleep 0.05; done
    SECONDS=0 with=DBUS_SESSION_BUS_ADDRESS=unix:path=$top/silent_bus
    on_stand_in "mutter, a bus silent from the start" "$(expect $'Meta-1\nMeta-10' "")" \
        --gtk-shell --output v4:Meta-1 --output v4:Meta-10
    ((SECONDS <= 6)) || { echo "FAIL mutter, a silent bus: $SECONDS s"; failures=$((failures + 1)); }
    with=
    # WAYLAND_SOCKET: used when a connected socket is handed over; not a standard descriptor, unconnected, or none.
    printf '%s\n' 'import os, socket, sys' 's = socket.socket(socket.AF_UNIX); alone = sys.argv[1] == "--unconnected"' \
        'alone or s.connect(os.environ.pop("WAYLAND_DISPLAY")); s.set_inheritable(True)' \
        'os.environ["WAYLAND_SOCKET"] = str(s.fileno()); os.execv(sys.argv[1 + alone], sys.argv[1 + alone:])' \
        >"$top/hand_over.py"
    # socket_out.py FD PROGRAM: PROGRAM's descriptor FD (1 or 2) a socket, whose bytes go on to FD.
    printf '%s\n' 'import os, socket, subprocess, sys' 'ours, its = socket.socketpair(); fd = int(sys.argv[1])' \
        'run = subprocess.Popen(sys.argv[2:], **{"stdout" if fd == 1 else "stderr": its}); its.close()' \
        'os.write(fd, b"".join(iter(lambda: ours.recv(4096), b""))); sys.exit(run.wait())' >"$top/socket_out.py"
    # The socket names a display: the kernel's connectors of a stand-in /sys/class are not read.
    source "$here/../stand_in_sysfs.sh"
    connector "$top/class" card0-DP-1 connected enabled
    printf '#!/bin/sh\nexec unshare -m sh -c "mount --bind %s /sys/class && exec python3 %s /bin/bash %s %s"\n' "$top/class" \
        "$top/hand_over.py" "$here/../../scripts/show.sh" "$program" >"$top/hand_over"
    for fd in 1 2; do
        printf '#!/bin/sh\nexec python3 %s %s %s "$@"\n' "$top/socket_out.py" $fd "$program" >"$top/socket_out$fd"
    done
    printf '#!/bin/sh\nexec python3 %s --unconnected %s\n' "$top/hand_over.py" "$program" >"$top/unconnected"
    # held: how many sockets the program holds while it waits for its character, on standard error.
    printf '#!/bin/bash\nexec 3< <(sleep 1; find /proc/$$/fd -lname "socket:*" | wc -l >&2; echo)\nexec python3 %s %s <&3 3<&-\n' \
        "$top/hand_over.py" "$program" >"$top/held"
    chmod +x "$top/hand_over" "$top/unconnected" "$top/socket_out1" "$top/socket_out2" "$top/held"
    want_err="run: the monitors of the compositor that handed over WAYLAND_SOCKET (monitor_listing then waits for Enter)" \
        program=$top/hand_over on_stand_in "WAYLAND_SOCKET handed over, through the quick start" "$(expect S-1 "")" --output v4:S-1
    want_err=0 program=$top/held on_stand_in "WAYLAND_SOCKET handed over: closed before the wait" "$(expect S-1 "")" --output v4:S-1
    for fd in 1 2; do
        with=WAYLAND_SOCKET=$fd program=$top/socket_out$fd on_stand_in \
            "WAYLAND_SOCKET=$fd, descriptor $fd a socket: ignored" "$(expect S-1 "")" --output v4:S-1
    done
    with=WAYLAND_SOCKET=junk on_stand_in "WAYLAND_SOCKET=junk: ignored" "$(expect S-1 "")" --output v4:S-1
    program=$top/unconnected on_stand_in "WAYLAND_SOCKET a socket not connected: ignored" "$(expect S-1 "")" --output v4:S-1
    ;;
*)
    echo "usage: $0 PROGRAM sway|weston|kwin|mutter|failures|stand_in [STAND_IN_COMPOSITOR]" >&2
    exit 2
    ;;
esac

echo "$group: $failures failed"
((failures == 0))

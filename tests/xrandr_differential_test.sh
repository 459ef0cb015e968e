#!/usr/bin/env bash
# The program beside `xrandr --listactivemonitors` on the same real Xvfb, over connection set-ups:
# wherever xrandr lists monitors, the program lists the same ones, in order, with the same primary.
# Usage: xrandr_differential_test.sh PROGRAM forms|authority|descriptors|slow
set -euo pipefail
program=$1 group=$2
# Descriptors inherited from the test runner would count against the limits tried below.
for fd in /proc/$$/fd/*; do
    fd=${fd##*/}
    ((fd > 2)) && eval "exec $fd>&-" 2>/dev/null || true
done
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null; kill "$p" 2>/dev/null || true; done; wait; rm -rf "$work"' EXIT
failures=0

# start_server NAME ARGS...: runs ARGS (which write a display number on descriptor 3 when ready)
# and sets NAME to that number and NAME_pid to its pid.
start_server() {
    local name=$1 ready=$work/ready.$1
    shift
    "$@" 3>"$ready" >/dev/null 2>&1 </dev/null &
    pids+=($!)
    printf -v "${name}_pid" %s $!
    for _ in $(seq 200); do [ -s "$ready" ] && break; sleep 0.05; done
    printf -v "$name" %s "$(head -n 1 "$ready")"
    [ -n "${!name}" ] || { echo "$name did not start"; exit 1; }
}
xvfb() { start_server "$1" Xvfb -displayfd 3 -noreset "${@:2}"; }

# xrandr's active monitors as the program writes them: name, tab, and true on the first primary.
listed_by_xrandr() {
    { xrandr --listactivemonitors 2>/dev/null || true; } | awk 'NR > 1 {
        name = $2; primary = 0
        if (name ~ /^\+/) name = substr(name, 2)
        if (name ~ /^\*/) { primary = 1; name = substr(name, 2) }
        print name "\t" ((primary && !seen++) ? "true" : "false") }'
}

# check CASE EXPECTED [NAME=VALUE...] [-- WRAPPER...]: runs the program with that environment
# (through WRAPPER, a command that ends by running its arguments) and compares.
check() {
    local case=$1 expected=$2 env=() actual status
    shift 2
    while (($#)) && [ "$1" != -- ]; do env+=("$1"); shift; done
    (($#)) && shift
    actual=$(env "${env[@]}" timeout 60 "$@" "$program" </dev/null 2>"$work/err") && status=0 || status=$?
    if [ "$actual" != "$expected" ] || [ -s "$work/err" ] || [ "$status" != 0 ]; then
        echo "FAIL $case: status $status, stderr '$(cat "$work/err")'"
        diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /' || true
        failures=$((failures + 1))
    else
        echo "ok   $case: $(echo "$actual" | grep -c . || true) monitors"
    fi
}

# compare CASE NAME=VALUE... [-- WRAPPER...]: xrandr and the program in the same environment.
compare() {
    local case=$1 env=()
    shift
    for word in "$@"; do [ "$word" = -- ] && break; env+=("$word"); done
    check "$case" "$(env "${env[@]}" bash -c "$(declare -f listed_by_xrandr); listed_by_xrandr")" "$@"
}

monitors() {  # monitors DISPLAY: three user-defined monitors, the middle one primary
    DISPLAY=$1 xrandr --setmonitor LEFT 100/10x100/10+0+0 none
    DISPLAY=$1 xrandr --setmonitor '*MIDDLE' 100/10x100/10+100+0 none
    DISPLAY=$1 xrandr --setmonitor RIGHT 100/10x100/10+200+0 none
}

cookie=0123456789abcdef0123456789abcdef
hex() { printf %s "$1" | od -An -tx1 | tr -d ' \n'; }
# Adds an entry to an authority file, in xauth's numeric form: family, address (in hex), display
# number, name, cookie (in hex).
authority() {
    local file=$1 family=$2 address=$3 number=$4 data=$5 name=MIT-MAGIC-COOKIE-1
    touch "$file"
    printf '%s %04x %s %04x %s %04x %s %04x %s\n' "$family" $((${#address} / 2)) "$address" \
        "${#number}" "$(hex "$number")" "${#name}" "$(hex "$name")" $((${#data} / 2)) "$data" |
        xauth -q -f "$file" nmerge -
}

case $group in
forms)
    xvfb tcp -listen tcp -screen 0 800x600x24 -screen 1 640x480x24
    monitors ":$tcp"
    DISPLAY=:$tcp.1 xrandr --setmonitor SECOND 100/10x100/10+0+0 none
    for display in ":$tcp" ":$tcp.0" ":$tcp.1" "unix:$tcp" "localhost:$tcp" "127.0.0.1:$tcp" \
        "[::1]:$tcp" "tcp/localhost:$tcp" "unix/:$tcp"; do
        compare "DISPLAY=$display" "DISPLAY=$display"
    done
    # A server without local sockets is not seen by another's search for a free number, so that
    # ":N" could reach a local server of the same number: this one takes a number none has.
    for n in $(seq 5100 5199); do [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] || break; done
    xvfb tcp_only ":$n" -listen tcp -nolisten unix -nolisten local
    monitors ":$tcp_only"
    compare "a server on TCP only, DISPLAY=:N" "DISPLAY=:$tcp_only"
    ;;
authority)
    host=$(hex "$(hostname)")
    authority "$work/server" 0100 "$host" 0 "$cookie"
    xvfb auth -listen tcp -auth "$work/server"
    authority "$work/host" 0100 "$host" "$auth" "$cookie"
    authority "$work/wild" ffff "" "$auth" "$cookie"
    # Local, by host name, and by the address 127.0.1.1, which libxcb does not take for local.
    authority "$work/both" 0100 "$host" "$auth" "$cookie"
    authority "$work/both" 0000 7f000101 "$auth" "$cookie"
    authority "$work/wrong" 0100 "$host" "$auth" fedcba9876543210fedcba9876543210
    DISPLAY=:$auth XAUTHORITY=$work/host monitors ":$auth"
    for display in ":$auth" "localhost:$auth" "127.0.1.1:$auth" "[::ffff:127.0.0.1]:$auth" "$(hostname):$auth"; do
        compare "cookie under the host name, DISPLAY=$display" "DISPLAY=$display" "XAUTHORITY=$work/host"
        compare "cookie under the host name and 127.0.1.1, DISPLAY=$display" "DISPLAY=$display" "XAUTHORITY=$work/both"
        compare "FamilyWild cookie, DISPLAY=$display" "DISPLAY=$display" "XAUTHORITY=$work/wild"
    done
    check "wrong cookie" "" "DISPLAY=:$auth" "XAUTHORITY=$work/wrong"
    check "no authority file" "" "DISPLAY=:$auth" "XAUTHORITY=$work/none"
    ;;
descriptors)
    xvfb plain
    monitors ":$plain"
    authority "$work/server" 0100 "$(hex "$(hostname)")" 0 "$cookie"
    xvfb auth -auth "$work/server"
    authority "$work/host" 0100 "$(hex "$(hostname)")" "$auth" "$cookie"
    DISPLAY=:$auth XAUTHORITY=$work/host monitors ":$auth"
    for display in "$plain" "$auth"; do
        set -- "DISPLAY=:$display" "XAUTHORITY=$work/host"
        compare "standard input closed, :$display" "$@" -- bash -c 'exec "$0" <&-'
        compare "standard error closed, :$display" "$@" -- bash -c 'exec "$0" 2>&-'
        for limit in 4 5 6 7 8; do
            compare "ulimit -n $limit, :$display" "$@" -- bash -c "ulimit -n $limit; exec \"\$0\""
            compare "ulimit -n $limit, standard error closed, :$display" "$@" -- bash -c "ulimit -n $limit; exec \"\$0\" 2>&-"
        done
        # A closed standard output still fails the report, whatever the layer opened meanwhile.
        out=$(DISPLAY=:$display XAUTHORITY=$work/host bash -c 'exec "$0" >&-' "$program" </dev/null 2>&1) && status=0 || status=$?
        if [ "$status" = 1 ] && [ "$out" = "monitor_listing: cannot write the report: Bad file descriptor" ]; then
            echo "ok   standard output closed, :$display: status 1 and one line"
        else
            echo "FAIL standard output closed, :$display: status $status, '$out'"
            failures=$((failures + 1))
        fi
    done
    ;;
slow)
    xvfb plain
    monitors ":$plain"
    expected=$(DISPLAY=:$plain bash -c "$(declare -f listed_by_xrandr); listed_by_xrandr")
    start_server proxy bash -c 'exec python3 "$0" "$1" 0.5 >&3' "$here/delaying_proxy.py" "$plain"
    start=$SECONDS
    check "a link with a 1 s round trip" "$expected" "DISPLAY=127.0.0.1:$proxy"
    echo "     ($((SECONDS - start)) s)"
    # A parent that blocks and ignores SIGALRM and SIGPIPE.
    deaf=(python3 -c 'import os, signal, sys
signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGALRM, signal.SIGPIPE})
for s in (signal.SIGALRM, signal.SIGPIPE): signal.signal(s, signal.SIG_IGN)
os.execv(sys.argv[1], sys.argv[1:])')
    check "a link with a 1 s round trip, SIGALRM and SIGPIPE blocked and ignored" "$expected" \
        "DISPLAY=127.0.0.1:$proxy" -- "${deaf[@]}"
    # A server paused for 3 s while the program waits for it.
    for wrapper in "" deaf; do
        kill -STOP "$plain_pid"
        (sleep 3; kill -CONT "$plain_pid") &
        if [ -n "$wrapper" ]; then
            check "server paused for 3 s, SIGALRM and SIGPIPE blocked and ignored" "$expected" "DISPLAY=:$plain" -- "${deaf[@]}"
        else
            check "server paused for 3 s" "$expected" "DISPLAY=:$plain"
        fi
        wait $!
    done
    # A server that accepts and never answers is given up after 5 s; the bound here leaves room
    # for the wrapper's start and a sanitized build (the stand-in tests time the program alone).
    start_server mute bash -c 'exec python3 "$0" --silent >&3' "$here/stand_in_x_server.py"
    start=$(date +%s.%N)
    check "mute server, SIGALRM and SIGPIPE blocked and ignored" "" "DISPLAY=:$mute" -- "${deaf[@]}"
    awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "     (%.1f s)\n", e - s; exit !(e - s < 7) }' ||
        { echo "FAIL mute server: not given up within 7 s"; failures=$((failures + 1)); }
    ;;
*)
    echo "usage: $0 PROGRAM forms|authority|descriptors|slow" >&2
    exit 2
    ;;
esac

echo "$group: $failures failed"
((failures == 0))

#!/usr/bin/env bash
# The program beside `xrandr --listactivemonitors` on the same real Xvfb, over connection set-ups:
# wherever xrandr lists monitors, the program lists the same ones, in order, with the same primary.
# Usage: xrandr_differential_test.sh PROGRAM forms|authority|descriptors|slow|placement|console REFUSE
# (REFUSE: a launcher whose seccomp filter refuses system calls, as containers' profiles refuse unshare)
set -euo pipefail
program=$1 group=$2 refuse=$3
no_unshare="$refuse unshare"
# Descriptors inherited from the test runner would count against the limits tried below.
for fd in /proc/$$/fd/*; do
    fd=${fd##*/}
    ((fd > 2)) && eval "exec $fd>&-" 2>/dev/null || true
done
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null || true; kill "$p" 2>/dev/null || true; done; wait; rm -rf "$work"' EXIT
failures=0

# start_server NAME ARGS...: runs ARGS (which write a display number on descriptor 3 when ready)
# and sets NAME to that number and NAME_pid to its pid. One that ends unready stops the group, or
# with $may_fail set returns 1.
start_server() {
    local name=$1 ready=$work/ready.$1
    shift
    "$@" 3>"$ready" >/dev/null 2>&1 </dev/null &
    pids+=($!)
    printf -v "${name}_pid" %s $!
    for _ in $(seq 200); do [ -s "$ready" ] || ! kill -0 $! 2>/dev/null && break; sleep 0.05; done
    printf -v "$name" %s "$(head -n 1 "$ready")"
    [ -n "${!name}" ] || [ -n "${may_fail:-}" ] || { echo "$name did not start"; exit 1; }
    [ -n "${!name}" ]
}
xvfb() { start_server "$1" Xvfb -displayfd 3 -noreset "${@:2}"; }

# xrandr's active monitors as the program writes them: name, tab, and true on the first primary.
# Arguments: a wrapper that xrandr runs under.
listed_by_xrandr() {
    { "$@" xrandr --listactivemonitors 2>/dev/null || true; } | awk 'NR > 1 {
        name = $2; primary = 0
        if (name ~ /^\+/) name = substr(name, 2)
        if (name ~ /^\*/) { primary = 1; name = substr(name, 2) }
        print name "\t" ((primary && !seen++) ? "true" : "false") }'
}

# check CASE EXPECTED [NAME=VALUE...] [-- WRAPPER...]: the program in that environment (through WRAPPER,
# which ends by running it); standard error must be the line $want_err or none, the status $want_status or 0.
check() {
    local case=$1 expected=$2 env=() actual status
    shift 2
    while (($#)) && [ "$1" != -- ]; do env+=("$1"); shift; done
    (($#)) && shift
    actual=$(env "${env[@]}" timeout 60 "$@" "$program" </dev/null 2>"$work/err") && status=0 || status=$?
    if [ "$actual" != "$expected" ] || [ "$(tr '\n' '|' <"$work/err")" != "${want_err:-}${want_err:+|}" ] ||
        [ "$status" != "${want_status:-0}" ]; then
        echo "FAIL $case: status $status, stderr '$(cat "$work/err")'"
        diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /' || true
        failures=$((failures + 1))
    else
        echo "ok   $case: $(echo "$actual" | grep -c . || true) monitors"
    fi
}

# waits_alone CASE SECONDS NAME=VALUE... -- [WRAPPER...]: runs the program (through WRAPPER, which
# execs it) with its input held open; within SECONDS it must wait for its character (read
# descriptor 0) with no process of its own left. $meanwhile, if set, is run first with its pid.
waits_alone() {
    local case=$1 seconds=$2 env=() pid start took children
    shift 2
    while [ "$1" != -- ]; do env+=("$1"); shift; done
    shift
    rm -f "$work/in" && mkfifo "$work/in"
    env "${env[@]}" "$@" "$program" <"$work/in" >/dev/null 2>&1 &
    pid=$! start=$(date +%s%N)
    exec 9>"$work/in"
    ${meanwhile:+$meanwhile $pid}
    until [[ $(cat "/proc/$pid/syscall" 2>/dev/null) == "0 0x0 "* ]] || (($(date +%s%N) - start > seconds * 10 ** 9)); do
        sleep 0.02
    done
    took=$((($(date +%s%N) - start) / 10 ** 6)) children=$(ps --ppid "$pid" -o pid= | wc -l || true)
    echo >&9 && exec 9>&- && wait "$pid" || true
    ((took <= seconds * 1000 && children == 0)) && echo "ok   $case: waits after $took ms" ||
        { echo "FAIL $case: $took ms, $children processes of its own"; failures=$((failures + 1)); }
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
    # ":N" could reach a local server of the same number: this one takes a number none has (the
    # next, where another run takes it first).
    for n in $(seq 5100 5199); do
        [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] ||
            ! may_fail=1 xvfb tcp_only ":$n" -listen tcp -nolisten unix -nolisten local || break
    done
    monitors ":$tcp_only"
    compare "a server on TCP only, DISPLAY=:N" "DISPLAY=:$tcp_only"

    # Names as typed, UTF-8, written as xrandr writes them whatever the locale; beyond that, the
    # first 31 characters, and U+FFFD for a byte that starts no character.
    xvfb names
    xvfb odd
    xvfb latin
    DISPLAY=:$latin xrandr --setmonitor Écran 100/10x100/10+0+0 none
    for name in Écran-gauche モニター ©Left "*Primär"; do
        DISPLAY=:$names xrandr --setmonitor "$name" 100/10x100/10+0+0 none
    done
    long=ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞßàáâ  # 34 characters
    DISPLAY=:$odd xrandr --setmonitor "$long" 100/10x100/10+0+0 none
    DISPLAY=:$odd xrandr --setmonitor $'bad\xff\xc3name' 100/10x100/10+0+0 none
    odd_expected=$(printf '%s\tfalse\nbad\xef\xbf\xbd\xef\xbf\xbdname\tfalse\nscreen\tfalse' "${long%àáâ}")
    for lang in "-u LANG" LANG=C LANG=C.UTF-8; do
        # shellcheck disable=SC2086
        compare "UTF-8 names, $lang" -u LC_ALL -u LC_CTYPE $lang "DISPLAY=:$names"
        # shellcheck disable=SC2086
        compare "Latin-1 names alone, $lang" -u LC_ALL -u LC_CTYPE $lang "DISPLAY=:$latin"
        # shellcheck disable=SC2086
        check "a long name and invalid bytes, $lang" "$odd_expected" -u LC_ALL -u LC_CTYPE $lang "DISPLAY=:$odd"
    done
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
    # libxcb writes the server's refusal to descriptor 2 itself.
    check "no authority file, unshare refused" "" "DISPLAY=:$auth" "XAUTHORITY=$work/none" -- $no_unshare
    ;;
descriptors)
    xvfb plain
    monitors ":$plain"
    authority "$work/server" 0100 "$(hex "$(hostname)")" 0 "$cookie"
    xvfb auth -auth "$work/server"
    authority "$work/host" 0100 "$(hex "$(hostname)")" "$auth" "$cookie"
    DISPLAY=:$auth XAUTHORITY=$work/host monitors ":$auth"
    printf '#!/bin/sh\nmount -t tmpfs none /dev && exec "$@"\n' >"$work/without_dev_null" && chmod +x "$work/without_dev_null"
    for display in "$plain" "$auth"; do
        set -- "DISPLAY=:$display" "XAUTHORITY=$work/host"
        compare "standard input closed, :$display" "$@" -- bash -c 'exec "$0" <&-'
        compare "standard error closed, :$display" "$@" -- bash -c 'exec "$0" 2>&-'
        # With 4, the exchange has no descriptors for its pipe and runs on the calling thread, as
        # xrandr does: then a server that wants a cookie has none for the authority file either.
        for limit in 4 5 6 7 8; do
            [ "$display$limit" = "${auth}4" ] && continue
            compare "ulimit -n $limit, :$display" "$@" -- bash -c "ulimit -n $limit; exec \"\$0\""
            compare "ulimit -n $limit, standard error closed, :$display" "$@" -- bash -c "ulimit -n $limit; exec \"\$0\" 2>&-"
        done
        # Two standard descriptors closed, unshare refused, or in a sandbox without /dev/null.
        for wrapper in "" "$no_unshare" "$refuse prctl" "unshare -m $work/without_dev_null"; do
            how=${wrapper:+, ${wrapper##*/}}
            compare "standard input and error closed$how, :$display" "$@" -- $wrapper bash -c 'exec "$0" <&- 2>&-'
            # A closed standard output still fails the report, whatever the layer opened meanwhile.
            want_status=1 want_err="monitor_listing: cannot write the report: Bad file descriptor" \
                check "standard input and output closed$how, :$display" "" "$@" -- $wrapper bash -c 'exec "$0" <&- >&-'
        done
        compare "its children in another PID namespace, :$display" "$@" ${SANITIZED:+ASAN_OPTIONS=detect_leaks=0} -- unshare -p
    done
    # Where no child can be forked (a process limit reached, for a user other than root), or under
    # an address-space limit, the report is still the one xrandr gives under the same limit.
    # As nobody, from a copy it may run wherever the build tree is.
    mkdir "$work/as_nobody" && cp "$program" "$work/as_nobody/" && chmod 755 "$work" "$work/as_nobody"
    for limit in --nproc=1 --as=$((9 << 20)); do
        wrapper=(setpriv --reuid=65534 --regid=65534 --clear-groups prlimit "$limit")
        expected=$(DISPLAY=:$plain listed_by_xrandr "${wrapper[@]}")
        if [ -n "${SANITIZED:-}" ] && [ "$limit" != --nproc=1 ]; then
            echo "skip prlimit $limit: the sanitizers' runtime maps more than that"
        elif [ -z "$expected" ]; then
            echo "FAIL prlimit $limit: xrandr lists nothing"; failures=$((failures + 1))
        else
            # The leak check at exit needs a thread of its own, which the limit refuses.
            program=$work/as_nobody/${program##*/} check "prlimit $limit, as another user" "$expected" "DISPLAY=:$plain" \
                ${SANITIZED:+ASAN_OPTIONS=detect_leaks=0} -- "${wrapper[@]}"
        fi
    done
    # Without a child too, the server's refusal is not heard, a server gone before the next write ends
    # nothing by SIGPIPE, and standard error is back for the program's failure (the write's reason).
    program=$work/as_nobody/${program##*/} check "prlimit --nproc=1, a server that refuses" "" "DISPLAY=:$auth" \
        "XAUTHORITY=$work/none" ${SANITIZED:+ASAN_OPTIONS=detect_leaks=0} -- "${wrapper[@]:0:5}" --nproc=1
    start_server gone bash -c 'exec python3 "$0" --monitor 41 --gone-after=setup >&3' "$here/stand_in_x_server.py"
    program=$work/as_nobody/${program##*/} check "prlimit --nproc=1, a server gone before the next write" "" \
        "DISPLAY=:$gone" ${SANITIZED:+ASAN_OPTIONS=detect_leaks=0} -- "${wrapper[@]:0:5}" --nproc=1
    want_status=1 want_err="monitor_listing: cannot write the report: No space left on device" \
        program=$work/as_nobody/${program##*/} check "prlimit --nproc=1, standard output full (input closed)" "" "DISPLAY=:$plain" \
        ${SANITIZED:+ASAN_OPTIONS=detect_leaks=0} -- "${wrapper[@]:0:5}" --nproc=1 bash -c 'exec "$0" >/dev/full <&-'
    # A server given up once the monitors are read: the report, written while the exchange still
    # holds its socket, must not go there.
    start_server stall bash -c 'exec python3 "$0" --monitor 41:primary --stall-after=monitors >&3' \
        "$here/stand_in_x_server.py"
    for wrapper in "" "$no_unshare"; do
        want_status=1 want_err="monitor_listing: cannot write the report: Bad file descriptor" \
            check "standard output closed, a server given up${wrapper:+, unshare refused}" "" "DISPLAY=:$stall" \
            -- $wrapper bash -c 'exec "$0" >&-'
    done
    ;;
placement)
    xvfb plain
    monitors ":$plain"
    expected=$(DISPLAY=:$plain bash -c "$(declare -f listed_by_xrandr); listed_by_xrandr")
    # The one file, wherever it is put and however it is reached.
    mkdir "$work/alone" "$work/other"
    cp "$program" "$work/alone/"
    ln "$work/alone/${program##*/}" "$work/other/hard_link"
    ln -s "$work/alone/${program##*/}" "$work/other/symbolic_link"
    for copy in "alone/${program##*/}" other/hard_link other/symbolic_link; do
        program=$work/$copy check "copied: $copy" "$expected" "DISPLAY=:$plain"
    done
    if [ -z "${SANITIZED:-}" ]; then
        compare "/proc hidden" "DISPLAY=:$plain" -- unshare -m sh -c 'mount -t tmpfs none /proc && exec "$0"'
    else
        echo "skip /proc hidden: the sanitizers' runtime reads /proc"
    fi
    # A client library that will not load is named on standard error, with the loader's reason,
    # and the run fails: an empty file, calls that cannot be bound, a dependency missing.
    printf '%s\n' 'void gone(void);' 'int xcb_randr_id;' \
        'void xcb_randr_query_version(void) { gone(); }' 'void xcb_randr_query_version_reply(void) { gone(); }' \
        'void xcb_randr_get_monitors(void) { gone(); }' 'void xcb_randr_get_monitors_reply(void) { gone(); }' >"$work/unbound.c"
    cc -shared -fPIC -o "$work/unbound.so" "$work/unbound.c"
    # The missing dependency's name is as long as the library's, as libXau.so.6 is beside libxcb.so.1.
    cc -shared -fPIC -o "$work/libgon.so.1" -Wl,-soname,libgon.so.1 -x c /dev/null
    cc -shared -fPIC -o "$work/needs_gone.so" -x c /dev/null -x none -Wl,--no-as-needed "$work/libgon.so.1"
    rm "$work/libgon.so.1"
    while IFS='|' read -r library stand_in reason; do
        path=$(ldconfig -p | awk -v name="$library" '$1 == name && /x86-64/ && !found++ { print $NF }')
        want_status=1 want_err="monitor_listing: cannot load $library: $reason" check "$library: $stand_in" "" \
            "DISPLAY=:$plain" -- unshare -m sh -c "mount --bind $stand_in $path && exec \"\$0\""
    done <<EOF
libxcb.so.1|/dev/null|file too short
libxcb-randr.so.0|/dev/null|file too short
libxcb-randr.so.0|$work/unbound.so|undefined symbol: gone
libxcb.so.1|$work/needs_gone.so|libgon.so.1: cannot open shared object file: No such file or directory
EOF
    # The error, too, comes after the wait: the run ends only once its character has come.
    printf '%s\n' 'start=$(date +%s%N); "$@" < <(sleep 1; echo); status=$?' \
        '(($(date +%s%N) - start > 900000000)) || echo "ended before its character came" >&2; exit $status' >"$work/waited"
    path=$(ldconfig -p | awk '$1 == "libxcb.so.1" && /x86-64/ && !found++ { print $NF }')
    want_status=1 want_err="monitor_listing: cannot load libxcb.so.1: file too short" check "a library error, after the wait" \
        "" "DISPLAY=:$plain" -- unshare -m sh -c "mount --bind /dev/null $path && exec bash $work/waited \"\$0\""
    # Xinerama's library is only recommended: without it, a server without RandR lists its screen.
    xvfb heads -extension RANDR +xinerama -screen 0 800x600x24 -screen 1 640x480x24
    path=$(ldconfig -p | awk '$1 == "libxcb-xinerama.so.0" && /x86-64/ && !found++ { print $NF }')
    check "libxcb-xinerama.so.0 hidden: the screen" $'\tfalse' "DISPLAY=:$heads" -- \
        unshare -m sh -c "mount --bind /dev/null $path && exec \"\$0\""
    # A relative WAYLAND_DISPLAY that libwayland cannot resolve leaves the X display, quietly.
    compare "relative WAYLAND_DISPLAY, no XDG_RUNTIME_DIR, unshare refused" -u XDG_RUNTIME_DIR \
        "DISPLAY=:$plain" WAYLAND_DISPLAY=wayland-0 -- $no_unshare
    ;;
slow)
    xvfb plain
    monitors ":$plain"
    expected=$(DISPLAY=:$plain bash -c "$(declare -f listed_by_xrandr); listed_by_xrandr")
    start_server proxy bash -c 'exec python3 "$0" "$1" 0.5 >&3' "$here/delaying_proxy.py" "$plain"
    # Four round trips at most (connecting, the extension, the monitors, every name), whatever the
    # number of monitors: four here.
    start=$(date +%s.%N)
    check "a link with a 1 s round trip" "$expected" "DISPLAY=127.0.0.1:$proxy"
    awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "     (%.1f s)\n", e - s; exit !(e - s < 5.5) }' ||
        { echo "FAIL a link with a 1 s round trip: more than four round trips"; failures=$((failures + 1)); }
    # A parent that blocks and ignores SIGALRM, SIGPIPE and SIGTERM.
    deaf=(python3 -c 'import os, signal, sys
signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGALRM, signal.SIGPIPE, signal.SIGTERM})
for s in (signal.SIGALRM, signal.SIGPIPE, signal.SIGTERM): signal.signal(s, signal.SIG_IGN)
os.execv(sys.argv[1], sys.argv[1:])')
    # A refusal that comes 6 s after connecting, to an exchange given up at 5 s, stays unheard
    # while the program waits for its character, though unshare is refused.
    authority "$work/server" 0100 "$(hex "$(hostname)")" 0 "$cookie"
    xvfb auth -auth "$work/server"
    start_server late bash -c 'exec python3 "$0" "$1" 3 >&3' "$here/delaying_proxy.py" "$auth"
    check "a refusal after 6 s, unshare refused, the program still waiting" "" "DISPLAY=127.0.0.1:$late" \
        "XAUTHORITY=$work/none" -- $no_unshare bash -c 'sleep 8 | "$0"'
    # A server paused for 4 s while the program waits for it is listed; one paused for 6 s is
    # given up at 5 s.
    for pause in 4 "4, signals blocked and ignored" 6; do
        kill -STOP "$plain_pid"
        (sleep "${pause%%,*}"; kill -CONT "$plain_pid") &
        wrapper=()
        [[ $pause != *blocked* ]] || wrapper=("${deaf[@]}")
        check "server paused for $pause s" "$([ "$pause" = 6 ] || echo "$expected")" "DISPLAY=:$plain" -- "${wrapper[@]}"
        wait $!
    done
    # A server that names one monitor a second, for 40 monitors, makes progress all along: the
    # run still ends at 30 s, with the names read by then.
    start_server trickle bash -c 'exec python3 "$0" --name-delay=1 $(printf -- "--monitor 4d%02x " $(seq 40)) >&3' \
        "$here/stand_in_x_server.py"
    SECONDS=0
    lines=$(DISPLAY=:$trickle "$program" </dev/null)
    unnamed=$(grep -c $'^\t' <<<"$lines" || true)
    # About 29 names by then: each one came within 5 s of the last, so none of them ended the run.
    if ((SECONDS <= 32 && unnamed >= 1 && unnamed <= 15)) && [ "$(grep -c . <<<"$lines")" = 40 ]; then
        echo "ok   a server naming a monitor a second: given up after $SECONDS s, $unnamed of 40 unnamed"
    else
        echo "FAIL a server naming a monitor a second: $SECONDS s, $unnamed of 40 unnamed"
        failures=$((failures + 1))
    fi
    # A server that accepts and never answers: given up after 5 s (7 s leaves room for a wrapper).
    start_server mute bash -c 'exec python3 "$0" --silent >&3' "$here/stand_in_x_server.py"
    for how in "standard error closed" "kill refused" "one poll interrupted"; do
        env=("DISPLAY=:$mute")
        case $how in
            standard*) wrapper=(bash -c 'exec "$0" 2>&-') ;;
            kill*) wrapper=("$refuse" kill) ;;
            # (The leak check cannot run under strace.)
            *) wrapper=(strace -qq -o /dev/null -e trace=poll -e inject=poll:error=EINTR:when=1)
                env+=(${SANITIZED:+ASAN_OPTIONS=detect_leaks=0}) ;;
        esac
        start=$(date +%s.%N)
        check "mute server, $how" "" "${env[@]}" -- "${wrapper[@]}"
        awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "     (%.1f s)\n", e - s; exit !(e - s < 7) }' ||
            { echo "FAIL mute server, $how: not given up within 7 s"; failures=$((failures + 1)); }
    done
    # Once it has read the display, whatever ended the exchange, no process of it is left.
    waits_alone "a plain server" 3 "DISPLAY=:$plain" --
    waits_alone "mute server, signals blocked and ignored by its parent" 10 "DISPLAY=:$mute" -- "${deaf[@]}"
    kill_its_child() { sleep 1 && pkill -KILL -P "$1" || true; }
    meanwhile=kill_its_child waits_alone "mute server, the exchange's child killed at 1 s" 2 "DISPLAY=:$mute" --
    # Ended mid-exchange (killed, SIGTERM ignored by its parent; or where prctl is refused): nothing left.
    for ending in "KILL unshare TERM" "TERM prctl HUP"; do
        set -- $ending
        DISPLAY=:$mute setsid "$refuse" "$2" bash -c "trap '' $3; exec \"\$0\"" "$program" </dev/null &
        sleep 1 && kill "-$1" $! && sleep 0.5
        living=$(ps -eo pgid=,stat= | awk -v group=$! '$1 == group && $2 !~ /Z/' | wc -l)
        ((living == 0)) && echo "ok   ended mid-exchange by SIG$1, $2 refused: nothing left" ||
            { echo "FAIL ended mid-exchange by SIG$1: $living left"; failures=$((failures + 1)); }
    done
    # Stopped for 6 s, from within the second name, on a server that answers a name a second: what
    # came meanwhile is taken on waking, and the exchange goes on.
    start_server names bash -c 'exec python3 "$0" --name-delay=1 --monitor 41 --monitor 42 --monitor 43 >&3' \
        "$here/stand_in_x_server.py"
    DISPLAY=:$names setsid "$program" </dev/null >"$work/stopped" &
    sleep 1.5 && kill -STOP -- -$! && sleep 6 && kill -CONT -- -$! && wait $!
    [ "$(cat "$work/stopped")" = $'A\tfalse\nB\tfalse\nC\tfalse' ] && echo "ok   stopped for 6 s mid-exchange" ||
        { echo "FAIL stopped for 6 s mid-exchange: $(cat -A "$work/stopped")"; failures=$((failures + 1)); }
    ;;
console)
    # A stand-in /sys/class, mounted over the real one for the program alone.
    source "$here/stand_in_sysfs.sh"
    mkdir -p "$work/empty/drm" "$work/none"
    connector "$work/class" card0-HDMI-A-1 connected enabled 95
    connector "$work/class" card0-DP-2 connected enabled 77
    connector "$work/class" card0-eDP-1 connected enabled 4294967295 && printf enabled >"$work/class/devices/card0-eDP-1/enabled"  # bare
    connector "$work/class" card0-DP-10 connected enabled 4294967296  # past 32 bits: as none
    connector "$work/class" card0-DP-9 connected enabled 12x  # no number: as none
    connector "$work/class" card0-DP-3 disconnected enabled 61
    connector "$work/class" card0-DP-4 unknown enabled 62
    connector "$work/class" card0-DP-5 connected disabled 63
    connector "$work/class" card0-Writeback-1 connected enabled 64
    connector "$work/class" card0-DP-6 connectedx enabled 65
    connector "$work/class" card10-VGA-1 connected enabled 1
    connector "$work/class" card2-DP-1 connected enabled 99
    connector "$work/class" "card2-odd	n$(printf '\xff')" connected enabled  # no id file: after DP-1's
    # What lies: a status empty, huge, a FIFO, a folder, a dangling link; names of no connector.
    for lie in empty huge fifo folder dangling; do connector "$work/class" "card0-$lie" connected enabled 1; done
    : >"$work/class/devices/card0-empty/status"
    { echo connected; head -c 1000000 /dev/zero; } >"$work/class/devices/card0-huge/status"
    rm "$work/class/devices/card0-"{fifo,folder,dangling}/status
    mkfifo "$work/class/devices/card0-fifo/status"
    mkdir "$work/class/devices/card0-folder/status"
    ln -s /nonexistent "$work/class/devices/card0-dangling/status"
    for odd in card card0 renderD128 version card0- cardX-DP-7 card1234567890-DP-8 DP-9; do connector "$work/class" "$odd" connected enabled; done
    check "connectors, no display server named" "$(printf '%s\tfalse\n' DP-2 HDMI-A-1 eDP-1 DP-9 DP-10 DP-1 $'odd?n\xef\xbf\xbd' VGA-1)" \
        -u DISPLAY -u WAYLAND_DISPLAY -- "${in_sysfs[@]}" "$work/class"
    check "an empty /sys/class/drm" "" -u DISPLAY -u WAYLAND_DISPLAY -- "${in_sysfs[@]}" "$work/empty"
    check "no /sys/class/drm" "" -u DISPLAY -u WAYLAND_DISPLAY -- "${in_sysfs[@]}" "$work/none"
    # A display server that the environment names decides alone, even one that cannot be reached.
    xvfb plain
    monitors ":$plain"
    compare "DISPLAY set: X's view only" -u WAYLAND_DISPLAY "DISPLAY=:$plain" -- "${in_sysfs[@]}" "$work/class"
    check "DISPLAY unreachable: nothing" "" -u WAYLAND_DISPLAY "DISPLAY=:4091" -- "${in_sysfs[@]}" "$work/class"
    check "WAYLAND_DISPLAY unreachable: nothing" "" -u DISPLAY "WAYLAND_DISPLAY=/nonexistent/wayland-0" -- "${in_sysfs[@]}" "$work/class"
    # The quick start shows what the program lists: a lit connector, or else (one connected but not
    # lit, a lit writeback one) its private Xvfb.
    connector "$work/unlit" card0-DP-1 connected disabled 1
    connector "$work/unlit" card0-Writeback-1 connected enabled 2
    for tree in "class|*lit connectors: DP-2 HDMI-A-1 eDP-1 " $'unlit|*private Xvfb*\nCENTRE\ttrue\nLEFT'; do
        shown=$(env -u DISPLAY -u WAYLAND_DISPLAY "${in_sysfs[@]}" "$work/${tree%|*}" bash "$here/../scripts/show.sh" \
            "$program" </dev/null 2>&1) && [[ $shown == "run: no WAYLAND_DISPLAY or DISPLAY "${tree#*|}* ]] &&
            echo "ok   the quick start on ${tree%|*} connectors" || { echo "FAIL ${tree%|*}: $shown"; failures=$((failures + 1)); }
    done
    ;;
*)
    echo "usage: $0 PROGRAM forms|authority|descriptors|slow|placement|console REFUSE" >&2
    exit 2
    ;;
esac

echo "$group: $failures failed"
((failures == 0))

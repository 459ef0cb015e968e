#!/usr/bin/env bash
# Runs monitor_listing.exe under Wine, with no X display or on Xvfb screens, and checks what it does.
set -euo pipefail

if (($# < 6)); then
    echo "usage: $0 WINE64 WINESERVER XVFB EXE WORK_DIR prefix|report SCENARIO|waits" >&2
    exit 2
fi
wine64=$1 wineserver=$2 xvfb=$3 exe=$4 work=$5 mode=$6 scenario=${7:-}

# Wine sees only this environment: its prefix and home in the build tree, no debug output, no
# Mono or Gecko installer, and no debugger, crash dialog or menu entries to wait on.
wine_env=(env -i "PATH=$PATH" "HOME=$work/home" "WINEPREFIX=$work/prefix" WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml=;winedbg.exe,winemenubuilder.exe=d")
display=
xvfb_pid=
program_pid=
mkdir -p "$work"
run=$(mktemp -d "$work/run.XXXXXX")

# The wineserver keeps the display set-up of its first client: each run starts and ends without one.
stop_wineserver() {
    "${wine_env[@]}" "$wineserver" -k 2>/dev/null || true
    "${wine_env[@]}" timeout 60 "$wineserver" -w || true
}

stop() {
    stop_wineserver
    for pid in $program_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$run"
}
trap stop EXIT
trap 'exit 1' INT TERM HUP

fail() {
    printf 'FAIL %s %s: %s\n' "$mode" "$scenario" "$1" >&2
    exit 1
}

start_xvfb() {
    mkfifo "$run/displayfd"
    "$xvfb" -displayfd 3 -nolisten tcp "$@" 3>"$run/displayfd" 2>"$run/xvfb.log" &
    xvfb_pid=$!
    local number
    read -r -t 30 number <"$run/displayfd" || fail "Xvfb did not start: $(cat "$run/xvfb.log")"
    display=:$number
}

# Runs the program once with stdin at end of file, and checks its report, status and stderr.
check_run() {
    local expected=$1 status=0
    shift
    "${wine_env[@]}" ${display:+"DISPLAY=$display"} timeout 60 "$wine64" "$exe" "$@" \
        </dev/null >"$run/stdout" 2>"$run/stderr" || status=$?
    ((status != 124)) || fail "arguments ($*): still running after 60 s, with stdin at end of file"
    ((status == 0)) || fail "arguments ($*): exit status $status"
    printf '%s' "$expected" | cmp -s - "$run/stdout" ||
        fail "arguments ($*): the report is $(od -An -c "$run/stdout")"
    [[ ! -s $run/stderr ]] || fail "arguments ($*): stderr has $(cat "$run/stderr")"
}

stop_wineserver
case $mode in
prefix)
    rm -rf "${work:?}/prefix" "${work:?}/home"
    mkdir "$work/home"
    "${wine_env[@]}" timeout 300 "$wine64" wineboot --init >"$run/wineboot.log" 2>&1 ||
        fail "wineboot: $(cat "$run/wineboot.log")"
    # Left to end by itself, the wineserver writes the new registry out.
    "${wine_env[@]}" timeout 120 "$wineserver" -w || fail "the wineserver did not end"
    ;;
report)
    # Xvfb's screens for each scenario (none: no X display at all), and the report expected.
    # RandR is off since Wine 8 does not list RandR 1.5 monitors; with Xinerama it lists the screens.
    declare -A screens=(
        [no_display]=""
        [two_screens]="-screen 0 1024x768x24 -screen 1 800x600x24 +xinerama -extension RANDR"
        [three_screens]="-screen 0 1024x768x24 -screen 1 800x600x24 -screen 2 640x480x24 +xinerama -extension RANDR"
    )
    declare -A report=(
        [no_display]=$'\\\\.\\DISPLAY1\ttrue\r\n'
        [two_screens]=$'\\\\.\\DISPLAY1\ttrue\r\n\\\\.\\DISPLAY2\tfalse\r\n'
        [three_screens]=$'\\\\.\\DISPLAY1\ttrue\r\n\\\\.\\DISPLAY2\tfalse\r\n\\\\.\\DISPLAY3\tfalse\r\n'
    )
    [[ -n $scenario && -v report[$scenario] ]] || fail "no such scenario"
    if [[ -n ${screens[$scenario]} ]]; then
        read -ra xvfb_arguments <<<"${screens[$scenario]}"
        start_xvfb "${xvfb_arguments[@]}"
    fi
    # Arguments change nothing.
    invocations=("" "a b --help" "/?")
    for invocation in "${invocations[@]}"; do
        read -ra arguments <<<"$invocation"
        check_run "${report[$scenario]}" "${arguments[@]}"
    done
    ;;
waits)
    # The report arrives while stdin is open and empty, and the run ends once it has read a
    # character. The test holds stdin's pipe open for reading too: a character still in it when
    # the run has ended was never read.
    mkfifo "$run/stdin" "$run/stdout"
    exec {to_program}<>"$run/stdin"
    "${wine_env[@]}" timeout 60 "$wine64" "$exe" <"$run/stdin" >"$run/stdout" 2>"$run/stderr" &
    program_pid=$!
    exec {from_program}<"$run/stdout"
    IFS= read -r -t 60 -u "$from_program" line || fail "no report while stdin is open and empty"
    [[ $line == $'\\\\.\\DISPLAY1\ttrue\r' ]] || fail "the report is: $line"
    printf x >&"$to_program"
    status=0
    wait "$program_pid" || status=$?
    program_pid=
    ((status == 0)) || fail "exit status $status after one character"
    if read -r -t 0 -u "$to_program"; then fail "ended without reading stdin"; fi
    exec {to_program}>&- {from_program}<&-
    [[ ! -s $run/stderr ]] || fail "stderr has $(cat "$run/stderr")"
    ;;
*)
    fail "no such mode"
    ;;
esac

#!/usr/bin/env bash
# Runs monitor_listing.exe under Wine, with no X display or on Xvfb screens, and checks what it does.
set -euo pipefail

if (($# < 6)); then
    echo "usage: $0 WINE64 WINESERVER XVFB EXE WORK_DIR kernel|prefix|report CASE|waits" >&2
    echo "(a 32-bit EXE: WINE_I386_DLLS names the folder that holds Wine's i386-windows)" >&2
    exit 2
fi
wine64=$1 wineserver=$2 xvfb=$3 exe=$4 work=$5 mode=$6 scenario=${7:-}

# Wine sees only this environment: its prefix and home in the build tree, no debug output, no
# Mono or Gecko installer, and no debugger, crash dialog or menu entries to wait on. A 32-bit
# program runs in wine64's WoW64 mode, with the 32-bit Windows DLLs found through WINEDLLPATH.
wine_env=(env -i "PATH=$PATH" "HOME=$work/home" "WINEPREFIX=$work/prefix" WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree,mshtml=;winedbg.exe,winemenubuilder.exe=d"
    ${WINE_I386_DLLS:+"WINEDLLPATH=$WINE_I386_DLLS"})
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

# CTest counts status 77 as skipped.
skip() {
    printf 'SKIP %s %s: %s\n' "$mode" "$scenario" "$1" >&2
    exit 77
}

# WoW64 switches the process into 32-bit mode: some kernels (PVM guests, ia32_emulation=off)
# cannot run 32-bit code at all. The least 32-bit program, exit(0) by int $0x80, tells.
check_kernel_runs_32_bit_code() {
    printf '.globl _start\n_start: xor %%ebx, %%ebx\n mov $1, %%eax\n int $0x80\n' >"$run/exit.s"
    as --32 -o "$run/exit.o" "$run/exit.s" || fail "cannot assemble the 32-bit probe (binutils)"
    ld -m elf_i386 -o "$run/exit" "$run/exit.o" || fail "cannot link the 32-bit probe (binutils)"
    local refusal
    refusal=$("$run/exit" 2>&1) ||
        skip "this kernel cannot run 32-bit code, so Wine cannot run the 32-bit program: ${refusal:-status $?}"
}

start_xvfb() {
    mkfifo "$run/displayfd"
    "$xvfb" -displayfd 3 -nolisten tcp "$@" 3>"$run/displayfd" 2>"$run/xvfb.log" &
    xvfb_pid=$!
    local number
    read -r -t 30 number <"$run/displayfd" || fail "Xvfb did not start: $(cat "$run/xvfb.log")"
    display=:$number
}

# Runs the program once with stdin at end of file and stdout to a file (or to OUTPUT), and checks
# its status, report and stderr, byte for byte.
check_run() {
    local output=$1 expected_status=$2 expected_report=$3 expected_stderr=$4 status=0
    shift 4
    "${wine_env[@]}" ${display:+"DISPLAY=$display"} timeout 60 "$wine64" "$exe" "$@" \
        </dev/null >"${output:-$run/stdout}" 2>"$run/stderr" || status=$?
    ((status != 124)) || fail "arguments ($*): still running after 60 s, with stdin at end of file"
    ((status == expected_status)) || fail "arguments ($*): exit status $status"
    [[ -n $output ]] || printf '%s' "$expected_report" | cmp -s - "$run/stdout" ||
        fail "arguments ($*): the report is $(od -An -c "$run/stdout")"
    printf '%s' "$expected_stderr" | cmp -s - "$run/stderr" ||
        fail "arguments ($*): stderr has $(od -An -c "$run/stderr")"
}

[[ -z ${WINE_I386_DLLS:-} ]] || check_kernel_runs_32_bit_code
stop_wineserver
case $mode in
kernel)
    ;;
prefix)
    rm -rf "${work:?}/prefix" "${work:?}/home"
    mkdir "$work/home"
    "${wine_env[@]}" timeout 300 "$wine64" wineboot --init >"$run/wineboot.log" 2>&1 ||
        fail "wineboot: $(cat "$run/wineboot.log")"
    # Left to end by itself, the wineserver writes the new registry out.
    "${wine_env[@]}" timeout 120 "$wineserver" -w || fail "the wineserver did not end"
    ;;
report)
    # Each case: Xvfb's screens (none: no X display at all), where stdout goes (empty: a file),
    # and the status, report and stderr expected. RandR is off since Wine 8 does not list RandR 1.5
    # monitors; with Xinerama it lists the screens.
    one=$'\\\\.\\DISPLAY1\ttrue\r\n'
    two=$one$'\\\\.\\DISPLAY2\tfalse\r\n'
    three=$two$'\\\\.\\DISPLAY3\tfalse\r\n'
    xinerama="+xinerama -extension RANDR"
    declare -A screens=(
        [no_display]=""
        [two_screens]="-screen 0 1024x768x24 -screen 1 800x600x24 $xinerama"
        [three_screens]="-screen 0 1024x768x24 -screen 1 800x600x24 -screen 2 640x480x24 $xinerama"
        [unwritable]=""
    )
    declare -A output=([unwritable]=/dev/full)
    declare -A exit_status=([unwritable]=1)
    declare -A report=([no_display]=$one [two_screens]=$two [three_screens]=$three [unwritable]="")
    declare -A complaint=(
        [unwritable]=$'monitor_listing: cannot write the report: No space left on device\r\n'
    )
    [[ -n $scenario && -v report[$scenario] ]] || fail "no such case"
    if [[ -n ${screens[$scenario]} ]]; then
        read -ra xvfb_arguments <<<"${screens[$scenario]}"
        start_xvfb "${xvfb_arguments[@]}"
    fi
    # Arguments change nothing.
    invocations=("" "a b --help" "/?")
    for invocation in "${invocations[@]}"; do
        read -ra arguments <<<"$invocation"
        check_run "${output[$scenario]:-}" "${exit_status[$scenario]:-0}" "${report[$scenario]}" \
            "${complaint[$scenario]:-}" "${arguments[@]}"
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

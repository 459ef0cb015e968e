#!/usr/bin/env bash
# The program needs only the C library, and loads a display's client libraries only for the
# display it reads: a stray C++ call would bring libstdc++ in, and a library loaded for nothing
# would cost every run.
# Usage: needed_libraries_test.sh PROGRAM
set -euo pipefail
program=$1
failures=0

needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | paste -sd ' ')
[ "$needed" = libc.so.6 ] || { echo "FAIL the program needs: $needed"; failures=$((failures + 1)); }

# The libraries the program and its child open in an environment; no display there need answer.
trace=$(mktemp -d)
trap 'rm -rf "$trace"' EXIT
loaded() {
    rm -f "$trace"/*
    env -u DISPLAY -u WAYLAND_DISPLAY "$@" LD_DEBUG=files LD_DEBUG_OUTPUT="$trace/files" "$program" </dev/null >/dev/null
    cat "$trace"/* | sed -n 's/.*file=\([^ ]*\) .*dynamically loaded by.*/\1/p' | sort -u | paste -sd ' '
}
while IFS='|' read -r case environment expected; do
    # shellcheck disable=SC2086
    actual=$(loaded $environment)
    if [ "$actual" = "$expected" ]; then
        echo "ok   $case: ${actual:-nothing}"
    else
        echo "FAIL $case: loads '$actual', expected '$expected'"
        failures=$((failures + 1))
    fi
done <<'TABLE'
no display|DISPLAY=|
an X display|DISPLAY=:4091|libxcb-randr.so.0 libxcb.so.1
a Wayland display|WAYLAND_DISPLAY=/nonexistent/wayland-0|libwayland-client.so.0
TABLE
((failures == 0))

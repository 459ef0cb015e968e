#!/usr/bin/env bash
# A normal run with several monitors under valgrind: the expected report, no memory error, and
# nothing definitely lost. Usage: valgrind_test.sh PROGRAM
set -euo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

bash "$here/../scripts/with-xvfb.sh" bash -c '
    set -euo pipefail
    xrandr --setmonitor "*A" 300/100x200/100+0+0 none
    xrandr --setmonitor B 300/100x200/100+300+0 none
    status=0
    out=$(valgrind -q --suppressions="$1" --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=99 "$0" \
        </dev/null 2>"$2") || status=$?
    [ "$status" = 0 ] || { echo "valgrind: status $status"; cat "$2"; exit 1; }
    [ "$out" = "$(printf "A\ttrue\nB\tfalse\nscreen\tfalse")" ] || { echo "unexpected report: $out"; exit 1; }' \
    "$program" "$here/valgrind.supp" "$log"
echo "valgrind: the report, no error, nothing definitely lost"

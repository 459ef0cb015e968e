#!/usr/bin/env bash
# A normal run with several monitors under valgrind: no error, nothing definitely lost.
set -euo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)

bash "$here/../scripts/with-xvfb.sh" bash -c '
    xrandr --setmonitor "*A" 300/100x200/100+0+0 none
    xrandr --setmonitor B 300/100x200/100+300+0 none
    out=$(valgrind -q --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=99 "$0" </dev/null)
    [ "$out" = "$(printf "A\ttrue\nB\tfalse\nscreen\tfalse")" ] || { echo "unexpected report: $out"; exit 1; }' "$program"
echo "valgrind: no error, nothing definitely lost"

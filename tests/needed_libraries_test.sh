#!/usr/bin/env bash
# The program needs only the C library, and each backend module only its display's client
# libraries (libdbus is loaded at run time, on GNOME only): a stray C++ header or library call
# would bring libstdc++ in, and a backend library in the program would load on every run.
# Usage: needed_libraries_test.sh PROGRAM X11_MODULE WAYLAND_MODULE
set -euo pipefail
check() {
    local needed
    needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
    [ "$needed" = "$2" ] || { echo "${1##*/} needs: $needed; expected: $2"; exit 1; }
    echo "${1##*/} needs: $needed"
}
check "$1" "libc.so.6 "
check "$2" "libc.so.6 libxcb-randr.so.0 libxcb.so.1 "
check "$3" "libc.so.6 libwayland-client.so.0 "

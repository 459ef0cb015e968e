#!/usr/bin/env bash
# The Linux binary needs only the C library, libxcb, libxcb-randr and libwayland-client (libdbus
# is loaded at run time, on GNOME only): a stray C++
# header or library call would bring libstdc++ back.
set -euo pipefail
needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
expected="libc.so.6 libwayland-client.so.0 libxcb-randr.so.0 libxcb.so.1 "
[ "$needed" = "$expected" ] || { echo "needed: $needed; expected: $expected"; exit 1; }
echo "needed libraries: $needed"

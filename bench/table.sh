#!/usr/bin/env bash
# The benchmark's measurements and table; run by bench/run.sh with ONE (1 monitor) and DISPLAY
# (which gets 65 monitors) set to two private servers. It starts headless sway and mutter itself.
# With BEFORE set to another build of the program, that build is timed in the same series.
set -euo pipefail
many=$DISPLAY

runs=${RUNS:-400}
for i in $(seq 64); do
    DISPLAY=$many xrandr --setmonitor "M$i" "10/1x10/1+$((i * 10))+0" none
done
program=build/linux/bin/monitor_listing
floor=build/bench/floor
wayland_floor=build/bench/wayland_floor

# verify WHERE EXPECTED NAME=VALUE... [-- WRAPPER...]: a run that does not report what it should
# is not timed.
verify() {
    local where=$1 expected=$2 env=() actual
    shift 2
    while (($#)) && [ "$1" != -- ]; do env+=("$1"); shift; done
    (($#)) && shift
    actual=$(env "${env[@]}" "$@" "$program" </dev/null 2>&1) ||
        { echo "bench: on $where the program failed: $actual" >&2; exit 1; }
    [ "$actual" = "$expected" ] ||
        { printf 'bench: on %s the program reports\n%s\ninstead of\n%s\n' "$where" "$actual" "$expected" >&2; exit 1; }
}
verify "the 1-monitor server" "screen	false" WAYLAND_DISPLAY= DISPLAY="$ONE"
verify "the 65-monitor server" "$(printf 'M%s\tfalse\n' $(seq 64); printf 'screen\tfalse')" WAYLAND_DISPLAY= DISPLAY="$many"
# With no display server named, the kernel's connectors: a stand-in /sys/class, mounted over the
# real one for these runs, with a laptop's panel and two monitors lit among six connectors.
sys=$(mktemp -d)
trap 'rm -rf "$sys"' EXIT
source tests/stand_in_sysfs.sh
connector "$sys" card1-eDP-1 connected enabled 95
connector "$sys" card1-DP-1 connected enabled 103
connector "$sys" card1-DP-2 disconnected disabled 110
connector "$sys" card1-HDMI-A-1 connected enabled 117
connector "$sys" card1-DP-3 disconnected disabled 124
connector "$sys" card1-Writeback-1 unknown disabled 131
verify "no display" "$(printf '%s\tfalse\n' eDP-1 DP-1; printf 'HDMI-A-1\tfalse')" WAYLAND_DISPLAY= DISPLAY= -- "${in_sysfs[@]}" "$sys"

# BEFORE, a build of the program to compare with (an earlier commit's), is run in the same series.
before=${BEFORE:-$program}
# An empty WAYLAND_DISPLAY keeps the X11 runs on X11 inside a Wayland session too.
read -r -d '' -a results < <("${in_sysfs[@]}" "$sys" build/bench/measure "$runs" \
    WAYLAND_DISPLAY= DISPLAY="$ONE" "$program" -- DISPLAY="$ONE" xrandr --listmonitors -- \
    DISPLAY="$ONE" "$floor" -- WAYLAND_DISPLAY= DISPLAY="$many" "$program" -- DISPLAY="$many" "$floor" -- \
    WAYLAND_DISPLAY= DISPLAY= "$program" -- DISPLAY= "$floor" -- WAYLAND_DISPLAY= DISPLAY="$ONE" "$before" &&
    printf '\0')
ml=${results[0]} ml_kb=${results[1]} xr=${results[2]} xr_kb=${results[3]} fl=${results[4]} fl_kb=${results[5]}
ml65=${results[6]} fl65=${results[8]} ml0=${results[10]} fl0=${results[12]} mlb=${results[14]}

# The compositors start only now, one at a time, so that none takes time from another's runs.
compositors=$(mktemp -d)
chmod 755 "$compositors"  # sway runs as nobody, under this folder
trap 'for c in sway mutter; do bash tests/wayland/compositor.sh stop "$compositors/$c"; done; rm -rf "$compositors" "$sys"' EXIT
# The compositors belong to this script, not to the subshell that starts them.
start() { COMPOSITOR_OWNER=$$ bash tests/wayland/compositor.sh start "$1" "$compositors/$1" | sed -n "s/^$2=//p"; }

# Wayland: on sway against wayland-info and the floor.
sway=$(start sway WAYLAND_DISPLAY)
verify sway "$(printf 'HEADLESS-%s\tfalse\n' 1 2; printf 'HEADLESS-3\tfalse')" WAYLAND_DISPLAY="$sway"
read -r -d '' -a results < <(build/bench/measure "$runs" \
    WAYLAND_DISPLAY="$sway" "$program" -- WAYLAND_DISPLAY="$sway" wayland-info -- \
    WAYLAND_DISPLAY="$sway" "$wayland_floor" -- WAYLAND_DISPLAY="$sway" "$before" && printf '\0')
wl=${results[0]} wl_kb=${results[1]} wi=${results[2]} wi_kb=${results[3]} wf=${results[4]} wf_kb=${results[5]}
wlb=${results[6]}
bash tests/wayland/compositor.sh stop "$compositors/sway"

# On mutter: with its D-Bus query, without a session bus (libdbus loaded, no answer to wait for),
# and the floor's connection and round trips.
mutter=$(start mutter WAYLAND_DISPLAY)
bus=$(sed -n 's/^DBUS_SESSION_BUS_ADDRESS=//p' "$compositors/mutter/env")
verify mutter "$(printf 'Meta-0\ttrue\nMeta-1\tfalse\nMeta-2\tfalse')" WAYLAND_DISPLAY="$mutter" DBUS_SESSION_BUS_ADDRESS="$bus"
read -r -d '' -a results < <(build/bench/measure "$runs" \
    WAYLAND_DISPLAY="$mutter" DBUS_SESSION_BUS_ADDRESS="$bus" "$program" -- \
    WAYLAND_DISPLAY="$mutter" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "$program" -- \
    WAYLAND_DISPLAY="$mutter" "$wayland_floor" -- WAYLAND_DISPLAY="$mutter" DBUS_SESSION_BUS_ADDRESS="$bus" \
    "$before" && printf '\0')
gn=${results[0]} gn_kb=${results[1]} gn_nobus=${results[2]} gf=${results[4]} gnb=${results[6]}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Requests, read off xtrace; round trips, read off strace: libxcb sends what it holds with one
# writev each time it must wait for an answer, the connection set-up included.
trace() {
    local display=$1 fake=$2
    shift 2
    rm -f "build/bench/xtrace.$fake"
    xtrace -n -d "$display" -D :"$fake" -o "build/bench/xtrace.$fake" -- "$@" </dev/null >/dev/null 2>&1
    DISPLAY=$display strace -f -e trace=writev,sendmsg -o "build/bench/strace.$fake" "$@" </dev/null >/dev/null
    echo "$(grep -c '^[0-9]*:<:[0-9]' "build/bench/xtrace.$fake") requests," \
        "$(grep -cE '^[0-9]+ +(writev|sendmsg)\(' "build/bench/strace.$fake") round trips"
}

size() { stat -c %s "$1" 2>/dev/null || echo "not built"; }

cat <<TABLE
$(date -u +%Y-%m-%d), $(nproc) cores, $(uname -m); medians of $runs interleaved runs each

| measure                              | value |
|--------------------------------------|-------|
| monitor_listing, 1 monitor           | ${ml} µs, ${ml_kb} KB peak |
| xrandr --listmonitors, 1 monitor     | ${xr} µs, ${xr_kb} KB peak |
| floor program, 1 monitor             | ${fl} µs, ${fl_kb} KB peak |
| time: monitor_listing / xrandr       | $(ratio "$ml" "$xr") (target ≤ 0.75) |
| time: monitor_listing / floor        | $(ratio "$ml" "$fl") (target ≤ 1.10) |
| memory: monitor_listing / xrandr     | $(ratio "$ml_kb" "$xr_kb") (target ≤ 1.00) |
| monitor_listing, 65 monitors         | ${ml65} µs |
| time: 65 monitors / 1 monitor        | $(ratio "$ml65" "$ml") (target ≤ 1.15; floor: $(ratio "$fl65" "$fl")) |
| no display (3 of 6 connectors lit): monitor_listing, floor | ${ml0} µs, ${fl0} µs |
| X traffic, monitor_listing           | $(trace "$ONE" 91 "$program") |
| X traffic, monitor_listing, 65       | $(trace "$many" 92 "$program") |
| X traffic, floor                     | $(trace "$ONE" 93 "$floor") |
| X traffic, xrandr --listmonitors     | $(trace "$ONE" 94 xrandr --listmonitors) |
| monitor_listing on sway (3 outputs)  | ${wl} µs, ${wl_kb} KB peak |
| wayland-info on sway                 | ${wi} µs, ${wi_kb} KB peak |
| Wayland floor on sway                | ${wf} µs, ${wf_kb} KB peak |
| time on sway: monitor_listing / floor | $(ratio "$wl" "$wf") (target ≤ 1.10) |
| time on sway: monitor_listing / wayland-info | $(ratio "$wl" "$wi") |
| monitor_listing on mutter            | ${gn} µs, ${gn_kb} KB peak |
| the same, no session bus             | ${gn_nobus} µs |
| Wayland floor on mutter              | ${gf} µs |
$([ "$before" = "$program" ] || printf '%s\n' \
"| BEFORE (${BEFORE}), 1 monitor, sway, mutter | ${mlb} µs, ${wlb} µs, ${gnb} µs |" \
"| time: monitor_listing / BEFORE, 1 monitor, sway, mutter | $(ratio "$ml" "$mlb"), $(ratio "$wl" "$wlb"), $(ratio "$gn" "$gnb") |")
| Linux binary size                    | $(size "$program") bytes |
| Linux binary needs                   | $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ') |
| Windows executable size (i686)       | $(size build/windows-x86/monitor_listing.exe) bytes (target ≤ 16384) |
TABLE

#!/usr/bin/env bash
# The benchmark's measurements and table; run by bench/run.sh with ONE (1 monitor) and DISPLAY
# (which gets 65 monitors) set to two private servers. It starts headless sway, weston, KWin and
# mutter itself. With BEFORE set to another build of the program, that build is timed in the same
# series.
set -euo pipefail
many=$DISPLAY

runs=${RUNS:-400}
for i in $(seq 64); do
    DISPLAY=$many xrandr --setmonitor "M$i" "10/1x10/1+$((i * 10))+0" none
done
program=build/linux/bin/monitor_listing
floor=build/bench/floor
isolated_floor=build/bench/isolated_floor
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
    WAYLAND_DISPLAY= DISPLAY= "$program" -- DISPLAY= "$floor" -- WAYLAND_DISPLAY= DISPLAY="$ONE" "$before" -- \
    DISPLAY="$ONE" "$isolated_floor" && printf '\0')
ml=${results[0]} ml_kb=${results[1]} xr=${results[2]} xr_kb=${results[3]} fl=${results[4]} fl_kb=${results[5]}
ml65=${results[6]} fl65=${results[8]} ml0=${results[10]} fl0=${results[12]} mlb=${results[14]} ifl=${results[16]}
# 50 runs started at once on the one server: how the exchange's processes fare under a crowd.
read -r -d '' -a results < <(build/bench/measure $((runs / 20)) -j50 WAYLAND_DISPLAY= DISPLAY="$ONE" "$program" -- \
    WAYLAND_DISPLAY= DISPLAY="$ONE" "$before" -- DISPLAY="$ONE" xrandr --listmonitors && printf '\0')
crowd=${results[0]} crowd_before=${results[2]} crowd_xrandr=${results[4]}

# Fixed costs: an empty program, libwayland-client linked and loaded by soname, and the program's
# own logic over the scripted fake (three lines written with wprintf, then getchar).
read -r -d '' -a results < <(build/bench/measure "$runs" build/bench/empty -- build/bench/linked -- \
    build/bench/loaded -- FAKE_MONITORS=$'1|DP-1\n0|DP-2\n0|DP-3' build/linux/tests/monitor_listing_fake && printf '\0')
empty=${results[0]} linked=${results[2]} loaded=${results[4]} logic=${results[6]}

# The compositors start only now, one at a time, so that none takes time from another's runs.
compositors=$(mktemp -d)
chmod 755 "$compositors"  # sway runs as nobody, under this folder
trap 'for c in sway weston kwin mutter; do bash tests/wayland/compositor.sh stop "$compositors/$c"; done; rm -rf "$compositors" "$sys"' EXIT
# The compositors belong to this script, not to the subshell that starts them.
start() { COMPOSITOR_OWNER=$$ bash tests/wayland/compositor.sh start "$1" "$compositors/$1" | sed -n "s/^$2=//p"; }

# Wayland: on sway, weston and KWin, against wayland-info, the floor and BEFORE; sets NAME_* to the
# four medians and NAME_kb to the program's peak memory. on_compositor NAME EXPECTED
on_compositor() {
    local display
    display=$(start "$1" WAYLAND_DISPLAY)
    verify "$1" "$2" WAYLAND_DISPLAY="$display"
    read -r -d '' -a results < <(build/bench/measure "$runs" \
        WAYLAND_DISPLAY="$display" "$program" -- WAYLAND_DISPLAY="$display" wayland-info -- \
        WAYLAND_DISPLAY="$display" "$wayland_floor" -- WAYLAND_DISPLAY="$display" "$before" && printf '\0')
    printf -v "$1_ml" %s "${results[0]}"
    printf -v "$1_kb" %s "${results[1]}"
    printf -v "$1_wi" %s "${results[2]}"
    printf -v "$1_wi_kb" %s "${results[3]}"
    printf -v "$1_fl" %s "${results[4]}"
    printf -v "$1_fl_kb" %s "${results[5]}"
    printf -v "$1_before" %s "${results[6]}"
    bash tests/wayland/compositor.sh stop "$compositors/$1"
}
on_compositor sway "$(printf 'HEADLESS-%s\tfalse\n' 1 2; printf 'HEADLESS-3\tfalse')"
on_compositor weston "$(printf 'wayland%s\tfalse\n' 0 1; printf 'wayland2\tfalse')"
on_compositor kwin "$(printf 'Virtual-0\ttrue\nVirtual-1\tfalse\nVirtual-2\tfalse')"

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
ms() { awk -v a="$1" 'BEGIN { printf "%.1f ms", a / 1000 }'; }
diff_us() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", a - b }'; }

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
| isolated floor, 1 monitor            | ${ifl} µs |
| time: monitor_listing / xrandr       | $(ratio "$ml" "$xr") (target ≤ 0.80) |
| time: monitor_listing / floor        | $(ratio "$ml" "$fl") (target ≤ 1.10) |
| time: monitor_listing / isolated floor | $(ratio "$ml" "$ifl") (target ≤ 1.05) |
| memory: monitor_listing / xrandr     | $(ratio "$ml_kb" "$xr_kb") (target ≤ 1.00) |
| monitor_listing, 65 monitors         | ${ml65} µs |
| time: 65 monitors / 1 monitor        | $(ratio "$ml65" "$ml") (target ≤ 1.15; floor: $(ratio "$fl65" "$fl")) |
| 50 runs at once, 1 monitor: monitor_listing, xrandr | $(ms "$crowd"), $(ms "$crowd_xrandr") |
| no display (3 of 6 connectors lit): monitor_listing, floor | ${ml0} µs, ${fl0} µs |
| an empty program                     | ${empty} µs |
| libwayland-client loaded by soname (dlopen), linked: more than empty | $(diff_us "$loaded" "$empty") µs, $(diff_us "$linked" "$empty") µs |
| the program's own logic (the fake: 3 lines, then getchar): more than empty | $(diff_us "$logic" "$empty") µs |
| X traffic, monitor_listing           | $(trace "$ONE" 91 "$program") |
| X traffic, monitor_listing, 65       | $(trace "$many" 92 "$program") |
| X traffic, floor                     | $(trace "$ONE" 93 "$floor") |
| X traffic, xrandr --listmonitors     | $(trace "$ONE" 94 xrandr --listmonitors) |
$(for c in sway weston kwin; do
    ml_c=${c}_ml wi_c=${c}_wi fl_c=${c}_fl kb_c=${c}_kb wi_kb_c=${c}_wi_kb
    printf '| %s: monitor_listing, wayland-info, floor | %s µs, %s µs, %s µs; %s KB, %s KB peak |\n' \
        "$c" "${!ml_c}" "${!wi_c}" "${!fl_c}" "${!kb_c}" "${!wi_kb_c}"
    printf '| time on %s: monitor_listing / wayland-info, / floor | %s%s, %s |\n' "$c" "$(ratio "${!ml_c}" "${!wi_c}")" \
        "$([ "$c" != sway ] || echo " (target ≤ 0.90)")" "$(ratio "${!ml_c}" "${!fl_c}")"
done)
| monitor_listing on mutter            | ${gn} µs, ${gn_kb} KB peak |
| the same, no session bus             | ${gn_nobus} µs |
| Wayland floor on mutter              | ${gf} µs |
$([ "$before" = "$program" ] || printf '%s\n' \
"| BEFORE (${BEFORE}), 1 monitor, sway, weston, KWin, mutter | ${mlb} µs, ${sway_before} µs, ${weston_before} µs, ${kwin_before} µs, ${gnb} µs |" \
"| time: monitor_listing / BEFORE, 1 monitor, sway, weston, KWin, mutter | $(ratio "$ml" "$mlb"), $(ratio "$sway_ml" "$sway_before"), $(ratio "$weston_ml" "$weston_before"), $(ratio "$kwin_ml" "$kwin_before"), $(ratio "$gn" "$gnb") |" \
"| 50 runs at once: BEFORE, monitor_listing / BEFORE | $(ms "$crowd_before"), $(ratio "$crowd" "$crowd_before") |")
| Linux binary size                    | $(size "$program") bytes |
| Linux binary needs                   | $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ') |
| Windows executable size (i686)       | $(size build/windows-x86/monitor_listing.exe) bytes (target ≤ 16384) |
TABLE

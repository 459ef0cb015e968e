#!/usr/bin/env bash
# Makes the Debian package with cpack, then checks it: lintian, or an install with dpkg into a
# throwaway root, a run of the installed program on Xvfb, its manual page, and its removal.
set -euo pipefail
export LC_ALL=C

if (($# != 5)); then
    echo "usage: $0 lintian|install CPACK CPACK_CONFIG WORK_DIR VERSION" >&2
    exit 2
fi
mode=$1 cpack=$2 config=$3 version=$5
here=$(cd "$(dirname "$0")" && pwd)
# A folder of this run's own beside WORK_DIR, so that runs at once on one build tree keep apart.
mkdir -p "$(dirname "$4")"
work=$(mktemp -d "$4.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
    printf 'FAIL %s: %s\n' "$mode" "$1" >&2
    exit 1
}

"$cpack" -G DEB --config "$config" -B "$work" >"$work/cpack.log" 2>&1 || fail "cpack: $(cat "$work/cpack.log")"
# Debian's name for it: no underscore in the package's name, then version and architecture.
deb=$work/monitor-listing_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || fail "no ${deb##*/}; cpack made: $(ls "$work")"

case $mode in
lintian)
    # Every error and warning fails; info and pedantic tags are shown only.
    lintian --fail-on error,warning --info --pedantic "$deb" || fail "lintian, status $?"
    ;;
install)
    # One package for each library the program needs or loads, none other.
    depends=$(dpkg-deb -f "$deb" Depends | sed -E 's/ \([^)]*\)//g' | tr -d ' ' | tr , '\n' | sort | paste -sd ' ')
    [[ $depends == "libc6 libwayland-client0 libxcb-randr0 libxcb1" ]] || fail "Depends: $depends"
    [[ $(dpkg-deb -f "$deb" Recommends) == "libdbus-1-3, libxcb-xinerama0" ]] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

    # A root of its own, whose dpkg database says what this machine has installed (without the
    # files), so that dpkg checks the dependencies as on this machine, and leaves a package that a
    # developer has installed here alone.
    root=$work/root
    admin=$root/var/lib/dpkg
    mkdir -p "$admin/info" "$admin/updates"
    cp /var/lib/dpkg/status "$admin/status"
    for list in /var/lib/dpkg/info/*.list; do : >"$admin/info/${list##*/}"; done
    dpkg --root="$root" --force-not-root -i "$deb" >"$work/dpkg.log" 2>&1 ||
        fail "dpkg -i: $(cat "$work/dpkg.log")"

    # Every file it installs, where Debian puts them.
    expected=(
        /usr/bin/monitor_listing
        /usr/share/doc/monitor-listing/changelog.gz
        /usr/share/doc/monitor-listing/copyright
        /usr/share/man/man1/monitor_listing.1.gz
    )
    files=$(cd "$root" && find usr -type f -printf '/%p\n' | sort)
    [[ $files == "$(printf '%s\n' "${expected[@]}")" ]] || fail "installed: $files"

    # The installed program lists a private Xvfb's monitors.
    report=$(bash "$here/../scripts/with-xvfb.sh" bash -c '
        xrandr --setmonitor "*LEFT" 300/100x200/100+0+0 none
        xrandr --setmonitor RIGHT 300/100x200/100+300+0 none
        exec "$0" </dev/null' "$root/usr/bin/monitor_listing")
    [[ $report == $'LEFT\ttrue\nRIGHT\tfalse\nscreen\tfalse' ]] || fail "the report is: $report"

    # man finds the page by name there and renders it without a warning.
    page=$(MANPATH=$root/usr/share/man MANWIDTH=80 man --warnings monitor_listing 2>"$work/man.err") ||
        fail "man: $(cat "$work/man.err")"
    [[ ! -s $work/man.err ]] || fail "man warns: $(cat "$work/man.err")"
    # (grep reads to the end: one that stops at the line would leave tr to die of SIGPIPE)
    tr -s ' ' <<<"$page" | grep -x ' monitor_listing - list the display monitors and tell which one is' >/dev/null ||
        fail "no NAME line in: $page"

    dpkg --root="$root" --force-not-root --purge monitor-listing >"$work/dpkg.log" 2>&1 ||
        fail "dpkg --purge: $(cat "$work/dpkg.log")"
    # Nothing but dpkg's database is left.
    left=$(find "$root" -mindepth 1 -maxdepth 1 ! -name var)
    [[ -z $left ]] || fail "left after removal: $(find "$root" -path "$root/var" -prune -o -print)"
    ;;
*)
    fail "no such mode"
    ;;
esac

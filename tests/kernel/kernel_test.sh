#!/usr/bin/env bash
# The program in QEMU guests on Debian's kernels, beside the guest's own view: modetest's connectors
# on the console, xrandr on Xorg and wayland-info on sway and weston, all on the kernel's KMS.
# Usage: kernel_test.sh PROGRAM console_6.1|console_6.12|x11|wayland
set -euo pipefail
program=$(realpath "$1") test=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
qemu=
trap '[ -z "$qemu" ] || kill "$qemu" 2>/dev/null || true; wait; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

# Where a kernel or QEMU cannot be had the group is skipped, but CI must run it.
skip() {
    [ "${CI:-}" != true ] || { echo "FAIL: $1; CI must run this group"; exit 1; }
    echo "SKIP: $1"
    exit 77
}
case $test in console_*) series=${test#console_} memory=512 ;; *) series=6.1 memory=1024 ;; esac
kernel=/var/cache/monitor_listing/kernel-$series
[ -s "$kernel/vmlinux" ] || skip "no kernel $series in $kernel (bash scripts/setup.sh test unpacks it)"
for tool in qemu-system-x86_64 busybox cpio modetest; do
    command -v $tool >/dev/null || skip "no $tool (bash scripts/setup.sh test installs it)"
done

# The initramfs: busybox, the init, the program, the drivers of the guest's devices, each after what
# it needs (from modules.dep), as udev would load them; a console guest gets modetest and the
# libraries too, the others share the host's root (where the guest's /tmp would hide the program).
root=$work/root
mkdir -p "$root/bin"
cp /bin/busybox "$program" "$root/bin/" && cp "$here/init" "$root/init" && ln -s busybox "$root/bin/sh"
[ "${program##*/}" = monitor_listing ] || mv "$root/bin/${program##*/}" "$root/bin/monitor_listing"
modules=$(echo "$kernel"/lib/modules/*)
load() {
    [[ $loaded != *" $1 "* ]] || return 0
    local dep copy
    for dep in $(awk -v module="$1:" '$1 == module { $1 = ""; print }' "$modules/modules.dep"); do load "$dep"; done
    loaded+="$1 "
    copy=$root/modules/$(printf %02d "$(wc -w <<<"$loaded")")-${1##*/}
    case $1 in *.xz) xz -dc "$modules/$1" >"${copy%.xz}" ;; *) cp "$modules/$1" "$copy" ;; esac
}
drivers() {  # drivers DEVICES: puts the modules for QEMU's DEVICES into the initramfs
    local name path
    rm -rf "$root/modules" && mkdir "$root/modules" && loaded=" "
    for name in $(tr , " " <<<"$1" | sed -e 's/-vga std/bochs/; s/-vga cirrus/cirrus/; s/qxl-vga/qxl/; s/virtio-\(vga\|gpu-pci\)/virtio_pci virtio-gpu/g' \
        -e 's/-virtfs/virtio_pci 9pnet_virtio 9p/'); do
        path=$(grep -oE "^[^:]*/$name\.ko(\.xz)?:" "$modules/modules.dep" || true)
        [ -z "$path" ] || load "${path%:}"  # else built in, or not a module's name
    done
}
share=()
if [[ $test != console_* ]]; then
    echo "host=yes program=/tmp/monitor_listing" >"$root/settings"
    share=(-virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap)
else
    echo "host=no program=/bin/monitor_listing" >"$root/settings"
    cp "$(command -v modetest)" "$root/bin/"
    for binary in "$program" "$root/bin/modetest"; do
        for library in $(ldd "$binary" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }'); do
            cp -L --parents "$library" "$root"
        done
    done
fi

# qemu NAME ACCEL DEVICES KERNEL_ARGUMENTS: starts a guest that runs $root/cases, writing to
# $work/NAME.out (its report) and $work/NAME.log (its console).
qemu() {
    drivers "$3 ${share[*]}"
    (cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd"
    # shellcheck disable=SC2086 # the devices are words
    qemu-system-x86_64 -nodefaults -display none -no-reboot -accel "$2" -smp 1 -m $memory \
        -kernel "$kernel/vmlinux" -initrd "$work/initrd" -append "console=ttyS0 panic=-1 rdinit=/init $4" \
        -serial "file:$work/$1.log" -serial "file:$work/$1.out" $3 "${share[@]}" 2>"$work/$1.err" &
    qemu=$!
}
# finish NAME: waits for the guest to power off. A loaded machine slows a guest down, so it is
# stopped only once it has said nothing on its console or in its report for 200 s, longer than
# any of its own waits.
finish() {
    local said= now
    while kill -0 "$qemu" 2>/dev/null && sleep 0.2; do
        now=$(cat "$work/$1.log" "$work/$1.out" 2>/dev/null | wc -c || true)
        [ "$now" = "$said" ] || said=$now silent=$SECONDS
        ((SECONDS - silent < 200)) || { echo "guest $1 silent for 200 s: stopped"; kill "$qemu"; }
    done
    wait "$qemu" || true; qemu=; tr -d '\r' <"$work/$1.out" >"$work/$1.report"
}

# KVM where a trial guest's kernel speaks within 3 s (it does in well under 1 s); TCG otherwise. A
# KVM that cannot run it (nested PVM) fails only after some 50 s, with "KVM internal error".
accel=tcg
if [ -w /dev/kvm ]; then
    : >"$root/cases"
    qemu trial kvm "" ""
    for _ in $(seq 30); do grep -qs 'Linux version' "$work/trial.log" && accel=kvm && break; sleep 0.1; done
    kill "$qemu"
    finish trial
    [ $accel = kvm ] || echo "KVM did not boot the guest within 3 s, so TCG"
fi

# expect WORDS: the report that a row's expected names make: "*" marks the primary, "-" is none.
expect() {
    local word
    for word in $1; do
        [ "$word" = - ] || { [ "${word:0:1}" = '*' ] && printf '%s\ttrue\n' "${word:1}" || printf '%s\tfalse\n' "$word"; }
    done
}
failures=0 boots=0 guest='' expected=()
# run_guest: boots the guest of the rows gathered so far and checks each row's block of the report.
run_guest() {
    [ -n "$guest" ] || return 0
    boots=$((boots + 1))
    local started=$SECONDS line name
    qemu "$boots" "$accel" "${guest%% -- *}" "$([[ $guest == *' -- '* ]] && echo "${guest#* -- }")"
    finish "$boots"
    echo "guest $boots ($((SECONDS - started)) s): ${guest}"
    for line in "${expected[@]}"; do
        name=${line%%|*}
        local block report view
        block=$(awk -v head="== $name" '$0 == head { on = 1; next } /^== / { on = 0 } on' "$work/$boots.report")
        report=$(sed -n 's/^< //p' <<<"$block") view=$(sed -n 's/^> //p' <<<"$block")
        if grep -qx "== $name" "$work/$boots.report" && [ "$report" = "$(expect "${line#*|}")" ] && [ "$view" = "$report" ] && ! grep -q '^!' <<<"$block"; then
            echo "ok   $name: $(tr '\t\n' ' ,' <<<"$report") [sysfs:$(sed -n 's/^# / /p' <<<"$block" | tr '\n' ,)]"
        else
            echo "FAIL $name: expected ${line#*|}; the guest said:"
            sed 's/^/    /' <<<"${block:-(nothing; its console ends:)$'\n'$(tail -n 15 "$work/$boots.log")}"
            failures=$((failures + 1))
        fi
    done
    : >"$root/cases"
    expected=()
}
: >"$root/cases"
while IFS='|' read -r group row_guest name view step want; do
    [ "$group" = "${test%_*}" ] || [ "$group" = "$test" ] || continue
    [ "$row_guest" = "$guest" ] || { run_guest; guest=$row_guest; }
    printf '%s|%s|%s\n' "$name" "$view" "$step" >>"$root/cases"
    expected+=("$name|$want")
done < <(awk -F'|' -v OFS='|' '!/^#/ && NF { for (i = 1; i <= NF; i++) gsub(/^ +| +$/, "", $i); print }' "$here/cases")
run_guest
echo "$test: $failures failed, $boots guests on $accel"
[ "$failures" = 0 ]

#!/usr/bin/env bash
# Installs the Debian packages that a run, the tests or the benchmark need and lack:
# setup.sh run|test|bench.
set -euo pipefail

# The build needs the Wayland protocol files and scanner, and libdbus's headers only.
run_packages=(cmake ninja-build g++ pkg-config libxcb1-dev libxcb-randr0-dev libxcb-xinerama0-dev xvfb x11-xserver-utils
    libwayland-dev libwayland-bin wayland-protocols plasma-wayland-protocols libdbus-1-dev)
# Headless Wayland compositors for the tests (tests/wayland) and their tools (kscreen-doctor is
# in libkf5screen-bin, busctl in systemd); python3-dbus and python3-gi serve a stand-in of
# mutter's DisplayConfig.
wayland_packages=(sway kwin-wayland mutter weston wayland-utils libkf5screen-bin qtwayland5
    dbus-daemon systemd jq python3-dbus python3-gi)
# The kernel group boots Debian's kernels in QEMU guests (tests/kernel): an initramfs of busybox,
# modetest, the modules (depmod orders them), and Xorg, seatd and the compositors on the guest's KMS.
kernel_packages=(qemu-system-x86 busybox-static cpio kmod libdrm-tests xserver-xorg-core seatd)
test_packages=("${run_packages[@]}" "${wayland_packages[@]}" "${kernel_packages[@]}" libgtest-dev tmux xauth python3 file strace
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 icoutils
    clang libclang-rt-14-dev libfuzzer-14-dev valgrind dpkg-dev lintian man-db)

bench_packages=("${run_packages[@]}" gcc xtrace strace g++-mingw-w64-i686 sway weston kwin-wayland mutter dbus-daemon wayland-utils)

case "${1:-}" in
    run) wanted=("${run_packages[@]}") ;;
    bench) wanted=("${bench_packages[@]}") ;;
    test) wanted=("${test_packages[@]}") ;;
    *) echo "usage: $0 run|test|bench" >&2; exit 2 ;;
esac

# 32-bit Windows programs run in the 64-bit Wine's WoW64 mode, which needs only the 32-bit Windows
# DLLs: those of libwine:i386, of the installed Wine's version, unpacked here rather than
# installed, so that no i386 package enters the system and wine64 creates its prefixes as before.
wine_i386_dlls=/var/cache/monitor_listing/libwine-i386
wine_dlls_current() {
    local installed
    installed=$(dpkg-query -W -f='${Version}' libwine:amd64 2>/dev/null) && [ -n "$installed" ] &&
        [ "$(cat "$wine_i386_dlls/version" 2>/dev/null)" = "$installed" ]
}
fetch_dlls=false
if [ "$1" = test ] && ! wine_dlls_current; then
    fetch_dlls=true
    # apt fetches libwine:i386 only with i386 added before its package lists are updated.
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
fi

# A mirror part-way through a sync can fail one index (seen: the i386 security list) while the
# rest are current: the install below then says what, if anything, it could not find.
update() {
    apt-get update -qq || echo "setup: apt-get update failed for some lists; going on with what it has"
}

updated=false
missing=()
for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all ${#wanted[@]} packages are installed"
else
    echo "setup: installing ${missing[*]}"
    plain=()
    lean=()
    for package in "${missing[@]}"; do
        case " ${wayland_packages[*]} ${kernel_packages[*]} " in *" $package "*) lean+=("$package") ;; *) plain+=("$package") ;; esac
    done
    export DEBIAN_FRONTEND=noninteractive
    update
    updated=true
    [ ${#plain[@]} -eq 0 ] || apt-get install -y -qq "${plain[@]}" >/dev/null
    # The compositors' recommended packages would add about 2 GB of desktop that no test uses.
    [ ${#lean[@]} -eq 0 ] || apt-get install -y -qq --no-install-recommends "${lean[@]}" >/dev/null
fi

# The kernels that tests/kernel boots, unpacked into /var/cache/monitor_listing/kernel-SERIES with
# the ELF taken out of the bzImage (QEMU boots it directly, about 2 s sooner under TCG): Debian 12's
# own and, where apt knows it, bookworm's newest 6.12. Fetched again only when apt has a newer one.
# vmlinux BZIMAGE OUT: the kernel's ELF, from the first xz or zstd stream in the bzImage that holds one.
vmlinux() {
    local magic offset
    for magic in '\xfd7zXZ\x00 xz' '\x28\xb5\x2f\xfd unzstd'; do
        for offset in $(LC_ALL=C grep -obUaP "${magic% *}" "$1" | cut -d: -f1); do
            # The stream is followed by the rest of the bzImage: the decompressor complains of it, or
            # stops reading there and tail gets SIGPIPE. Whether the output is an ELF decides.
            tail -c +$((offset + 1)) "$1" | "${magic#* }" -dcq >"$2" 2>/dev/null || true
            [ "$(head -c 4 "$2")" = $'\x7fELF' ] && return 0
        done
    done
    echo "setup: no kernel ELF found in $1" >&2
    return 1
}
fetch_kernel() {  # fetch_kernel SERIES PACKAGE
    local dir=/var/cache/monitor_listing/kernel-$1 version
    version=$2=$(apt-cache policy "$2" | awk '/Candidate:/ { print $2 }')
    [ "$(cat "$dir/version" 2>/dev/null)" != "$version" ] || return 0
    echo "setup: unpacking $version into $dir"
    mkdir -p "$(dirname "$dir")"
    unpacked=$(mktemp -d "$dir.XXXXXX")
    (cd "$unpacked" && apt-get download -qq -o APT::Sandbox::User=root "$version")
    dpkg-deb -x "$unpacked"/*.deb "$unpacked"
    rm "$unpacked"/*.deb
    vmlinux "$unpacked"/boot/vmlinuz-* "$unpacked/vmlinux"
    # The package leaves modules.dep to its postinst.
    depmod -b "$unpacked" "$(basename "$unpacked"/lib/modules/*)"
    echo "$version" >"$unpacked/version"
    chmod 755 "$unpacked"
    rm -rf "$dir"
    mv -T "$unpacked" "$dir"
}
unpacked=
trap 'rm -rf "$unpacked"' EXIT
if [ "$1" = test ]; then
    fetch_kernel 6.1 "$(apt-cache depends linux-image-amd64 | awk '$1 == "Depends:" && $2 ~ /^linux-image-6/ { print $2; exit }')"
    newest=$(apt-cache search --names-only '^linux-image-6\.12\.[0-9]+\+deb12-amd64$' | cut -d' ' -f1 | sort -V | tail -n 1)
    if [ -n "$newest" ]; then fetch_kernel 6.12 "$newest"; else echo "setup: apt knows no linux-image-6.12.*+deb12-amd64"; fi
fi

$fetch_dlls || exit 0
version=$(dpkg-query -W -f='${Version}' libwine:amd64)
echo "setup: unpacking the 32-bit Windows DLLs of libwine:i386 $version into $wine_i386_dlls"
$updated || update
mkdir -p "$(dirname "$wine_i386_dlls")"
unpacked=$(mktemp -d "$wine_i386_dlls.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
# As root into a folder of root's: apt's _apt user could not write there.
(cd "$unpacked" && apt-get download -qq -o APT::Sandbox::User=root "libwine:i386=$version")
dpkg-deb --fsys-tarfile "$unpacked"/libwine_*_i386.deb |
    tar -x -C "$unpacked" --strip-components=5 ./usr/lib/i386-linux-gnu/wine/i386-windows
rm "$unpacked"/libwine_*_i386.deb
echo "$version" >"$unpacked/version"
chmod 755 "$unpacked"
rm -rf "$wine_i386_dlls"
mv -T "$unpacked" "$wine_i386_dlls"

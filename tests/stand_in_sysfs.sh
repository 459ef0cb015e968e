# A stand-in /sys/class for the runs that read the kernel's display connectors; sourced by the
# tests and the benchmark.

# connector ROOT CARD-NAME STATUS ENABLED [ID]: a connector's directory under ROOT/devices, reached
# by a link in ROOT/drm, as the kernel makes it.
connector() {
    mkdir -p "$1/devices/$2" "$1/drm"
    ln -s "../devices/$2" "$1/drm/$2"
    printf '%s\n' "$3" >"$1/devices/$2/status"
    printf '%s\n' "$4" >"$1/devices/$2/enabled"
    [ -z "${5:-}" ] || printf '%s\n' "$5" >"$1/devices/$2/connector_id"
}

# "${in_sysfs[@]}" ROOT COMMAND...: runs COMMAND with ROOT mounted over /sys/class, for it alone.
in_sysfs=(unshare -m sh -c 'mount --bind "$0" /sys/class && exec "$@"')

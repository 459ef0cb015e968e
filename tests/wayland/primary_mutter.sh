#!/usr/bin/env bash
# Makes output NAME mutter's primary through org.gnome.Mutter.DisplayConfig and checks it with a
# fresh GetCurrentState: primary_mutter.sh DIR NAME, DIR as given to compositor.sh start mutter.
set -euo pipefail
dir=$1 name=$2
bus=$(sed -n 's/^DBUS_SESSION_BUS_ADDRESS=//p' "$dir/env")

display_config() {
    busctl --address="$bus" --json=short call org.gnome.Mutter.DisplayConfig \
        /org/gnome/Mutter/DisplayConfig org.gnome.Mutter.DisplayConfig "$@"
}

# The current layout with only the primary flag moved, as ApplyMonitorsConfig's arguments:
# serial, method 1 (temporary), then per logical monitor x, y, scale, transform, primary and
# its monitors (connector, current mode, no properties); no global properties.
to_apply='.data as [$serial, $monitors, $logical, $_]
    | ($monitors | map({key: .[0][0], value: (.[1][] | select(.[6]["is-current"].data) | .[0])})
        | from_entries) as $mode
    | [$serial, 1, ($logical | length)]
      + ($logical | map([.[0], .[1], .[2], .[3], (.[5] | any(.[0] == $name)), (.[5] | length)]
          + (.[5] | map([.[0], $mode[.[0]], 0]) | add)) | add)
      + [0]
    | .[] | tostring'
mapfile -t arguments < <(display_config GetCurrentState | jq -r --arg name "$name" "$to_apply")
display_config ApplyMonitorsConfig 'uua(iiduba(ssa{sv}))a{sv}' "${arguments[@]}" >/dev/null

primary=$(display_config GetCurrentState | jq -r '.data[2][] | select(.[4]) | .[5][][0]')
[ "$primary" = "$name" ] || { echo "primary: mutter's primary is '$primary', not $name" >&2; exit 1; }

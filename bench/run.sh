#!/usr/bin/env bash
# Benchmark: monitor_listing against `xrandr --listmonitors` and two floor programs, on two private
# Xvfb servers (1 and 65 monitors), and against wayland-info and a Wayland floor on headless sway,
# weston, KWin and mutter; prints a table. Not a test: absolute times here are noise, the ratios
# measured side by side are the figures.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh bench
cmake --preset linux >/dev/null
cmake --build --preset linux --target monitor_listing monitor_listing_fake >/dev/null
if [ -z "${BENCH_SKIP_WINDOWS:-}" ]; then
    cmake --preset windows-x86 >/dev/null
    cmake --build --preset windows-x86 >/dev/null
fi
mkdir -p build/bench
cc -O2 -Wall -Wextra -Werror bench/floor.c -o build/bench/floor $(pkg-config --cflags --libs xcb xcb-randr)
cc -O2 -Wall -Wextra -Werror -DISOLATED bench/floor.c -o build/bench/isolated_floor $(pkg-config --cflags --libs xcb xcb-randr)
cc -O2 -Wall -Wextra -Werror bench/wayland_floor.c -o build/bench/wayland_floor $(pkg-config --cflags --libs wayland-client)
cc -O2 -Wall -Wextra -Werror bench/measure.c -o build/bench/measure
cc -O2 -Wall -Wextra -Werror -DEMPTY bench/load.c -o build/bench/empty
cc -O2 -Wall -Wextra -Werror bench/load.c -o build/bench/linked -Wl,--no-as-needed $(pkg-config --libs wayland-client)
cc -O2 -Wall -Wextra -Werror -DDLOPEN bench/load.c -o build/bench/loaded

bash scripts/with-xvfb.sh bash -c 'ONE=$DISPLAY exec bash scripts/with-xvfb.sh bash bench/table.sh'

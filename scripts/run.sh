#!/usr/bin/env bash
# Sets up, builds and runs monitor_listing: on the desktop, on the kernel's lit connectors where no
# display server is named, or else on a private Xvfb with three monitors (scripts/show.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh run
cmake --preset linux >/dev/null
cmake --build --preset linux --target monitor_listing >/dev/null
exec bash scripts/show.sh build/linux/bin/monitor_listing

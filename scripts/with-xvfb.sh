#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb, which is stopped afterwards.
set -euo pipefail

ready=$(mktemp)
# -noreset: without it Xvfb forgets its monitors when its last client leaves.
Xvfb -displayfd 1 -nolisten tcp -noreset ${XVFB_SCREEN:+-screen 0 "$XVFB_SCREEN"} >"$ready" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -f "$ready"' EXIT
for _ in $(seq 200); do [ -s "$ready" ] && break; sleep 0.05; done
[ -s "$ready" ] || { echo "with-xvfb: Xvfb did not start" >&2; exit 1; }
DISPLAY=:$(head -n 1 "$ready") "$@"

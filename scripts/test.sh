#!/usr/bin/env bash
# Sets up, builds and runs every test: Linux, the Windows builds, sanitizers (ASan and UBSan, TSan) and the fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh test
for preset in ${PRESETS:-linux linux-sanitize linux-tsan windows-x86 windows-x64 linux-fuzz}; do
    echo "test: preset $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" </dev/null
done

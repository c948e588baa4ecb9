#!/usr/bin/env bash
# Configures (once) and builds the four configurations, each with its tests: x86 makes the
# deliverables, arm64 the Windows on ARM64 extras, x64 the 64-bit extras and the distribution
# archive (which takes the x86 and arm64 files), host kelvo-brand for this machine.
# KELVO_BUILD names another build folder than build/ (for side-by-side work).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=${KELVO_BUILD:-build}
for preset in x86 arm64 x64 host; do
  # A folder configured before the ARM64 build existed is configured again, once.
  grep -qs '^KELVO_ARM64_DIR:' "$out/$preset/CMakeCache.txt" ||
    cmake --preset "$preset" -B "$out/$preset" -DKELVO_X86_DIR="$root/$out/x86" -DKELVO_ARM64_DIR="$root/$out/arm64" \
      -DKELVO_WINEPREFIX="$root/$out/wineprefix" >/dev/null
  cmake --build "$out/$preset"
done

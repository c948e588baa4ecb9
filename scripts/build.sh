#!/usr/bin/env bash
# Configures (once) and builds both configurations: x86 makes the deliverables, x64 the tests.
# KELVO_BUILD names another build folder than build/ (for side-by-side work).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=${KELVO_BUILD:-build}
for preset in x86 x64; do
  [ -f "$out/$preset/CMakeCache.txt" ] || cmake --preset "$preset" -B "$out/$preset" -DKELVO_X86_DIR="$root/$out/x86" >/dev/null
  cmake --build "$out/$preset"
done

#!/usr/bin/env bash
# Runs the benchmarks of both builds under Wine, x86 (what users run) then x64, in the same
# session as the tests run in. Each program prints its own figures; nothing is asserted.
#   scripts/bench.sh [launcher_bench|startup_bench|rasterizer_bench|installer_bench ...]
#   (default: all of them). installer_bench runs once, on this machine: kelvo-pack --type msi
#   against wixl alone, and Wine's msiexec installing and removing the package.
# startup_bench of both builds starts the same 64-bit stand-in Java, as on 64-bit Windows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
scripts/build.sh >/dev/null
out=${KELVO_BUILD:-build}
source scripts/wine-session.sh

benches=("$@")
[ ${#benches[@]} -gt 0 ] || benches=(launcher_bench startup_bench rasterizer_bench installer_bench)
stand_in="Z:$root/$out/x64/bin/quick_java.exe"
for bench in "${benches[@]}"; do
  if [ "$bench" = installer_bench ]; then
    echo "== installer_bench (the archive's Linux kelvo-pack, this machine's wixl and Wine)"
    python3 bench/pack/installer_bench.py "$out/x64/kelvo-2.2.0.zip" "$out/x64/bin" "$WINEPREFIX"
    continue
  fi
  arguments=()
  [ "$bench" = startup_bench ] && arguments=("${stand_in//\//\\}")
  for config in x86 x64; do
    if [ "$config" = x86 ] && ! runs_32bit; then
      echo "== $bench, x86 build: not run, this machine runs no 32-bit programs ($why_no_32bit)"
      continue
    fi
    if [ "$config" = x86 ] && emulated_32bit; then
      echo "== $bench, x86 build, emulated ($emulator): the emulator's figures, not the launcher's;"
      echo "   the x64 build's below are the ones that judge it"
    else
      echo "== $bench, $config build"
    fi
    /usr/lib/wine/wine64 "$out/$config/bin/$bench.exe" "${arguments[@]}"
  done
done

#!/usr/bin/env bash
# The test command: sets the machine up, builds the configurations, runs the host build's native
# tests, then every test of the x86 build (what users run) and of the x64 build under Wine, one
# after the other, on one private prefix and an Xvfb display that this script starts and stops,
# then the ARM64 build's, each run beside the x64 build under the arm64 Wine on a prefix of its
# own. Arguments go to every ctest run (for instance -R quoting).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
scripts/build.sh
out=${KELVO_BUILD:-build}

# The fuzzers explore: each commit feeds them inputs of its own, from the first 8 hex digits of
# its hash (outside git, from the clock). A failure prints the command that replays it.
if [ -z "${KELVO_FUZZ_SEED:-}" ]; then
  seed_hex=$(git rev-parse HEAD 2>/dev/null | cut -c1-8)
  [ -n "$seed_hex" ] || seed_hex=$(printf '%08x' "$(date +%s)")
  export KELVO_FUZZ_SEED=$((16#$seed_hex))
fi
echo "fuzz seed $(printf '%08x' "$KELVO_FUZZ_SEED") (KELVO_FUZZ_SEED=$KELVO_FUZZ_SEED)"

status=0
echo "== ctest: host build"
ctest --test-dir "$out/host" --output-on-failure "$@" || status=1

source scripts/wine-session.sh
# Both runs share the prefix (and so the registry that tests fill): never at the same time.
for config in x86 x64; do
  echo "== ctest: $config build"
  skip=()
  if [ "$config" = x86 ] && ! runs_32bit; then
    # The x86 build's programs cannot start here: its static checks still run.
    skip=(-E "$(ctest --test-dir "$out/x86" --show-only=json-v1 | python3 -c '
import json, sys
names = [t["name"] for t in json.load(sys.stdin)["tests"] if any("wine-run" in part for part in t["command"])]
print("^(" + "|".join(names) + ")$")')")
    echo "NOT TESTED: the x86 build's programs under Wine. This machine runs no 32-bit programs:"
    echo "  $why_no_32bit. Its tests that start them are left out; the rest run."
  elif [ "$config" = x86 ] && emulated_32bit; then
    echo "The x86 build's programs run emulated here ($emulator): every test runs, more slowly."
  fi
  ctest --test-dir "$out/$config" --output-on-failure -j 2 "${skip[@]}" "$@" || status=1
done

# The ARM64 build's programs run under the arm64 Wine, beside the x64 build's under the host's.
echo "== ctest: arm64 build"
source scripts/arm64-session.sh
skip=()
if runs_arm64; then
  started=$(date +%s)
  start_arm64_session
  echo "The ARM64 programs run emulated (arm64 Wine from $arm64_wine, prefix ready in $(($(date +%s) - started)) s)."
else
  skip=(-LE arm64-wine)
  echo "NOT TESTED: the ARM64 build's programs under Wine: $why_no_arm64."
  echo "  Its tests that start them are left out; the rest run."
fi
ctest --test-dir "$out/arm64" --output-on-failure "${skip[@]}" "$@" || status=1
exit $status

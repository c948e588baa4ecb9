#!/usr/bin/env bash
# The test command: sets the machine up, builds the configurations, runs the host build's native
# tests, then every test of the x86 build (what users run) and of the x64 build under Wine, one
# after the other, on one private prefix and an Xvfb display that this script starts and stops.
# Arguments go to both ctest runs (for instance -R quoting).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
scripts/build.sh
out=${KELVO_BUILD:-build}

status=0
echo "== ctest: host build"
ctest --test-dir "$out/host" --output-on-failure "$@" || status=1

source scripts/wine-session.sh
# Both runs share the prefix (and so the registry that tests fill): never at the same time.
for config in x86 x64; do
  echo "== ctest: $config build"
  ctest --test-dir "$out/$config" --output-on-failure -j 2 "$@" || status=1
done
exit $status

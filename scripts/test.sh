#!/usr/bin/env bash
# The test command: sets the machine up, builds both configurations, then runs every test of
# the x86 build (what users run) and of the x64 build under Wine, one after the other, on one
# private prefix and an Xvfb display that this script starts and stops.
# Arguments go to both ctest runs (for instance -R quoting).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
scripts/build.sh
out=${KELVO_BUILD:-build}
source scripts/wine-session.sh

# Both runs share the prefix (and so the registry that tests fill): never at the same time.
status=0
for config in x86 x64; do
  echo "== ctest: $config build"
  ctest --test-dir "$out/$config" --output-on-failure -j 2 "$@" || status=1
done
exit $status

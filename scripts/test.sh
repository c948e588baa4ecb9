#!/usr/bin/env bash
# The test command: sets the machine up, builds both configurations, then runs every test of the
# x64 build under Wine, on a private prefix and an Xvfb display that this script starts and stops.
# Arguments go to ctest (for instance -R quoting).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
scripts/build.sh
out=${KELVO_BUILD:-build}

export WINEPREFIX="$root/$out/x64/wineprefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
xvfb_pid="" server_pid=""
cleanup() {
  [ -n "$server_pid" ] && { /usr/lib/wine/wineserver -k 2>/dev/null || true; kill "$server_pid" 2>/dev/null || true; }
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and writes it to fd 9.
display_file=$(mktemp)
Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$display_file")"
rm -f "$display_file"

# The prefix is made once and kept; a persistent server spares each process its start-up.
scripts/wine-prefix.sh "$WINEPREFIX"
/usr/lib/wine/wineserver -f -p &
server_pid=$!
# The first program starts Wine's services and desktop, which live as long as the server;
# started here, they do not hold ctest's output pipes open after a test has ended.
/usr/lib/wine/wine64 "$out/x64/bin/box_demo.exe" </dev/null >/dev/null 2>&1 || true

ctest --test-dir "$out/x64" --output-on-failure -j 2 "$@"

# Sourced by the scripts that run Windows programs of the build: starts an Xvfb display of its
# own, makes the private prefix (once) and keeps a Wine server up on it until the calling
# script ends, so each program neither pays Wine's start-up nor waits for a window manager.
# Needs $root and $out; exports WINEPREFIX, DISPLAY and the rest of Wine's settings.
export WINEPREFIX="$root/$out/wineprefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
xvfb_pid="" server_pid=""
stop_wine_session() {
  [ -n "$server_pid" ] && { /usr/lib/wine/wineserver -k 2>/dev/null || true; kill "$server_pid" 2>/dev/null || true; }
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap stop_wine_session EXIT

# A display of our own: Xvfb picks a free number and writes it to fd 9.
display_file=$(mktemp)
Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$display_file")"
rm -f "$display_file"

# The prefix is made once and kept; a persistent server spares each process its start-up.
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"
/usr/lib/wine/wineserver -f -p &
server_pid=$!
# The first program starts Wine's services and desktop, which live as long as the server;
# started here, they do not hold ctest's output pipes open after a test has ended.
source "$root/scripts/machine-bits.sh"
first_config=x86
runs_32bit || first_config=x64
/usr/lib/wine/wine64 "$root/$out/$first_config/bin/box_demo.exe" </dev/null >/dev/null 2>&1 || true

# Sourced by test.sh before the ARM64 build's tests, after wine-session.sh (its display): where
# the arm64 Wine runs (runs_arm64), makes the private arm64 prefix once and keeps the arm64
# Wine's own server up on it until the calling script ends. Wine would otherwise start the
# host's x86-64 server, which refuses ARM64 programs ("doesn't support the aa64 architecture").
# Exports KELVO_ARM64_WINE and KELVO_ARM64_PREFIX for the tests; QEMU_LD_PREFIX (and WINESERVER,
# so that a start never reaches for the host's server) is set for the
# arm64 Wine's processes alone (it would lead any other emulated program astray).
source "$root/scripts/arm64-machine.sh"
arm64_server_pid=""
stop_arm64_session() {
  [ -n "$arm64_server_pid" ] && kill "$arm64_server_pid" 2>/dev/null
  arm64_server_pid=""
}
start_arm64_session() {
  export KELVO_ARM64_WINE="$arm64_wine" KELVO_ARM64_PREFIX="$root/$out/wineprefix-arm64"
  local wine="$arm64_wine/root/usr/lib/wine"
  local arm64=(env QEMU_LD_PREFIX="$arm64_wine/root" WINEPREFIX="$KELVO_ARM64_PREFIX" WINESERVER="$wine/wineserver64" WINEARCH=win64)
  mkdir -p "$KELVO_ARM64_PREFIX"
  "${arm64[@]}" "$wine/wineserver64" -f -p &
  arm64_server_pid=$!
  # A process that finds no server starts one itself, the host's: the tests wait for this one's
  # socket (in /tmp/.wine-<uid>, or in Debian's /tmp/wine-XXXXXX).
  local server socket
  server=server-$(stat -c %D "$KELVO_ARM64_PREFIX")-$(printf %x "$(stat -c %i "$KELVO_ARM64_PREFIX")")
  for _ in $(seq 200); do
    for socket in /tmp/.wine-"$(id -u)"/"$server"/socket /tmp/wine-*/"$server"/socket; do
      [ -S "$socket" ] && break 2
    done
    sleep 0.1
  done
  trap 'stop_arm64_session; stop_wine_session' EXIT
  if [ ! -f "$KELVO_ARM64_PREFIX/.kelvo-ready" ]; then
    "${arm64[@]}" "$wine/wine64" wineboot -i >/dev/null 2>&1
    "${arm64[@]}" "$wine/wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    touch "$KELVO_ARM64_PREFIX/.kelvo-ready"
  fi
}

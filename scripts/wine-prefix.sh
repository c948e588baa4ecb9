#!/bin/sh
# wine-prefix.sh PREFIX: makes a private 64-bit Wine prefix once (it runs 32-bit programs too),
# headless (no Mono or Gecko prompts), with unmanaged windows: without a window manager, Wine
# otherwise waits two seconds for each closed window, an error box included.
prefix=$1
[ -f "$prefix/.kelvo-ready" ] && exit 0
mkdir -p "$prefix"
(
  flock 9
  [ -f "$prefix/.kelvo-ready" ] && exit 0
  export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  touch "$prefix/.kelvo-ready"
) 9>"$prefix.lock"

#!/usr/bin/env bash
# wine-prefix.sh PREFIX: makes a private 64-bit Wine prefix once (it runs 32-bit programs too),
# headless (no Mono or Gecko prompts), its user folders its own, with unmanaged windows: without a window manager, Wine
# otherwise waits two seconds for each closed window, an error box included. A prefix made while
# this machine ran no 32-bit programs has no 32-bit system (an empty syswow64): once they run
# (setup.sh has made them run emulated), it is made anew.
prefix=$1
ready() {
  [ -f "$prefix/.kelvo-ready" ] || return 1
  [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ] && return 0
  source "$(dirname "$0")/machine-bits.sh"
  ! runs_32bit
}
ready && exit 0
mkdir -p "$prefix"
(
  flock 9
  ready && exit 0
  [ -f "$prefix/.kelvo-ready" ] && { echo "wine-prefix: $prefix has no 32-bit system: made anew"; rm -rf "$prefix"; }
  export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  # A new prefix's Desktop, Documents and the like are links to $HOME: the shortcuts and
  # documents of the tests stay inside the prefix.
  for link in "$prefix"/drive_c/users/*/*; do
    [ -L "$link" ] && rm "$link" && mkdir "$link"
  done
  touch "$prefix/.kelvo-ready"
) 9>"$prefix.lock"

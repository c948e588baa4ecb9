#!/usr/bin/env bash
# Installs from Debian, by package name, everything that building and testing need.
# Idempotent: asks apt only when a package is missing. Wine's 32-bit half (wine32:i386) runs
# the 32-bit deliverables, so the i386 architecture is added first when it is missing. Where the
# kernel refuses 32-bit programs, they are made to run emulated (emulate-32bit.sh); where that
# cannot be done, the tests that start them are reported as not tested. The ARM64 programs run
# under an arm64 Wine fetched once per machine (arm64-wine.sh).
set -euo pipefail

packages=(
  cmake ninja-build g++
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  clang-14 lld-14 llvm-14
  googletest
  zlib1g-dev libz-mingw-w64-dev
  openjdk-17-jdk-headless
  wine64 wine32:i386
  xvfb xauth
  zip python3
  openssl osslsigncode
  wixl msitools faketime
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture (for wine32)"
  $sudo dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

source "$(dirname "$0")/machine-bits.sh"
if ! runs_32bit || emulated_32bit; then
  "$(dirname "$0")/emulate-32bit.sh" || true
fi
# The ARM64 programs run under Debian's arm64 Wine, emulated; where that cannot be set up, their
# tests say NOT TESTED.
"$(dirname "$0")/arm64-wine.sh" || true

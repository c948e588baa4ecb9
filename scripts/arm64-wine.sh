#!/usr/bin/env bash
# Called by setup.sh: makes the ARM64 programs of the build runnable here, for their tests only.
# Debian's arm64 Wine is fetched and unpacked once per machine into a folder outside any clone
# ($KELVO_ARM64_WINE, default /var/cache/kelvo-arm64-wine), never installed: it runs under the
# user-mode emulator qemu-aarch64, which binfmt_misc starts for 64-bit ARM programs, with
# QEMU_LD_PREFIX naming that folder. Its packages are those whose libraries Wine's loader,
# server, builtins and X11 driver load (freetype and fontconfig, which it opens itself,
# included). The registration does not outlive a reboot, so it is checked on every call.
# Anything that cannot be done is said in one line, exit 1.
set -uo pipefail
source "$(dirname "$0")/arm64-machine.sh"
binfmt=/proc/sys/fs/binfmt_misc

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo -n"
give_up() {
  echo "setup: ARM64 programs cannot be made to run here: $*"
  exit 1
}
if [ -n "$sudo" ] && ! $sudo true 2>/dev/null; then
  give_up "fetching Wine into $arm64_wine and registering an emulator need root (or sudo without a password)"
fi

packages=(wine64 libwine libc6 libgcc-s1 libunwind8 liblzma5 libx11-6 libxext6 libxcb1 libxau6 libxdmcp6 libbsd0
  libmd0 libfreetype6 libfontconfig1 libexpat1 libpng16-16 zlib1g libbrotli1)

# The emulator: Debian 12's qemu-user-static, unless qemu-user (10, from backports, where
# 32-bit x86 programs run emulated) is there already. Both run ARM64 Wine equally fast.
if [ ! -x /usr/bin/qemu-aarch64 ] && [ ! -x /usr/bin/qemu-aarch64-static ]; then
  echo "setup: installing qemu-user-static (user-mode emulation of ARM64 for the tests)"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null 2>&1 ||
    give_up "qemu-user-static cannot be installed"
fi
interpreter=/usr/bin/qemu-aarch64
[ -x $interpreter ] || interpreter=/usr/bin/qemu-aarch64-static

if [ ! -e "$binfmt/register" ]; then
  $sudo mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || give_up "binfmt_misc cannot be mounted at $binfmt"
fi
if ! entry=$(aarch64_binfmt_entry); then
  # F opens the interpreter now, so it serves every mount namespace.
  printf ':qemu-aarch64:M::%s:%s:%s:F' "$(hex_escaped "$aarch64_elf_magic")" "$(hex_escaped "$aarch64_elf_mask")" \
    "$interpreter" | $sudo tee "$binfmt/register" >/dev/null 2>&1 || give_up "the aarch64 entry cannot be registered with binfmt_misc"
  echo "setup: 64-bit ARM programs now run here through $interpreter, for the tests only"
elif ! grep -qx enabled "$entry"; then
  give_up "$entry (64-bit ARM programs) is disabled"
fi

# Wine, once per machine; two set-ups at once wait for each other.
if [ ! -f "$arm64_wine/ready" ]; then
  $sudo mkdir -p "$arm64_wine" || give_up "$arm64_wine cannot be made"
  (
    flock 9
    [ -f "$arm64_wine/ready" ] && exit 0
    if ! dpkg --print-foreign-architectures | grep -qx arm64; then
      echo "setup: adding the arm64 architecture (to fetch Debian's arm64 Wine, never installed)"
      $sudo dpkg --add-architecture arm64 || exit 1
    fi
    echo "setup: fetching Debian's arm64 Wine into $arm64_wine (once per machine)"
    download=$($sudo mktemp -d "$arm64_wine/download.XXXXXX") || exit 1
    fetch() { (cd "$download" && $sudo apt-get download -qq "${packages[@]/%/:arm64}") >/dev/null 2>&1; }
    # The arm64 package lists may be missing or stale: read again once.
    fetch || { $sudo apt-get update -qq >/dev/null 2>&1 && fetch; } || { $sudo rm -rf "$download"; exit 1; }
    $sudo rm -rf "$arm64_wine/root"
    for deb in "$download"/*.deb; do $sudo dpkg-deb -x "$deb" "$arm64_wine/root" || exit 1; done
    (cd "$download" && ls) | $sudo tee "$arm64_wine/ready" >/dev/null
    $sudo rm -rf "$download"
  ) 9>>"$arm64_wine.lock" || give_up "Debian's arm64 Wine cannot be fetched and unpacked (apt-get download ${packages[*]})"
fi
runs_arm64 || give_up "$why_no_arm64"

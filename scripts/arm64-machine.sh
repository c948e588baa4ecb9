# Sourced by the scripts that run the build's ARM64 programs: where the arm64 Wine is, and
# whether it runs here. runs_arm64 answers, and when it does not, sets why_no_arm64.
source "$(dirname "${BASH_SOURCE[0]}")/machine-bits.sh"
arm64_wine=${KELVO_ARM64_WINE:-/var/cache/kelvo-arm64-wine}

# The first 20 bytes of a 64-bit little-endian ARM ELF program, and what of them is compared.
aarch64_elf_magic=7f454c460201010000000000000000000200b700
aarch64_elf_mask=ffffffffffffff00fffffffffffffffffeffffff

# Prints the binfmt_misc entry, enabled or not, registered for exactly these programs.
aarch64_binfmt_entry() {
  local file
  for file in /proc/sys/fs/binfmt_misc/*; do
    grep -qx "magic $aarch64_elf_magic" "$file" 2>/dev/null && { echo "$file"; return 0; }
  done
  return 1
}

runs_arm64() {
  local entry answer
  if [ ! -f "$arm64_wine/ready" ]; then
    why_no_arm64="no arm64 Wine in $arm64_wine (scripts/setup.sh fetches it, as root)"
    return 1
  fi
  if ! entry=$(aarch64_binfmt_entry) || ! grep -qx enabled "$entry"; then
    why_no_arm64="no enabled binfmt_misc entry starts 64-bit ARM programs (scripts/setup.sh registers one, as root)"
    return 1
  fi
  answer=$(QEMU_LD_PREFIX="$arm64_wine/root" "$arm64_wine/root/usr/lib/wine/wine64" --version 2>&1) || {
    why_no_arm64="the arm64 Wine does not start: $answer"
    return 1
  }
}


# Sourced by the scripts that run the build's Windows programs. Some virtual machines run no
# 32-bit code at all: their kernel refuses every 32-bit program, Wine's 32-bit loader included
# ("Exec format error"), so that no 32-bit Windows program can start there unless setup.sh has
# registered a user-mode emulator for them. runs_32bit answers whether this machine runs them,
# and when it does not, sets why_no_32bit. Any other failure of the loader is left for the
# programs themselves to show. emulated_32bit answers whether they run through an emulator, and
# when they do, sets emulator.
runs_32bit() {
  local answer
  answer=$(/usr/lib/wine/wine --version 2>&1) && return 0
  case "$answer" in
    *"Exec format error"*)
      why_no_32bit="its kernel refuses 32-bit programs (/usr/lib/wine/wine: Exec format error)"
      return 1 ;;
  esac
  return 0
}

# The first 20 bytes of a 32-bit x86 ELF program, and what of them the usual i386 entry compares.
i386_elf_magic=7f454c4601010100000000000000000002000300
i386_elf_mask=fffffffffffefe00fffffffffffffffffeffffff

# Prints the binfmt_misc entry, enabled or not, that claims every 32-bit x86 program: an entry
# whose magic goes beyond those 20 bytes claims only some of them.
i386_binfmt_entry() {
  local file offset magic mask i position mask_byte
  for file in /proc/sys/fs/binfmt_misc/*; do
    case ${file##*/} in register|status|'*') continue ;; esac
    offset=$(sed -n 's/^offset //p' "$file")
    magic=$(sed -n 's/^magic //p' "$file")
    mask=$(sed -n 's/^mask //p' "$file")
    [ -n "$magic" ] || continue
    for ((i = 0; i < ${#magic}; i += 2)); do
      mask_byte=255
      [ -n "$mask" ] && mask_byte=$((16#${mask:i:2}))
      ((mask_byte)) || continue
      position=$((2 * offset + i))
      ((position < ${#i386_elf_magic})) || continue 2
      (( (16#${i386_elf_magic:position:2} & mask_byte) == (16#${magic:i:2} & mask_byte) )) || continue 2
    done
    echo "$file"
    return 0
  done
  return 1
}

emulated_32bit() {
  local entry
  grep -qx enabled /proc/sys/fs/binfmt_misc/status 2>/dev/null || return 1
  entry=$(i386_binfmt_entry) && grep -qx enabled "$entry" || return 1
  emulator=$(sed -n 's/^interpreter //p' "$entry")
  emulator="$emulator $("$emulator" --version 2>/dev/null | sed -n '1s/.*version \([^ ]*\).*/\1/p')"
}

# "7f45" as "\x7f\x45", as binfmt_misc reads a magic.
hex_escaped() {
  local i
  for ((i = 0; i < ${#1}; i += 2)); do printf '\\x%s' "${1:i:2}"; done
}

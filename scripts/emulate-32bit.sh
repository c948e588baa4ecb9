#!/usr/bin/env bash
# Called by setup.sh where the kernel refuses 32-bit programs: makes Wine's 32-bit half run there
# through Debian's user-mode emulator, for the tests and the demonstration only (nothing that
# ships is emulated). Debian 12's own qemu-user (7.2) ignores MAP_FIXED_NOREPLACE and takes about
# a minute for each start under Wine, so qemu-user comes from the release's backports suite, whose
# address and key are those of the apt source already configured for the release itself.
# The registration with binfmt_misc does not survive a reboot, so it is checked on every call.
# Anything that cannot be done is said in one line, exit 1, and the machine is left as it was.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/machine-bits.sh"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo -n"
interpreter=/usr/bin/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
give_up() {
  echo "setup: 32-bit programs cannot be made to run here: $*"
  exit 1
}
if [ -n "$sudo" ] && ! $sudo true 2>/dev/null; then
  give_up "registering an emulator with the kernel needs root (or sudo without a password)"
fi

# The emulator, at least version 10, from the backports suite.
changed=""
installed=$(dpkg-query -W -f='${Status} ${Version}' qemu-user 2>/dev/null)
if [ "${installed% *}" != "install ok installed" ] || dpkg --compare-versions "${installed##* }" lt 1:10; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || give_up "/etc/os-release names no release"
  backports="$codename-backports"
  added=""
  if [ -z "$(apt-get indextargets --format '$(RELEASE)' "Release: $backports" 2>/dev/null)" ]; then
    # The source entry of the release itself: its address, components and key.
    entry=$(apt-get indextargets --format '$(SOURCESENTRY)' "Release: $codename" 'Identifier: Packages' 2>/dev/null | head -n1)
    [ -n "$entry" ] || give_up "no apt source serves $codename, so there is no backports suite to add"
    source_text=$(python3 - "$entry" "$backports" <<'EOF'
import re, sys
path, _, index = sys.argv[1].rpartition(":")
index, suite = int(index), sys.argv[2]
text = open(path, encoding="utf-8").read()
if path.endswith(".sources"):
    # deb822: the n-th stanza; continuation lines belong to the field before them.
    stanzas = [s for s in re.split(r"\n\s*\n", text) if re.search(r"^[A-Za-z-]+:", s, re.M)]
    fields, name = {}, None
    for line in stanzas[index - 1].splitlines():
        if line.startswith("#"):
            continue
        if line[:1] in " \t" and name:
            fields[name] += "\n" + line
        elif ":" in line:
            name, value = line.split(":", 1)
            name = name.strip().lower()
            fields[name] = value.strip()
    uri = fields["uris"].split()[0]
    components = fields.get("components", "main")
    key = fields.get("signed-by", "")
else:
    # One line: deb [options] uri suite components...
    line = text.splitlines()[index - 1]
    options = re.search(r"\[([^\]]*)\]", line)
    words = re.sub(r"\[[^\]]*\]", " ", line).split()
    uri, components = words[1], " ".join(words[3:])
    key = ""
    if options:
        for option in options.group(1).split():
            if option.lower().startswith("signed-by="):
                key = option.split("=", 1)[1]
print("Types: deb\nURIs: %s\nSuites: %s\nComponents: %s" % (uri, suite, components))
if key:
    print("Signed-By: " + key)
EOF
) || give_up "the apt source $entry cannot be read"
    added="/etc/apt/sources.list.d/$backports.sources"
    printf '%s\n' "$source_text" | $sudo tee "$added" >/dev/null || give_up "$added cannot be written"
  fi
  changed=1
  echo "setup: installing qemu-user from $backports (user-mode emulation of 32-bit x86 for the tests)"
  if ! $sudo apt-get update -qq >/dev/null 2>&1 ||
     [ -z "$(apt-cache madison qemu-user 2>/dev/null | grep "$backports")" ] ||
     ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends -t "$backports" qemu-user >/dev/null 2>&1; then
    if [ -n "$added" ]; then
      $sudo rm -f "$added"
      $sudo apt-get update -qq >/dev/null 2>&1
    fi
    give_up "qemu-user cannot be installed from the $backports suite (not reachable, or it has no qemu-user)"
  fi
fi

if [ ! -e "$binfmt/register" ]; then
  $sudo mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || give_up "binfmt_misc cannot be mounted at $binfmt"
fi
entry=$(i386_binfmt_entry)
if [ -n "$entry" ]; then
  registered=$(sed -n 's/^interpreter //p' "$entry")
  [ "$registered" = "$interpreter" ] || give_up "$entry already sends 32-bit x86 programs to $registered, not $interpreter"
  grep -qx enabled "$entry" || give_up "$entry (32-bit x86 programs to $interpreter) is disabled"
else
  # The usual i386 entry; F opens the interpreter now, so it serves every mount namespace.
  printf ':qemu-i386:M::%s:%s:%s:F' "$(hex_escaped "$i386_elf_magic")" "$(hex_escaped "$i386_elf_mask")" "$interpreter" |
    $sudo tee "$binfmt/register" >/dev/null 2>&1 || give_up "the i386 entry cannot be registered with binfmt_misc"
  changed=1
fi
runs_32bit || give_up "32-bit programs still fail through $interpreter: $why_no_32bit"
[ -z "$changed" ] || echo "setup: 32-bit programs now run here emulated by $interpreter, for the tests only"

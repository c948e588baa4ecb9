#!/bin/sh
# check_archive.sh ARCHIVE SOURCE_DIR
# The distribution archive holds exactly the expected files; its 32-bit binaries pass the
# static checks, the x64 and ARM64 extras are 64-bit programs of the right kind and machine, the Linux tools
# x86-64 programs that load no shared library; packing the
# unpacked files again (new time stamps, new folder) gives the same bytes.
set -eu
archive=$1 source=$2
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$archive" ] || fail "$archive missing"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

top=kelvo-2.2.0
expected="$top/INSTALL.txt
$top/sample.kelvo
$top/kelvo.exe
$top/kelvoc.exe
$top/vecraster-32.dll
$top/vecraster.exe
$top/kelvo-brand.exe
$top/kelvo-pack.exe
$top/x64/kelvo.exe
$top/x64/kelvoc.exe
$top/x64/vecraster-32.dll
$top/x64/vecraster.exe
$top/arm64/kelvo.exe
$top/arm64/kelvoc.exe
$top/arm64/vecraster-32.dll
$top/arm64/vecraster.exe
$top/linux/kelvo-brand
$top/linux/kelvo-pack"
names=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$archive")
[ "$names" = "$expected" ] || fail "archive holds:
$names"
python3 -m zipfile -e "$archive" "$work/unpacked"
dir=$work/unpacked/$top

check="$source/tests/static/check_pe.sh"
sh "$check" i686-w64-mingw32-objdump "$dir/kelvo.exe" gui
sh "$check" i686-w64-mingw32-objdump "$dir/kelvoc.exe" console
sh "$check" i686-w64-mingw32-objdump "$dir/vecraster-32.dll" dll _Java_com_tandrel_vantor_1ext_vecraster_VECRASTER_vecraster@24
sh "$check" i686-w64-mingw32-objdump "$dir/vecraster.exe" console
sh "$check" i686-w64-mingw32-objdump "$dir/kelvo-brand.exe" console
sh "$check" i686-w64-mingw32-objdump "$dir/kelvo-pack.exe" console

for tool in kelvo-brand kelvo-pack; do
  headers=$(objdump -p "$dir/linux/$tool")
  echo "$headers" | grep -q "file format elf64-x86-64" || fail "linux/$tool is no x86-64 Linux program"
  ! echo "$headers" | grep -qE "NEEDED|INTERP" || fail "linux/$tool is linked dynamically"
  chmod +x "$dir/linux/$tool"  # Python's extraction leaves the archive's modes out
  "$dir/linux/$tool" --help >/dev/null || fail "linux/$tool does not run"
  echo "ok: linux/$tool"
done

# LLVM's objdump reads the headers of both machines; the machine is the file header's.
for pair in x64/kelvo.exe:00000002 x64/kelvoc.exe:00000003 x64/vecraster.exe:00000003 x64/vecraster-32.dll: \
  arm64/kelvo.exe:00000002 arm64/kelvoc.exe:00000003 arm64/vecraster.exe:00000003 arm64/vecraster-32.dll:; do
  file=$dir/${pair%%:*} subsystem=${pair#*:}
  headers=$(/usr/lib/llvm-14/bin/llvm-objdump -p "$file")
  machine=$(python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(); print("%04x" % struct.unpack_from("<H", d, struct.unpack_from("<I", d, 0x3C)[0] + 4)[0])' "$file")
  case $file in */x64/*) want=8664 ;; *) want=aa64 ;; esac
  [ "$machine" = "$want" ] || fail "$file is for machine $machine, not $want"
  echo "$headers" | grep -q "^Magic[[:space:]]*020b" || fail "$file is no 64-bit PE file"
  if [ -n "$subsystem" ]; then
    echo "$headers" | grep -qE "^Subsystem[[:space:]]+$subsystem" || fail "$file: wrong subsystem"
  else
    exports=$(echo "$headers" | sed -n '/^Export Table:/,/^$/p' | awk 'NF == 3 && $2 ~ /^0x/ {print $3}')
    [ "$exports" = Java_com_tandrel_vantor_1ext_vecraster_VECRASTER_vecraster ] || fail "$file exports '$exports'"
  fi
  echo "ok: $file"
done

for text in INSTALL.txt sample.kelvo; do
  python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); sys.exit(d.count(b"\n") != d.count(b"\r\n") or not d)' \
    "$dir/$text" || fail "$text lacks Windows line ends"
done

touch -d '2001-02-03 04:05:06' "$dir"/* "$dir"/x64/* "$dir"/arm64/* "$dir"/linux/*
python3 "$source/scripts/dist.py" "$work/again.zip" "$dir" "$dir/x64" "$dir/arm64" "$dir" "$dir/linux"
cmp "$archive" "$work/again.zip" || fail "packing the same files again gives other bytes"
echo "ok: $archive"

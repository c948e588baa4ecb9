#!/bin/sh
# check_reproducible.sh SOURCE_DIR
# Configures and builds the x86 deliverables in two fresh folders of different path lengths
# and compares the binaries byte for byte: no time stamp, no build path may end up in them.
set -eu
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
first=$work/a second=$work/second-build-in-a-longer-folder
cd "$source"
for dir in "$first" "$second"; do
  cmake --preset x86 -B "$dir" >/dev/null
  cmake --build "$dir" >"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
done
status=0
for file in kelvo.exe vecraster-32.dll vecraster.exe; do
  if cmp "$first/bin/$file" "$second/bin/$file"; then
    echo "same: $file ($(wc -c <"$first/bin/$file") bytes)"
  else
    echo "FAIL: $file differs between two builds"
    status=1
  fi
done
exit $status

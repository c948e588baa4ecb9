#!/bin/sh
# check_reproducible.sh SOURCE_DIR
# Builds the x86 deliverables of the checked-out commit twice, each from its own copy of the
# sources into its own build folder (paths of different lengths), and compares the binaries
# byte for byte: no time stamp and no source or build path may end up in them. Outside a git
# work tree the sources are copied as they are.
set -eu
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for dir in "$work/a" "$work/second-build-in-a-longer-folder"; do
  mkdir -p "$dir/src"
  if git -C "$source" rev-parse --verify -q HEAD >/dev/null; then
    git -C "$source" archive HEAD | tar -x -C "$dir/src"
  else
    (cd "$source" && tar -c --exclude='./build*' .) | tar -x -C "$dir/src"
  fi
  (cd "$dir/src" && cmake --preset x86 -B "$dir/build" >/dev/null && cmake --build "$dir/build") >"$dir.log" 2>&1 ||
    { cat "$dir.log"; exit 1; }
done
for file in kelvo.exe vecraster-32.dll vecraster.exe; do
  first=$work/a/build/bin/$file
  if cmp "$first" "$work/second-build-in-a-longer-folder/build/bin/$file"; then
    echo "same: $file ($(wc -c <"$first") bytes)"
  else
    echo "FAIL: $file differs between two builds"
    status=1
  fi
done
exit $status

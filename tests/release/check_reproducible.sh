#!/bin/sh
# check_reproducible.sh SOURCE_DIR
# Builds the deliverables of the checked-out commit twice, each from its own copy of the
# sources into its own build folders (paths of different lengths): x86, arm64, then x64, all
# without tests; x64 builds the Linux tools and packs the archive. Compares the binaries and the archives byte for byte: no
# time stamp and no source or build path may end up in them. Outside a git work tree the
# sources are copied as they are.
set -eu
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
first=$work/a
second=$work/second-build-in-a-longer-folder
for dir in "$first" "$second"; do
  mkdir -p "$dir/src"
  if git -C "$source" rev-parse --verify -q HEAD >/dev/null; then
    git -C "$source" archive HEAD | tar -x -C "$dir/src"
  else
    (cd "$source" && tar -c --exclude='./build*' .) | tar -x -C "$dir/src"
  fi
  (
    cd "$dir/src"
    cmake --preset x86 -B "$dir/x86" -DKELVO_TESTS=OFF >/dev/null
    cmake --build "$dir/x86"
    cmake --preset arm64 -B "$dir/arm64" -DKELVO_TESTS=OFF >/dev/null
    cmake --build "$dir/arm64"
    cmake --preset x64 -B "$dir/x64" -DKELVO_TESTS=OFF -DKELVO_X86_DIR="$dir/x86" -DKELVO_ARM64_DIR="$dir/arm64" >/dev/null
    cmake --build "$dir/x64"
  ) >"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
done
status=0
for file in x86/bin/kelvo.exe x86/bin/kelvoc.exe x86/bin/vecraster-32.dll x86/bin/vecraster.exe x86/bin/kelvo-brand.exe \
  x86/bin/kelvo-pack.exe x64/bin/kelvo.exe x64/bin/kelvoc.exe x64/bin/vecraster-32.dll x64/bin/vecraster.exe \
  arm64/bin/kelvo.exe arm64/bin/kelvoc.exe arm64/bin/vecraster-32.dll arm64/bin/vecraster.exe \
  x64/linux/bin/kelvo-brand x64/linux/bin/kelvo-pack x64/kelvo-2.2.0.zip; do
  if cmp "$first/$file" "$second/$file"; then
    echo "same: $file ($(wc -c <"$first/$file") bytes)"
  else
    echo "FAIL: $file differs between two builds"
    status=1
  fi
done
exit $status

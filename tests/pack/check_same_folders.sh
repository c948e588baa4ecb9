#!/bin/sh
# check_same_folders.sh ARCHIVE WINE_RUN ICON
# The archive's kelvo-pack for Linux and its kelvo-pack.exe under Wine, each taking the
# launchers from beside itself, pack the same jar, runtime image and icon: the two folders hold
# the same files with the same bytes and times.
set -eu
archive=$1 wine_run=$2 icon=$3
fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 -m zipfile -e "$archive" "$work"
kelvo=$work/kelvo-2.2.0
chmod +x "$kelvo/linux/kelvo-pack"
cd "$work"

mkdir -p in/lib jre/bin/server jre/lib META-INF
printf 'Manifest-Version: 1.0\r\nMain-Class: com.example.Main\r\n\r\n' >META-INF/MANIFEST.MF
python3 -c 'import zipfile; zipfile.ZipFile("in/myapp.jar", "w", zipfile.ZIP_DEFLATED).write("META-INF/MANIFEST.MF")'
echo util >in/lib/util.jar
# A 64-bit DLL stands in for the virtual machine: the x64 launcher is taken.
cp "$kelvo/x64/vecraster-32.dll" jre/bin/server/jvm.dll
printf -- '-server KNOWN\n' >jre/lib/jvm.cfg
cp "$icon" app.ico

set -- --name "My App" --input in --main-jar myapp.jar --runtime-image jre --icon app.ico --app-version 1.4.2 \
  --vendor "Example Ltd" --java-options '-Dhome=$APPDIR' --arguments "--mode=full screen"
export SOURCE_DATE_EPOCH=1700000000
"$kelvo/linux/kelvo-pack" "$@" --dest linux || fail "kelvo-pack for Linux failed"
grep -q "^runtime\\\\bin\\\\javaw.exe" "linux/My App/My App.kelvo" || fail "no shipped runtime in the parameter file"
# kelvo-pack.exe is a 32-bit program, which a kernel that refuses them cannot start (as in
# scripts/machine-bits.sh).
if /usr/lib/wine/wine --version 2>&1 | grep -q "Exec format error"; then
  echo "NOT TESTED: kelvo-pack.exe; this machine runs no 32-bit programs"
  exit 0
fi
"$wine_run" "$kelvo/kelvo-pack.exe" "$@" --dest windows || fail "kelvo-pack.exe failed"

listing() { (cd "$1/My App" && find . -printf '%y %p %s %T@\n' | sort); }
[ "$(listing linux)" = "$(listing windows)" ] || fail "other files or times:
$(listing linux)
---
$(listing windows)"
diff -r linux windows || fail "other bytes"
echo "same: linux and windows ($(listing linux | wc -l) entries)"

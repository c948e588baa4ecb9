#!/usr/bin/env bash
# Builds everything, then shows the launcher at work under Wine: a renamed kelvo.exe reads its
# parameter file and starts a stand-in Java runtime (no Windows JVM exists here), which prints
# the command line it received; the launcher's trace log follows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/build.sh >/dev/null

x64="$root/build/x64"
export WINEPREFIX="$x64/wineprefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
scripts/wine-prefix.sh "$WINEPREFIX"

demo="$root/build/demo"
rm -rf "$demo" && mkdir -p "$demo/jre/bin" "$demo/lib"
cp "$x64/bin/kelvo.exe" "$demo/viewer.exe"
cp "$x64/bin/fake_java.exe" "$demo/jre/bin/javaw.exe"   # the stand-in Java runtime
: > "$demo/lib/viewer.jar"
cat > "$demo/viewer.kelvo" <<'KELVO'
# The viewer's parameter file: the runtime shipped beside it, options, class path, main class.
jre\bin\javaw.exe
-Xmx256m
-Dviewer.home=%VIEWER_HOME|@.%
-cp lib\viewer.jar;lib\missing.jar
com.example.viewer.Main
--title "Demo Viewer"
KELVO

echo "== viewer.exe report.txt \"My File.txt\"   (x64 build of kelvo.exe, renamed, under Wine)"
VERBOSE_KELVO=1 KIT_JAVA_RECORD='Z:\'"${demo//\//\\}"'\java-record' \
  /usr/lib/wine/wine64 "$demo/viewer.exe" report.txt "My File.txt"
echo "exit code: $?"
echo
echo "== The stand-in Java runtime received this command line:"
python3 - "$demo/java-record" <<'PY'
import sys
fields = open(sys.argv[1], 'rb').read().decode('utf-16-le').split('\0')
print(fields[0])
n = int(fields[3]); args = fields[4:4 + n]
print("which Windows splits into:")
for a in args: print("  [" + a + "]")
PY
echo
echo "== Trace log $demo/viewer.kelvo_log:"
tr -d '\r' < "$demo/viewer.kelvo_log"

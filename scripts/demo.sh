#!/usr/bin/env bash
# The demonstration: sets the machine up, builds both configurations and the distribution
# archive, unpacks the archive, then under Wine, with the archive's 32-bit programs (what
# users run):
#  1. a renamed kelvo.exe with the archive's sample parameter file starts a stand-in Java
#     runtime (no Windows JVM exists here), which records the command line it received;
#     that command and the launcher's trace log are shown;
#  2. the same launcher told inprocess runs a stand-in runtime's jli.dll in its own process,
#     beside what that runtime's own java.exe would have read of the same arguments; then,
#     told single:, it is started twice, and the second start's arguments arrive in the
#     first one's stand-in virtual machine;
#  3. kelvoc.exe renamed mytool.exe runs a command-line tool: its output redirected to a
#     file, Java's exit code as its own, and a failure reported on standard error;
#  4. kelvo-brand (the Linux build) puts a name and version on a copy of the launcher;
#  5. kelvo-pack (the archive's Linux build) packs the viewer's jar and a stand-in runtime into a
#     Windows application folder, whose program then runs Java in its own process; then into an
#     installer, which Wine's msiexec installs: the Start menu's shortcut starts it, a document
#     reaches the running instance, a newer version replaces it, an older one is refused, and
#     the uninstall leaves nothing;
#  6. vecraster.exe converts a metafile drawn with GDI into PNG files at two resolutions.
# Where the kernel refuses 32-bit programs, they run emulated (setup.sh), and the demonstration
# says so; on a machine where even that cannot be done, the archive's x64 programs stand in.
# KELVO_BUILD names another build folder than build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=${KELVO_BUILD:-build}

scripts/setup.sh
echo "== Building (scripts/build.sh: x86 deliverables and x64 extras with their tests, the archive)"
scripts/build.sh >/dev/null
archive="$root/$out/x64/kelvo-2.2.0.zip"
echo "archive: $archive ($(wc -c <"$archive") bytes)"

demo="$root/$out/demo"
rm -rf "$demo" && mkdir -p "$demo"
python3 -m zipfile -e "$archive" "$demo"
unpacked="$demo/kelvo-2.2.0"
python3 -m zipfile -l "$archive" | sed 's/^/  /'

source scripts/machine-bits.sh
programs="$unpacked"
bin="$root/$out/x86/bin"
if ! runs_32bit; then
  echo "NOTE: this machine runs no 32-bit programs ($why_no_32bit):"
  echo "      the demonstration runs the archive's x64 programs instead of its 32-bit ones"
  programs="$unpacked/x64"
  bin="$root/$out/x64/bin"
elif emulated_32bit; then
  echo "NOTE: this machine's kernel refuses 32-bit programs; they run emulated here ($emulator),"
  echo "      for this demonstration and the tests only: nothing that ships is emulated"
fi
# The tests' prefix, a display (Wine opens shortcuts through its shell, which needs one) and a
# server kept up while the demonstration runs.
source scripts/wine-session.sh
wine=/usr/lib/wine/wine64
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# An application folder as an application developer would make it from the archive.
app="$demo/viewer"
mkdir -p "$app/jre/bin" "$app/lib"
cp "$programs/kelvo.exe" "$app/viewer.exe"
cp "$unpacked/sample.kelvo" "$app/viewer.kelvo"
cp "$programs/vecraster-32.dll" "$app/lib/"
cp "$bin/fake_java.exe" "$app/jre/bin/javaw.exe"
: > "$app/lib/viewer.jar"

echo
echo "== viewer.exe --open \"My Drawing.emf\"   (kelvo.exe renamed, with sample.kelvo as viewer.kelvo)"
echo "   its Java is jre\\bin\\javaw.exe: a stand-in Java runtime (no Windows JVM here) that records its command"
status=0
VERBOSE_KELVO=1 KIT_JAVA_RECORD="$(windows_path "$demo/java-record")" \
  "$wine" "$app/viewer.exe" --open "My Drawing.emf" || status=$?
echo "exit code: $status"
[ -f "$demo/java-record" ] || { echo "the stand-in Java runtime was not started"; exit 1; }
echo
echo "== The stand-in Java runtime (no Windows JVM here) received this command line:"
python3 - "$demo/java-record" <<'PY'
import sys
fields = open(sys.argv[1], "rb").read().decode("utf-16-le").split("\0")
print(fields[0])
print("in folder " + fields[1] + ", which Windows splits into:")
count = int(fields[3])
for argument in fields[4:4 + count]:
    print("  [" + argument + "]")
PY
echo
echo "== Trace log $app/viewer.kelvo_log:"
tr -d '\r' < "$app/viewer.kelvo_log"

echo
echo "== Java in the launcher's process: viewer.exe again, its parameter file beginning with inprocess"
echo "   its runtime jre\\ holds a stand-in jli.dll (no Windows JVM here) whose JLI_Launch, the entry that"
echo "   java.exe calls, records the process it runs in and the arguments it receives"
hosted="$demo/inprocess"
mkdir -p "$hosted/jre/bin/server" "$hosted/jre/lib" "$hosted/lib"
cp "$programs/kelvo.exe" "$hosted/viewer.exe"
cp "$bin/fake_java.exe" "$hosted/jre/bin/javaw.exe"
cp "$bin/jli_java.exe" "$hosted/jre/bin/java.exe"
for dll in jli.dll java.dll; do cp "$bin/fake_jli.dll" "$hosted/jre/bin/$dll"; done
cp "$bin/fake_jvm.dll" "$hosted/jre/bin/server/jvm.dll"
printf -- '-server KNOWN\r\n-client IGNORE\r\n' >"$hosted/jre/lib/jvm.cfg"
printf 'IMPLEMENTOR="Eclipse Adoptium"\nJAVA_VERSION="21.0.5"\n' >"$hosted/jre/release"
printf 'inprocess\r\njre\\bin\\javaw.exe -cp lib\\viewer.jar com.example.Viewer\r\n' >"$hosted/viewer.kelvo"
: > "$hosted/lib/viewer.jar"
show_jli_record() {
  python3 - "$1" <<'PY'
import sys
fields = open(sys.argv[1], "rb").read().split(b"\0")
print("  process: " + fields[1].decode() + ", its ANSI code page " + fields[0].decode())
print("  arguments: " + "  ".join("[" + a.decode("utf-8", "replace") + "]" for a in fields[5:-1]))
PY
}
status=0
echo "> viewer.exe --open \"图纸 Ω.emf\""
(cd "$hosted" && VERBOSE_KELVO=1 KIT_JLI_RECORD="$(windows_path "$demo/jli-record")" \
  "$wine" viewer.exe --open "图纸 Ω.emf") || status=$?
echo "exit code: $status (Java's own)"
show_jli_record "$demo/jli-record"
echo "  trace log, last entry:"
tr -d '\r' <"$hosted/viewer.kelvo_log" | tail -n 3 | sed '/^$/d; s/^/    /'
echo "> jre\\bin\\java.exe -cp lib\\viewer.jar com.example.Viewer --open \"图纸 Ω.emf\"   (the runtime's own launcher)"
(cd "$hosted" && KIT_JLI_RECORD="$(windows_path "$demo/jli-record-java")" \
  "$wine" jre/bin/java.exe -cp 'lib\viewer.jar' com.example.Viewer --open "图纸 Ω.emf") || true
show_jli_record "$demo/jli-record-java"
echo "  (java.exe reads its command line in the system's ANSI code page, 1252 here)"

echo
echo "== One running instance: viewer.exe with inprocess single:com.example.Main.open, started twice"
echo "   the same runtime; its stand-in jvm.dll's virtual machine records the calls made into it;"
echo "   the first start runs (its Java stays until told to end), the second hands its arguments over"
single="$demo/single"
mkdir -p "$single/lib" "$single/drawings"
cp "$programs/kelvo.exe" "$single/viewer.exe"
cp -r "$hosted/jre" "$single/"
: > "$single/lib/viewer.jar"
printf 'inprocess\r\nsingle:com.example.Main.open\r\njre\\bin\\javaw.exe -cp lib\\viewer.jar com.example.Main\r\n' \
  >"$single/viewer.kelvo"
echo "> viewer.exe                                  (the first start)"
(cd "$single" && VERBOSE_KELVO=1 KIT_JLI_RECORD="$(windows_path "$demo/single-first")" \
  KIT_JVM_RECORD="$(windows_path "$demo/single-vm")" KIT_JLI_HOLD="$(windows_path "$demo/single-hold")" \
  "$wine" viewer.exe) &
first=$!
for _ in $(seq 300); do [ -f "$demo/single-first" ] && break; sleep 0.1; done
tr -d '\r' <"$single/viewer.kelvo_log" | grep -A1 "^Serving" | sed '/^$/d; s/^/    /'
echo "> cd drawings && ..\\viewer.exe --open \"图纸 Ω.emf\"   (a second start)"
second_status=0
(cd "$single/drawings" && "$wine" ../viewer.exe --open "图纸 Ω.emf") || second_status=$?
echo "exit code: $second_status (0: the method returned)"
echo "  the first start's virtual machine recorded:"
sed 's/^/    /; s/\t/ | /g' "$demo/single-vm"
touch "$demo/single-hold"
wait "$first" || true

echo
echo "== kelvoc.exe, the console launcher, as mytool.exe (parameter file mytool.kelvo)"
echo "   its Java is the stand-in as jre\\bin\\java.exe, told to write a line and to exit with 7"
tool="$demo/tool"
mkdir -p "$tool/jre/bin"
cp "$programs/kelvoc.exe" "$tool/mytool.exe"
cp "$bin/fake_java.exe" "$tool/jre/bin/java.exe"
printf 'jre\\bin\\java.exe -cp lib\\tool.jar com.example.Tool\r\n' >"$tool/mytool.kelvo"
cd "$tool"
status=0
echo "> mytool.exe --check input.txt > report.txt"
KIT_JAVA_OUTPUT="report from the tool" KIT_JAVA_EXIT=7 "$wine" mytool.exe --check input.txt >report.txt || status=$?
echo "exit code: $status"
echo "report.txt: $(tr -d '\r' <report.txt)"
mv mytool.kelvo mytool.kelvo.away
status=0
echo "> mytool.exe --check input.txt   (without its parameter file)"
"$wine" mytool.exe --check input.txt 2>errors.txt || status=$?
echo "exit code: $status; standard error:"
tr -d '\r' <errors.txt
mv mytool.kelvo.away mytool.kelvo
cd "$root"

echo
echo "== kelvo-brand (Linux build): viewer.exe as \"Example Viewer\" 1.4.2, icon and manifest kept"
"$out/host/bin/kelvo-brand" "$app/viewer.exe" "$demo/ExampleViewer.exe" --version 1.4.2 \
  --product "Example Viewer" --company "Example Ltd" --description "Example Viewer"
echo "wrote $demo/ExampleViewer.exe ($(wc -c <"$demo/ExampleViewer.exe") bytes); its version strings:"
python3 - "$demo/ExampleViewer.exe" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
for key in ("CompanyName", "FileDescription", "FileVersion", "OriginalFilename", "ProductName"):
    at = data.find(key.encode("utf-16-le") + b"\0\0")
    start = at + len(key) * 2 + 2
    start += (-start) % 4
    end = data.find(b"\0\0", start)
    end += (end - start) % 2
    print(f"  {key:17}{data[start:end].decode('utf-16-le')}")
PY

echo
echo "== kelvo-pack (the archive's Linux build): the viewer's jar and a runtime image in one command"
echo "   the runtime image is the stand-in of the inprocess demonstration above; its jvm.dll's machine"
echo "   chooses the launcher"
source_dir="$demo/viewer-source"
mkdir -p "$source_dir/target/jars"
python3 - "$source_dir/target/jars/viewer.jar" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as jar:
    jar.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nMain-Class: com.example.Viewer\r\n\r\n")
PY
chmod +x "$unpacked/linux/kelvo-pack"
set -x
"$unpacked/linux/kelvo-pack" --name "Example Viewer" --input "$source_dir/target/jars" --main-jar viewer.jar \
  --runtime-image "$hosted/jre" --icon "$root/$out/x86/tests/brand/test.ico" --app-version 1.4.2 \
  --vendor "Example Ltd" --java-options -Xmx1g --java-options '-Dviewer.plugins=$APPDIR\plugins' \
  --arguments --mode=full --dest "$demo/packed"
{ set +x; } 2>/dev/null
packed="$demo/packed/Example Viewer"
(cd "$packed" && find . -type f | sort | sed 's/^/  /')
echo "-- Example Viewer.kelvo:"
tr -d '\r' <"$packed/Example Viewer.kelvo" | sed 's/^/  /'
status=0
echo "> \"Example Viewer.exe\" --open \"图纸 Ω.emf\""
(cd "$packed" && KIT_JLI_RECORD="$(windows_path "$demo/jli-record-packed")" \
  "$wine" "Example Viewer.exe" --open "图纸 Ω.emf") || status=$?
echo "exit code: $status (Java's own)"
show_jli_record "$demo/jli-record-packed"

echo
echo "== kelvo-pack --type msi: the viewer's installer (wixl), installed, used, upgraded and removed by Wine's msiexec"
installer="$demo/installer"
mkdir -p "$installer"
printf 'extension=emf\nmime-type=image/emf\ndescription=Example drawing\n' >"$installer/emf.properties"
# The stand-in virtual machine knows the class com.example.Main and its method open. Wine 8's
# shell opens a Start menu shortcut only while a desktop one exists too (--win-shortcut).
for version in 1.4.2 1.5.0; do
  (set -x; SOURCE_DATE_EPOCH=1700000000 "$unpacked/linux/kelvo-pack" --type msi --name "Example Viewer" \
    --input "$source_dir/target/jars" --main-jar viewer.jar --main-class com.example.Main \
    --runtime-image "$hosted/jre" --app-version "$version" --vendor "Example Ltd" --win-menu --win-shortcut \
    --file-associations "$installer/emf.properties" --single-instance com.example.Main.open \
    --dest "$installer/$version") 2>&1 | sed 's/^+ /> /'
  echo "  $(ls "$installer/$version"/*.msi) ($(wc -c <"$installer/$version"/*.msi) bytes)"
done
user_dir=$(dirname "$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData | head -n1)")
menu="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Example Ltd"
# The package's machine is the runtime's: a 32-bit one's association is in the 32-bit registry.
# Wine opens what lies in the prefix by its drive C: path only.
view=32 start_exe='C:\windows\syswow64\start.exe' installed="$WINEPREFIX/drive_c/Program Files (x86)/Example Viewer"
[ "$programs" = "$unpacked" ] || view=64 start_exe=start installed="$WINEPREFIX/drive_c/Program Files/Example Viewer"
show_installed() {
  if [ -d "$installed" ]; then
    echo "  files: $(cd "$installed" && find . -type f | wc -l) in $installed"
  else
    echo "  files: none in $installed"
  fi
  [ -d "$menu" ] && echo "  Start menu: $(cd "$menu" && ls)" || echo "  Start menu: no Example Ltd folder"
  [ -f "$user_dir/Desktop/Example Viewer.lnk" ] && echo "  desktop: Example Viewer.lnk" || echo "  desktop: no shortcut"
  "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "/reg:$view" 2>/dev/null |
    tr -d '\r' | grep -A30 -x -F '    DisplayName    REG_SZ    Example Viewer' | grep -E '^    (DisplayName|DisplayVersion|Publisher) ' |
    sed 's/^ */  uninstall entry: /; s/    REG_SZ    /: /' || echo "  uninstall entry: none"
  association=$("$wine" reg query 'HKCR\.emf' /ve "/reg:$view" 2>/dev/null | tr -d '\r' | awk '/REG_SZ/ {print $NF}' || true)
  echo "  .emf: ${association:-no association}"
}
echo "> msiexec /i \"Example Viewer-1.4.2.msi\" /qn"
"$wine" msiexec /i "$(windows_path "$installer/1.4.2/Example Viewer-1.4.2.msi")" /qn
show_installed
echo "> start \"Example Viewer.lnk\"   (the Start menu's shortcut; the first start holds until told to end)"
rm -f "$demo/msi-first" "$demo/msi-vm" "$demo/msi-hold"
KIT_JLI_RECORD="$(windows_path "$demo/msi-first")" KIT_JVM_RECORD="$(windows_path "$demo/msi-vm")" \
  KIT_JLI_HOLD="$(windows_path "$demo/msi-hold")" "$wine" "$start_exe" \
  "C:\\users\\$(basename "$user_dir")\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Example Ltd\\Example Viewer.lnk"
for _ in $(seq 300); do [ -f "$demo/msi-first" ] && break; sleep 0.1; done
show_jli_record "$demo/msi-first"
: >"$installer/Plan 2.emf"
echo "> start \"Plan 2.emf\"   (a document of the associated type, opened while the application runs)"
"$wine" "$start_exe" "$(windows_path "$installer/Plan 2.emf")"
for _ in $(seq 300); do grep -q "^call" "$demo/msi-vm" 2>/dev/null && break; sleep 0.1; done
echo "  the running instance's virtual machine recorded:"
grep "^call" "$demo/msi-vm" | sed 's/^/    /; s/\t/ | /g' || echo "    nothing"
touch "$demo/msi-hold"
sleep 1
echo "> msiexec /i \"Example Viewer-1.5.0.msi\" /qn   (the upgrade)"
"$wine" msiexec /i "$(windows_path "$installer/1.5.0/Example Viewer-1.5.0.msi")" /qn
show_installed
echo "> msiexec /i \"Example Viewer-1.4.2.msi\" /qn   (the older version again: refused)"
status=0
"$wine" msiexec /i "$(windows_path "$installer/1.4.2/Example Viewer-1.4.2.msi")" /qn \
  /l*v "$(windows_path "$installer/downgrade.log")" || status=$?
echo "  exit code $status; $(tr -d '\0\r' <"$installer/downgrade.log" | grep -a -o 'WIX_DOWNGRADE_DETECTED = {[^}]*}' | head -n1)"
echo "  (the package's message, which Wine's log leaves out: $(msiinfo export "$installer/1.4.2/Example Viewer-1.4.2.msi" \
  LaunchCondition | tail -n1 | cut -f2 | tr -d '\r'))"
echo "> msiexec /x \"Example Viewer-1.5.0.msi\" /qn   (uninstall)"
"$wine" msiexec /x "$(windows_path "$installer/1.5.0/Example Viewer-1.5.0.msi")" /qn
show_installed

echo
echo "== vecraster.exe: a metafile drawn with GDI, converted to PNG at 96 and 300 dpi"
pictures="$demo/pictures"
mkdir -p "$pictures"
"$wine" "$bin/sample_metafile.exe" "$(windows_path "$pictures/shapes.emf")"
for dpi in 96 300; do
  "$wine" "$programs/vecraster.exe" "$(windows_path "$pictures/shapes.emf")" \
    "$(windows_path "$pictures/shapes-${dpi}dpi.png")" "$dpi"
done
python3 - "$pictures"/shapes.emf "$pictures"/shapes-96dpi.png "$pictures"/shapes-300dpi.png <<'PY'
import struct, sys
for path in sys.argv[1:]:
    data = open(path, "rb").read()
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        width, height, depth, kind = struct.unpack(">IIBB", data[16:26])
        what = f"PNG {width} x {height}, {depth * 4 if kind == 6 else depth} bits per pixel"
    else:
        what = "enhanced metafile, 80 x 50 mm"
    print(f"  {path}  ({what}, {len(data)} bytes)")
PY
echo
echo "Outputs: archive $archive, unpacked in $unpacked; the application folder $app; pictures in $pictures"

#!/bin/sh
# check_pe.sh OBJDUMP FILE gui|console|dll [EXPORT]
# A 32-bit Windows binary of the right kind that imports Windows system DLLs only and, for a
# DLL, exports exactly EXPORT.
objdump=$1 file=$2 kind=$3 export=$4
fail() { echo "FAIL: $file: $*"; exit 1; }

[ -f "$file" ] || fail "missing"
headers=$("$objdump" -p "$file") || fail "objdump cannot read it"

echo "$headers" | grep -q "file format pei-i386" || fail "not a 32-bit (i386) PE file"
echo "$headers" | grep -qE "^Magic[[:space:]]+010b" || fail "not a PE32 optional header"
case $kind in
  gui) echo "$headers" | grep -qE "^Subsystem[[:space:]]+00000002" || fail "subsystem is not Windows GUI" ;;
  console) echo "$headers" | grep -qE "^Subsystem[[:space:]]+00000003" || fail "subsystem is not Windows console" ;;
  dll) echo "$headers" | grep -qE "^[[:space:]]+DLL$" || fail "not a DLL" ;;
esac

system_dlls="advapi32.dll comctl32.dll comdlg32.dll gdi32.dll gdiplus.dll kernel32.dll msvcrt.dll ole32.dll
oleaut32.dll shell32.dll shlwapi.dll user32.dll version.dll"
imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | tr -d '\r')
[ -n "$imports" ] || fail "imports nothing"
for dll in $imports; do
  echo "$system_dlls" | tr ' ' '\n' | grep -qx "$dll" || fail "imports $dll, which is no Windows system DLL"
done

if [ "$kind" = dll ]; then
  exports=$(echo "$headers" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
  [ "$exports" = "$export" ] || fail "exports '$exports', expected only '$export'"
fi
echo "ok: $file ($kind), imports: $(echo $imports)"

#!/bin/sh
# check_signing.sh RUNNER KELVO_BRAND KELVO ICON
# Brand, then sign: a branded launcher signs with a throwaway self-signed certificate and
# osslsigncode verifies its signature; branding the signed launcher is refused, no file written.
set -eu
run=$1 brand=$2 kelvo=$3 icon=$4
fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$kelvo" "$work/kelvo.exe"
cp "$icon" "$work/app.ico"
cd "$work"

"$run" "$brand" kelvo.exe MyApp.exe --icon app.ico --version 1.4.2 --product "My App" || fail "branding failed"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=kelvo-brand test" \
  >/dev/null 2>&1 || fail "openssl cannot make a certificate"
osslsigncode sign -certs cert.pem -key key.pem -n "My App" -in MyApp.exe -out signed.exe >sign.txt 2>&1 ||
  { cat sign.txt; fail "osslsigncode cannot sign the branded launcher"; }
osslsigncode verify -CAfile cert.pem -in signed.exe >verify.txt 2>&1 ||
  { cat verify.txt; fail "the signed launcher does not verify"; }

status=0
"$run" "$brand" signed.exe again.exe 2>error.txt || status=$?
[ "$status" -eq 2 ] || fail "branding the signed launcher ended with $status"
expected="kelvo-brand: signed.exe: the file is signed, and branding would break its signature: brand the unsigned launcher, then sign"
[ "$(tr -d '\r' <error.txt)" = "$expected" ] || fail "it said: $(cat error.txt)"
[ ! -e again.exe ] && [ ! -e again.exe.brand-tmp ] || fail "a file was written"
echo "ok: the branded launcher signs and verifies; the signed one is not branded again"

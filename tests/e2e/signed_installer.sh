#!/usr/bin/env bash
# A signed installer: built by sspack, signed by osslsigncode with a certificate from a test CA
# made here by openssl. The signature verifies against that CA; sspack lists and verifies the
# signed file; under Wine it installs silently (no texts, so no box) and its .scr verifies; one
# flipped payload byte breaks the signature. `sspack build --sign` gives the same layout.
#
# usage: signed_installer.sh <win64 build folder> <output folder> <sspack> [rename tool]
set -u
test_name=signed_installer
source "$(dirname "$0")/lib.sh"
for tool in openssl osslsigncode; do
    command -v "$tool" >/dev/null || { echo "FAIL ($test_name): $tool is not installed" >&2; exit 1; }
done
e2e_setup "$@"

# --- a test CA and a code-signing certificate issued by it ---------------------------------
pki="$work/pki"
mkdir -p "$pki"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 2 \
    -subj "/CN=ssinstaller test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" >"$out_dir/openssl.log" 2>&1 &&
    openssl req -newkey rsa:2048 -nodes -keyout "$pki/key.pem" -out "$pki/req.csr" \
        -subj "/CN=ssinstaller test signer" >>"$out_dir/openssl.log" 2>&1 &&
    printf '%s\n' 'basicConstraints=CA:FALSE' 'keyUsage=critical,digitalSignature' \
        'extendedKeyUsage=codeSigning' >"$pki/ext" &&
    openssl x509 -req -in "$pki/req.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" \
        -CAcreateserial -out "$pki/cert.pem" -days 2 -extfile "$pki/ext" >>"$out_dir/openssl.log" 2>&1 ||
    fail "openssl could not make the test certificates (see $out_dir/openssl.log)"

# --- build, then sign ----------------------------------------------------------------------
e2e_build_installer Quiet-setup.exe <<EOF2
[Installer]
Name=Quiet
CodePage=0
FollowUp=none
ShowProgress=no
$(e2e_files_section)
EOF2
unsigned="$work/pack/Quiet-setup.exe"
size=$(stat -c %s "$unsigned")
[ $((size % 8)) -eq 0 ] || fail "the unsigned installer is $size bytes, not a multiple of 8"
installer="$work/Quiet-setup.exe"
osslsigncode sign -certs "$pki/cert.pem" -key "$pki/key.pem" -h sha256 -in "$unsigned" \
    -out "$installer" >"$out_dir/sign.log" 2>&1 || fail "osslsigncode sign failed (see $out_dir/sign.log)"
signed_size=$(stat -c %s "$installer")
say "signed: $size bytes + a certificate table of $((signed_size - size)) bytes"
# Signing added nothing but the table: the file as built is the start of the signed one, but for
# the checksum and the security entry in the PE header.
cmp -i 512 -n $((size - 512)) "$unsigned" "$installer" >/dev/null ||
    fail "signing changed the payload bytes"

osslsigncode verify -in "$installer" -CAfile "$pki/ca.pem" >"$out_dir/osslsigncode-verify.log" 2>&1 ||
    fail "osslsigncode verify rejects the signed installer (see $out_dir/osslsigncode-verify.log)"
"$sspack" verify "$installer" >"$out_dir/sspack-verify.log" 2>&1 ||
    fail "sspack verify fails on the signed installer (see $out_dir/sspack-verify.log)"
"$sspack" list "$installer" >"$out_dir/sspack-list.log" 2>&1 ||
    fail "sspack list fails on the signed installer (see $out_dir/sspack-list.log)"
grep -q "signed (certificate table of $((signed_size - size)) bytes)" "$out_dir/sspack-list.log" ||
    fail "sspack list does not say the file is signed"
grep -q ' MOVIE ' "$out_dir/sspack-list.log" || fail "sspack list shows no MOVIE"

# --- one flipped byte in the payload breaks the signature ------------------------------------
flipped="$work/flipped.exe"
cp "$installer" "$flipped"
at=$(($(stat -c %s "$source_exe") + 16))  # inside the first entry's data, past the stub
byte=$(od -An -tu1 -j "$at" -N 1 "$flipped" | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 1)))" | dd of="$flipped" bs=1 seek="$at" conv=notrunc status=none
cmp -s "$installer" "$flipped" && fail "the byte was not flipped"
if osslsigncode verify -in "$flipped" -CAfile "$pki/ca.pem" >"$out_dir/flipped-verify.log" 2>&1; then
    fail "osslsigncode verify accepts a file with a flipped payload byte"
fi
say "a flipped payload byte fails the signature"

# --- sspack build --sign: the same layout, checked by sspack itself ----------------------------
"$sspack" build "$work/pack/manifest.ini" -o "$work/pack/Quiet-signed.exe" --stub "$source_exe" -q \
    --sign --cert "$pki/cert.pem" --key "$pki/key.pem" --ca "$pki/ca.pem" \
    >"$out_dir/sspack-sign.log" 2>&1 || fail "sspack build --sign failed (see $out_dir/sspack-sign.log)"
[ "$(stat -c %s "$work/pack/Quiet-signed.exe")" -eq "$signed_size" ] ||
    fail "sspack build --sign made a file of another size"

# --- the signed installer installs silently under Wine --------------------------------------
e2e_run "$installer"
e2e_wait_exit 120
[ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"
[ -z "$(e2e_box_texts)" ] || fail "the installer showed: $(e2e_box_texts | paste -sd '|')"
scr="$(windows_dir)/Quiet.scr"
[ -f "$scr" ] || fail "no Quiet.scr in C:\\windows"
"$sspack" verify "$scr" >"$out_dir/scr-verify.log" 2>&1 || fail "the .scr does not verify (see $out_dir/scr-verify.log)"
case "$(e2e_screen_saver_setting)" in
*[Qq][Uu][Ii][Ee][Tt].[Ss][Cc][Rr]) ;;
*) fail "system.ini [boot] SCRNSAVE.EXE is \"$(e2e_screen_saver_setting)\"" ;;
esac
say "PASS: signed installer verified by osslsigncode and sspack, installed silently; Quiet.scr verifies"

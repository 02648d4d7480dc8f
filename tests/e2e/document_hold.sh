#!/usr/bin/env bash
# Follow-up 3 against another program of the same user. The document is written into a new
# folder of the Windows folder and held, readable but not writable, renamable or deletable,
# until its program has had it: while the completion box shows, another program tries to
# overwrite the document, to move its own file over it and to rename it away, and every attempt
# fails; the associated program then shows the author's first line. The user's temporary folder
# is not used at all: TEMP pointed (through HKCU\Environment) at a folder holding a file of the
# document's name, and a link planted where the document used to go, are left as they were.
#
# usage: document_hold.sh [--windows=VERSION] <Windows build folder> <output folder> <sspack> [rename tool]
set -u
test_name=document_hold
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"
helpers="$(dirname "$0")/helpers"

tools="$(windows_dir)/sstools"
mkdir -p "$tools"
"$e2e_cc" -Os -s -mwindows -o "$tools/record.exe" "$helpers/record.c" ||
    fail "cannot build the recording program"
"$e2e_cc" -Os -s -o "$work/tamper.exe" "$helpers/tamper_document.c" ||
    fail "cannot build the tampering program"
reg_add() { WINEDEBUG=-all "$wine" reg add "$@" /f >/dev/null 2>&1 || fail "reg add $1 failed"; }
reg_add 'HKLM\Software\Classes\.ssdoc' /ve /d SsTest.Document
reg_add 'HKLM\Software\Classes\SsTest.Document\shell\Open\Command' /ve \
    /d '"C:\windows\sstools\record.exe" "%1"'

# A file of the user's that an installer writing into TEMP would replace and then delete, and a
# link where the document used to go in the real temporary folder.
victim_dir="$WINEPREFIX/drive_c/redirect"
mkdir -p "$victim_dir"
printf 'the user file\r\n' >"$victim_dir/notes.ssdoc"
printf 'must stay\r\n' >"$work/victim.txt"
temp_dir=$(e2e_unix_path "$(WINEDEBUG=-all "$wine" cmd /c echo '%TEMP%' 2>/dev/null | tr -d '\r')")
[ -n "$temp_dir" ] && mkdir -p "$temp_dir" && ln -s "$work/victim.txt" "$temp_dir/notes.ssdoc" ||
    fail "cannot plant the link in the temporary folder"
reg_add 'HKCU\Environment' /v TEMP /d 'C:\redirect'
reg_add 'HKCU\Environment' /v TMP /d 'C:\redirect'

mkdir -p "$work/pack"
printf 'Aurora notes, first line\r\nsecond line\r\n' >"$work/pack/notes.ssdoc"
e2e_build_installer Aurora-setup.exe <<EOF2
[Installer]
Name=Aurora
FollowUp=open-document
[Texts]
Success=Aurora is now your screen saver.
Failure=Aurora could not be installed.
$(e2e_files_section)
Document=notes.ssdoc
EOF2

log="$tools/record.log"
e2e_run "$work/pack/Aurora-setup.exe"
e2e_wait_window Aurora-setup.exe 60 '^Aurora$'
box=$window
result=$(WINEDEBUG=-all "$wine" "$work/tamper.exe" notes.ssdoc 2>/dev/null | tr -d '\r')
say "while the completion box shows: $result"
e2e_answer "$box" Return 20
for _ in $(seq 300); do
    [ -s "$log" ] && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.05
done
e2e_wait_exit 60
[ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"
[ -s "$log" ] || fail "the recording program was not started (see $out_dir/wine.log)"
line=$(head -n 1 "$log" | tr -d '\r')
cp "$log" "$out_dir/record.log"
say "the program got: $line"
grep -q '^found=C:\\windows\\ss[a-p]\{8\}\\notes\.ssdoc ' <<<"$result" ||
    fail "the document was not in a new folder of the Windows folder: $result"
grep -q ' overwrite=0 replace=0 rename=0$' <<<"$result" ||
    fail "another program changed the document: $result"
[ "${line##*$'\t'}" = "Aurora notes, first line" ] || fail "the program did not get the author's document: $line"
[ "$(cat "$victim_dir/notes.ssdoc")" = $'the user file\r' ] ||
    fail "the file in the folder TEMP names was replaced or deleted"
[ -L "$temp_dir/notes.ssdoc" ] && [ "$(cat "$work/victim.txt")" = $'must stay\r' ] ||
    fail "the link in the temporary folder was followed or removed"
document=$(sed -n 's/^found=\(.*\) overwrite.*/\1/p' <<<"$result")
[ ! -e "$(e2e_unix_path "${document%\\*}")" ] || fail "the document's folder was not removed"
say "PASS: the document was held against the other program and opened as written"

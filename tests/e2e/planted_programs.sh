#!/usr/bin/env bash
# Programs that the installer starts by a bare name (Rundll32 for the display settings, the
# notepad.exe of an association) come from the system folder, never from the installer's own
# folder (a downloads folder) or the current one: a Rundll32.exe and a notepad.exe planted there,
# recording programs, never run. A control program in the same folder that starts both by their
# bare names does run the planted ones, which shows that the test can see a start at all.
#
# usage: planted_programs.sh <win64 build folder> <output folder> <sspack> [rename tool]
set -u
test_name=planted_programs
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"
helpers="$(dirname "$0")/helpers"

# Follow-up 3 opens a document whose type opens with "notepad.exe %1". The association is in the
# registry before anything runs in the prefix: a `reg add` after follow-up 1 met a prefix whose
# programs were still ending or starting, and failed now and then.
e2e_prefix_keys system.reg <<'EOF2'
[Software\\Classes\\.ssdoc] 1700000000
@="SsTest.Notes"

[Software\\Classes\\SsTest.Notes\\shell\\Open\\Command] 1700000000
@="notepad.exe %1"
EOF2

mkdir -p "$work/pack"
for program in Rundll32.exe notepad.exe; do
    "$e2e_cc" -Os -s -mwindows -o "$work/pack/$program" "$helpers/record.c" ||
        fail "cannot build the planted $program"
done
"$e2e_cc" -Os -s -mwindows -o "$work/pack/start_bare.exe" "$helpers/start_bare.c" ||
    fail "cannot build the control program"
log="$work/pack/record.log"
# The programs run with the planted folder as their current folder too.
source_exe=$(cd "$(dirname "$source_exe")" && pwd)/$(basename "$source_exe")
cd "$work/pack" || fail "no pack folder"

e2e_run "$work/pack/start_bare.exe"
e2e_wait_exit 30
for _ in $(seq 100); do
    [ "$(wc -l <"$log" 2>/dev/null || echo 0)" -ge 2 ] && break
    sleep 0.1
done
[ "$(wc -l <"$log" 2>/dev/null || echo 0)" -ge 2 ] ||
    fail "the control program did not start the planted programs: the test sees nothing"
say "control: bare WinExec names start the planted programs ($(tr -d '\r' <"$log" | cut -f1 | paste -sd '|'))"
rm -f "$log"

# Builds installer $1 with follow-up $2 (and manifest line $3 after the files), runs it to its
# end, and fails when the planted program $4 ran.
install_without_planted() {
    local installer=$1 follow_up=$2 extra=$3 planted=$4
    e2e_build_installer "$installer" <<EOF2
[Installer]
Name=Aurora
FollowUp=$follow_up
[Texts]
Failure=Aurora could not be installed.
$(e2e_files_section)
$extra
EOF2
    rm -f "$(windows_dir)/Aurora.scr"
    e2e_run "$work/pack/$installer"
    e2e_wait_exit 60
    [ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"
    [ -z "$(e2e_box_texts)" ] || fail "a message box was shown: $(e2e_box_texts | paste -sd '|')"
    [ -f "$(windows_dir)/Aurora.scr" ] || fail "Aurora.scr was not installed"
    sleep 2
    [ ! -e "$log" ] || fail "the planted $planted ran: $(tr -d '\r' <"$log" | cut -f1)"
    say "follow-up $follow_up started no planted $planted"
}

# Follow-up 1: the display settings through Rundll32.
install_without_planted Display-setup.exe display-settings "" Rundll32.exe

# Follow-up 3: the document of the type associated above.
printf 'Aurora notes\r\n' >"$work/pack/notes.ssdoc"
install_without_planted Document-setup.exe open-document Document=notes.ssdoc notepad.exe
# The association was there: the system's notepad shows the document.
e2e_wait_window notepad.exe 30 'notes'
say "the system's notepad opened the document: $(xdotool getwindowname "$window")"
say "PASS: neither planted program ran; the installer's programs came from the system folder"

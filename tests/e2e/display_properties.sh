#!/usr/bin/env bash
# "Display Properties" open with the screen saver's settings dialog, which bears the saver's
# name, while the installer shows its progress dialog under the same name and in front: the
# installer cancels the settings dialog that belongs to Display Properties (not its own dialog),
# then asks Display Properties to quit, and installs. A stand-in program plays Display
# Properties and logs what it receives. The completion box draws its text as Wine's own box does.
#
# usage: display_properties.sh <win64 build folder> <output folder> <sspack> [rename tool]
set -u
test_name=display_properties
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"
helpers="$(dirname "$0")/helpers"

e2e_build_installer Aurora-setup.exe <<EOF2
[Installer]
Name=Aurora
FollowUp=none
ShowProgress=yes
[Texts]
Success=Aurora is now your screen saver.
Failure=Aurora could not be installed.
Progress=Installing Aurora...
$(e2e_files_section)
EOF2
"$e2e_cc" -Os -s -mwindows -o "$work/pack/display_properties.exe" \
    "$helpers/display_properties.c" || fail "cannot build the stand-in for Display Properties"
dp_log="$work/pack/dp.log"

WINEDEBUG=-all "$wine" "$work/pack/display_properties.exe" Aurora >>"$out_dir/stand-in.log" 2>&1 &
dp_pid=$!
for _ in $(seq 600); do
    grep -q ready "$dp_log" 2>/dev/null && break
    kill -0 "$dp_pid" 2>/dev/null || fail "the stand-in ended before it showed its windows"
    sleep 0.1
done
grep -q ready "$dp_log" 2>/dev/null || fail "the stand-in showed no windows within 60 s"
say "stand-in Display Properties with its \"Aurora\" settings window is up"

e2e_run "$work/pack/Aurora-setup.exe"
e2e_wait_window Aurora-setup.exe 60 '^Aurora$'
dialog=$window
e2e_shot "$dialog" "$out_dir/progress-dialog.png" 8
# The progress dialog goes away before the completion box; wait for the box itself.
for _ in $(seq 600); do
    [ -n "$(e2e_box_texts)" ] && break
    sleep 0.1
done
for _ in $(seq 100); do
    e2e_wait_window Aurora-setup.exe 60 '^Aurora$'
    [ "$window" != "$dialog" ] && break
    sleep 0.1
done
e2e_check_box_text "$window" "Aurora is now your screen saver." completion
e2e_answer "$window" Return 20
e2e_wait_exit 60
[ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"
[ "$(e2e_box_texts)" = "Aurora is now your screen saver." ] || fail "boxes shown: $(e2e_box_texts)"
[ -f "$(windows_dir)/Aurora.scr" ] || fail "no Aurora.scr in C:\\windows"

for _ in $(seq 100); do
    kill -0 "$dp_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$dp_pid" 2>/dev/null && fail "the stand-in still runs: it got no WM_QUIT ($(tr -d '\r' <"$dp_log" | paste -sd ' '))"
events=$(tr -d '\r' <"$dp_log" | paste -sd ' ')
[ "$events" = "ready cancel quit" ] || fail "the stand-in saw: $events (wanted: ready cancel quit)"
say "PASS: the saver's settings window was cancelled, then Display Properties quit; installed"

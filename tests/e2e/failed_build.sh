#!/usr/bin/env bash
# A payload without KMDL cannot be built into a screen saver: the progress dialog shows, then
# closes before the one box with the failure text; no .scr is left in C:\windows, nothing is
# set, and the program ends with 0.
#
# usage: failed_build.sh [--windows=VERSION] <Windows build folder> <output folder> <sspack> <rename tool>
set -u
test_name=failed_build
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"
[ -x "$rename_tool" ] || fail "no rename tool given (argument 4)"

e2e_build_installer Aurora-setup.exe <<EOF
[Installer]
Name=Aurora
FollowUp=none
ShowProgress=yes
[Texts]
Success=Aurora is now your screen saver.
Failure=Aurora could not be installed.
Progress=Installing Aurora...
$(e2e_files_section)
EOF
# sspack insists on KMDL; the entry is renamed afterwards, so the installer finds none.
"$rename_tool" "$work/pack/Aurora-setup.exe" KMDL NOTKMDL || fail "cannot rename KMDL"

e2e_run "$work/pack/Aurora-setup.exe"
e2e_wait_window Aurora-setup.exe 60 '^Aurora$'
first=$window
# No question: the first window is the progress dialog, and the box follows once it closed.
for _ in $(seq 200); do
    boxes=$(e2e_box_texts)
    [ -n "$boxes" ] && break
    sleep 0.05
done
[ "$boxes" = "Aurora could not be installed." ] || fail "boxes shown: $(e2e_box_texts | paste -sd '|')"
# The progress dialog is ended before the box is built; give X a moment to unmap it.
box=
for _ in $(seq 100); do
    if [ "$(e2e_windows Aurora-setup.exe | wc -l)" -eq 1 ]; then
        box=$(e2e_windows Aurora-setup.exe)
        [ "$box" != "$first" ] && break
    fi
    sleep 0.05
done
[ -n "$box" ] && [ "$box" != "$first" ] ||
    fail "no lone failure box after the progress dialog (windows: $(e2e_windows Aurora-setup.exe | xargs))"
sleep 0.3
e2e_shot "$box" "$out_dir/failure-box.png" 8
e2e_answer "$box" Return 20
e2e_wait_exit 30
[ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"
[ "$(e2e_box_texts | wc -l)" -eq 1 ] || fail "boxes shown: $(e2e_box_texts | paste -sd '|')"
e2e_expect_nothing_installed Aurora
say "PASS: the failure text, no .scr, nothing set"

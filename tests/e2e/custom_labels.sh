#!/usr/bin/env bash
# Labels other than Yes and No bring the installer's own confirmation dialog (1030) instead of a
# message box: captioned with the screen saver's name and centred, with the yes label on the
# default button. Esc (the close command) counts as No and installs nothing; Enter installs.
#
# usage: custom_labels.sh [--windows=VERSION] <Windows build folder> <output folder> <sspack> [rename tool]
set -u
test_name=custom_labels
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"

# A question of 63 characters, the longest the settings hold: it must wrap onto two lines.
question="Do you want to install the Aurora screen saver on your computer"
[ ${#question} -eq 63 ] || fail "the question has ${#question} characters"
e2e_build_installer Aurora-setup.exe <<EOF
[Installer]
Name=Aurora
FollowUp=none
ShowProgress=no
[Texts]
Question=$question
Failure=Aurora could not be installed.
Yes=Install
No=Not now
$(e2e_files_section)
EOF

for answer in Escape Return; do
    e2e_run "$work/pack/Aurora-setup.exe"
    e2e_wait_window Aurora-setup.exe 60 '^Aurora$'
    dialog=$window
    say "confirmation dialog is window $dialog"
    # The window manager may still be placing it: its geometry until centred, up to 5 s.
    for _ in $(seq 25); do
        sleep 0.2
        eval "$(xdotool getwindowgeometry --shell "$dialog")"
        [ $((2 * X + WIDTH - 1024)) -le 2 ] && [ $((2 * X + WIDTH - 1024)) -ge -2 ] && break
    done
    [ $((2 * X + WIDTH - 1024)) -le 2 ] && [ $((2 * X + WIDTH - 1024)) -ge -2 ] ||
        fail "the dialog is not centred: ${WIDTH}x${HEIGHT} at $X,$Y"
    [ "$answer" = Escape ] && e2e_shot "$dialog" "$out_dir/confirm-dialog.png" 8
    e2e_answer "$dialog" "$answer" 20
    e2e_wait_exit 30
    [ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code after $answer"
    [ -z "$(e2e_box_texts)" ] || fail "a message box was shown: $(e2e_box_texts | paste -sd '|')"
    if [ "$answer" = Escape ]; then
        e2e_expect_nothing_installed Aurora
        say "Esc installed nothing"
    else
        [ -f "$(windows_dir)/Aurora.scr" ] || fail "Enter (the yes label) did not install"
        "$sspack" verify "$(windows_dir)/Aurora.scr" >"$out_dir/verify.log" 2>&1 ||
            fail "sspack verify fails (see $out_dir/verify.log)"
        say "Enter installed Aurora.scr"
    fi
done
say "PASS: dialog 1030 asks with the custom labels; Esc is No, Enter is Yes"

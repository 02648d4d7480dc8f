#!/usr/bin/env bash
# No on the standard confirmation box installs nothing: no .scr, no screen saver setting, no
# uninstall entry, no further box; the program ends with 0.
#
# usage: install_no.sh [--windows=VERSION] <Windows build folder> <output folder> <sspack> [rename tool]
set -u
test_name=install_no
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"

e2e_build_installer Aurora-setup.exe <<EOF
[Installer]
Name=Aurora
FollowUp=none
[Texts]
Question=Install the Aurora screen saver?
Success=Aurora is now your screen saver.
Failure=Aurora could not be installed.
Progress=Installing Aurora...
$(e2e_files_section)
EOF

e2e_run "$work/pack/Aurora-setup.exe"
e2e_wait_window Aurora-setup.exe 60 '^Aurora$'
box=$window
say "confirmation box is window $box"
# The box's No button has the mnemonic N.
e2e_answer "$box" n 20
e2e_wait_exit 30
[ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"
texts=$(e2e_box_texts | paste -sd '|')
[ "$texts" = "Install the Aurora screen saver?" ] || fail "boxes shown: $texts"
e2e_expect_nothing_installed Aurora
say "PASS: No installs nothing and shows nothing more"

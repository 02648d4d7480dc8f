#!/usr/bin/env bash
# The installer holds its own file from its start to its end so that no one can write, rename or
# replace it: while the question shows, another program tries to write another installer's
# payload over its own, to rename the installer away, and to move the other installer (with
# another screen saver program) over its name. Every attempt fails, and the screen saver
# installed after Yes is the one the user was asked about.
#
# usage: swap_installer.sh <win64 build folder> <output folder> <sspack> [rename tool]
set -u
test_name=swap_installer
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"
helpers="$(dirname "$0")/helpers"

"$e2e_cc" -Os -s -o "$work/swap_file.exe" "$helpers/swap_file.c" ||
    fail "cannot build the swapping program"

# The other installer: the same name, another screen saver program.
mkdir -p "$work/pack"
cp "$e2e_examples/saver.bin" "$work/pack/other-saver.bin"
printf 'another program entirely' >>"$work/pack/other-saver.bin"
e2e_build_installer Other-setup.exe <<EOF2
[Installer]
Name=Aurora
FollowUp=none
[Files]
Saver=other-saver.bin
Stub=stub.bin
Movie=movie.bin
Zett=zett.bin
Kmdl=kmdl.bin
EOF2
mv "$work/pack/Other-setup.exe" "$work/Other-setup.exe"
e2e_build_installer Aurora-setup.exe <<EOF2
[Installer]
Name=Aurora
FollowUp=none
[Texts]
Question=Install the Aurora screen saver?
Success=Aurora is now your screen saver.
Failure=Aurora could not be installed.
$(e2e_files_section)
EOF2
approved=$(sha256sum <"$work/pack/Aurora-setup.exe")

e2e_run "$work/pack/Aurora-setup.exe"
e2e_wait_window Aurora-setup.exe 60 '^Aurora$'
box=$window
[ "$(e2e_box_texts | head -n 1)" = "Install the Aurora screen saver?" ] ||
    fail "the first box says \"$(e2e_box_texts | head -n 1)\""
own=$(e2e_windows_path "$work/pack/Aurora-setup.exe")
other=$(e2e_windows_path "$work/Other-setup.exe")
result=$(WINEDEBUG=-all "$wine" "$work/swap_file.exe" "$own" "$other" 2>/dev/null | tr -d '\r')
say "while the question shows: $result"
e2e_answer "$box" Return 20
e2e_wait_window Aurora-setup.exe 60 '^Aurora$'
e2e_answer "$window" Return 20
e2e_wait_exit 60
[ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"
[ "$result" = "write=0 rename=0 replace=0" ] || fail "the installer's file could be changed: $result"
[ "$(sha256sum <"$work/pack/Aurora-setup.exe")" = "$approved" ] || fail "the installer changed"
[ "$(e2e_box_texts | tail -n 1)" = "Aurora is now your screen saver." ] ||
    fail "the last box says \"$(e2e_box_texts | tail -n 1)\""
saver_size=$(stat -c %s "$work/pack/saver.bin")
cmp -s -n "$saver_size" "$work/pack/saver.bin" "$(windows_dir)/Aurora.scr" ||
    fail "Aurora.scr does not start with the approved screen saver program"
cmp -s -n "$((saver_size + 24))" "$work/pack/other-saver.bin" "$(windows_dir)/Aurora.scr" &&
    fail "the other installer's program was installed"
say "PASS: the installer could not be renamed or replaced; the approved payload was installed"

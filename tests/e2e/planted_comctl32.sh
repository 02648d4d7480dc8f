#!/usr/bin/env bash
# A COMCTL32.DLL planted beside the installer (a downloads folder) is never loaded: the installer
# restricts its DLL search to the system directory before it loads the common controls for the
# progress dialog. A control program beside it that loads COMCTL32.DLL by name with the default
# search does pick the planted DLL up, which shows that the test can see a load at all.
#
# usage: planted_comctl32.sh [--windows=VERSION] <Windows build folder> <output folder> <sspack> [rename tool]
set -u
test_name=planted_comctl32
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"
helpers="$(dirname "$0")/helpers"

e2e_build_installer Aurora-setup.exe <<EOF
[Installer]
Name=Aurora
FollowUp=none
ShowProgress=yes
[Texts]
Failure=Aurora could not be installed.
Progress=Installing Aurora...
$(e2e_files_section)
EOF
"$e2e_cc" -Os -s -shared -o "$work/pack/COMCTL32.DLL" "$helpers/planted_dll.c" ||
    fail "cannot build the planted DLL"
"$e2e_cc" -Os -s -mwindows -o "$work/pack/load_comctl.exe" "$helpers/load_comctl.c" ||
    fail "cannot build the control program"
marker="$work/pack/planted.marker"
# Wine prefers its own COMCTL32 to any file of that name; ask it to take a native one first,
# as Windows does, so that only the search order decides which file is loaded.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;comctl32=n,b"

e2e_run "$work/pack/load_comctl.exe"
e2e_wait_exit 30
[ -e "$marker" ] || fail "the control program did not load the planted DLL: the test sees nothing"
rm -f "$marker"
say "control: a plain LoadLibraryA(\"COMCTL32.DLL\") loads the planted DLL"

e2e_run "$work/pack/Aurora-setup.exe"
e2e_wait_window Aurora-setup.exe 60 '^Aurora$'
say "progress dialog is window $window"
e2e_wait_exit 60
[ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"
[ ! -e "$marker" ] || fail "the installer loaded the planted COMCTL32.DLL"
[ -f "$(windows_dir)/Aurora.scr" ] || fail "Aurora.scr was not installed"
[ -z "$(e2e_box_texts)" ] || fail "a message box was shown: $(e2e_box_texts | paste -sd '|')"
say "PASS: the planted COMCTL32.DLL stayed unloaded; the progress dialog came from the system's"

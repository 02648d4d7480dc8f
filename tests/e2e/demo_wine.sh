#!/usr/bin/env bash
# The demo's installer under Wine: examples/aurora packed with the real aurora.scr, run on a
# virtual X display, each dialog photographed and answered: the question (Yes), the progress
# dialog, the completion message; then the readme is handed to the program the prefix associates
# with .txt. The result is read back from the prefix. Used by `scripts/demo.sh --wine` and as an
# end-to-end test.
#
# usage: demo_wine.sh [--windows=VERSION] <Windows build folder> <output folder> <sspack>
set -u
test_name=demo
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"

saver=$(find "$exe_dir" -name aurora.scr -type f -print -quit)
[ -n "$saver" ] || fail "no aurora.scr under $exe_dir (build the win64 preset first)"
cp -r "$(dirname "$0")/../../examples/aurora" "$work/aurora" && cp "$saver" "$work/aurora/" ||
    fail "cannot stage examples/aurora"
"$sspack" build "$work/aurora/aurora.ini" -o "$work/AuroraSetup.exe" --stub "$source_exe" -q \
    >"$out_dir/sspack-build.log" 2>&1 || fail "sspack build failed (see $out_dir/sspack-build.log)"
say "AuroraSetup.exe built"

e2e_run "$work/AuroraSetup.exe"
e2e_wait_window AuroraSetup.exe 60 '^Aurora$'
e2e_shot "$window" "$out_dir/1-question.png" 8
say "the question: $out_dir/1-question.png"
e2e_answer "$window" Return 20

e2e_wait_window AuroraSetup.exe 30 '^Aurora$'
e2e_shot "$window" "$out_dir/2-progress.png" 8 || true
say "the progress dialog: $out_dir/2-progress.png"
e2e_wait_gone "$window" 60

e2e_wait_window AuroraSetup.exe 60 '^Aurora$'
e2e_shot "$window" "$out_dir/3-done.png" 8
say "the completion message: $out_dir/3-done.png"
e2e_answer "$window" Return 20

# The readme goes to the program the prefix associates with .txt; 5 s later the installer
# removes it and ends.
e2e_wait_exit 60
[ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"

scr="$(windows_dir)/Aurora.scr"
[ -f "$scr" ] || fail "no Aurora.scr in C:\\windows"
"$sspack" list "$scr" >"$out_dir/list.txt" 2>&1 || fail "sspack list fails"
"$sspack" verify "$scr" >"$out_dir/verify.log" 2>&1 || fail "sspack verify fails (see $out_dir/verify.log)"
# The program as the installer carries it (sspack wrote the saver's name into it) comes first.
"$sspack" extract "$work/AuroraSetup.exe" SAVER -o "$work/carried" >/dev/null 2>&1 ||
    fail "sspack extract SAVER fails"
cmp -n "$(stat -c %s "$saver")" "$work/carried/SAVER" "$scr" >/dev/null ||
    fail "Aurora.scr does not start with the carried aurora.scr"
setting=$(e2e_screen_saver_setting)
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Aurora.scr'
name=$(e2e_reg "$key" DisplayName)
command=$(e2e_reg "$key" UninstallString)
[ "$name" = "Screensaver (Aurora)" ] || fail "DisplayName is \"$name\""
cat "$out_dir/list.txt" >&2
say "system.ini [boot] SCRNSAVE.EXE=$setting"
say "$key: DisplayName=$name, UninstallString=$command"
say "PASS: screenshots in $out_dir"

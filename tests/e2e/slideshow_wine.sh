#!/usr/bin/env bash
# A show from examples/slideshow with no program of the author's own: the installed sspack
# (`cmake --install` into a temporary prefix) builds the installer for the set's architecture and
# takes the screen saver program installed beside the stubs; the installer runs under Wine and is
# answered Yes. Then Slideshow.scr is in C:\windows, begins with the program the installer
# carried, holds the show as MOVIE stored plain with its three pictures, and system.ini and the
# uninstall entry name it. The installer and the .scr stay in the output folder for the screen
# saver's own tests.
#
# usage: slideshow_wine.sh [--windows=VERSION] <Windows build folder> <output folder> <sspack> <host build folder>
set -u
test_name=slideshow
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"
build_dir=${e2e_args[3]:?usage: slideshow_wine.sh [--windows=VERSION] <Windows build folder> <output folder> <sspack> <host build folder>}

cmake --install "$build_dir" --prefix "$work/prefix-sspack" >"$out_dir/install.log" 2>&1 ||
    fail "cmake --install failed (see $out_dir/install.log)"
installed=$work/prefix-sspack/bin/sspack
case "$e2e_arch" in
x86_64) arch=x64 ;;
*) arch=x86 ;;
esac
program=$work/prefix-sspack/share/ssinstaller/stubs/ssaver-$arch.scr
[ -f "$program" ] || fail "the install has no ssaver-$arch.scr"
cp -r "$(dirname "$0")/../../examples/slideshow" "$work/slideshow" || fail "cannot stage the example"
(cd "$work" && env -u SSPACK_STUB -u SSPACK_STUB_DIR "$installed" build slideshow/slideshow.ini \
    -o SlideshowSetup.exe --arch "$arch" --stub "$source_exe" -v --verify) \
    >"$out_dir/sspack-build.log" 2>&1 || fail "sspack build failed (see $out_dir/sspack-build.log)"
grep -q "^screen saver program: $program$" "$out_dir/sspack-build.log" ||
    fail "sspack took another screen saver program (see $out_dir/sspack-build.log)"
cp "$work/SlideshowSetup.exe" "$out_dir/" || fail "cannot keep the installer"
"$installed" extract "$work/SlideshowSetup.exe" -o "$work/entries" SAVER >/dev/null ||
    fail "cannot extract SAVER"
say "SlideshowSetup.exe built for $arch with $program"

e2e_run "$work/SlideshowSetup.exe"
e2e_wait_window SlideshowSetup.exe 60 '^Slideshow$'
e2e_shot "$window" "$out_dir/1-question.png" 8
e2e_answer "$window" Return 20
e2e_wait_window SlideshowSetup.exe 30 '^Slideshow$'
e2e_shot "$window" "$out_dir/2-progress.png" 8 || true
e2e_wait_gone "$window" 60
e2e_wait_window SlideshowSetup.exe 60 '^Slideshow$'
e2e_shot "$window" "$out_dir/3-done.png" 8
e2e_answer "$window" Return 20
e2e_wait_exit 60
[ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"
e2e_box_texts | grep -qx 'Slideshow is now your screen saver.' ||
    fail "no completion message (boxes: $(e2e_box_texts | tr '\n' '|'))"

scr="$(windows_dir)/Slideshow.scr"
[ -f "$scr" ] || fail "no Slideshow.scr in C:\\windows"
cp "$scr" "$out_dir/" || fail "cannot keep Slideshow.scr"
"$installed" verify "$scr" >"$out_dir/verify.log" 2>&1 || fail "sspack verify fails (see $out_dir/verify.log)"
saver=$work/entries/SAVER
cmp -n "$(stat -c %s "$saver")" "$saver" "$scr" >/dev/null ||
    fail "Slideshow.scr does not start with the carried program"
"$installed" list "$scr" >"$out_dir/list.txt" 2>&1 || fail "sspack list fails"
grep -Eq '^ +[0-9]+ +MOVIE +stored +0x00 ' "$out_dir/list.txt" ||
    fail "MOVIE is not stored plain in the .scr (see $out_dir/list.txt)"
grep -q '^MOVIE is a picture show: 3 pictures, 1 piece of music$' "$out_dir/list.txt" ||
    fail "the .scr holds no show of three pictures (see $out_dir/list.txt)"
setting=$(e2e_screen_saver_setting)
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Slideshow.scr'
name=$(e2e_reg "$key" DisplayName)
command=$(e2e_reg "$key" UninstallString)
[ "$name" = "Screensaver (Slideshow)" ] || fail "DisplayName is \"$name\""
case "$command" in *Slideshow.scr*/U*) ;; *) fail "UninstallString is \"$command\"" ;; esac
case "$setting" in *\\[Ss][Ll][Ii][Dd]*.[Ss][Cc][Rr]) ;; *) fail "SCRNSAVE.EXE is \"$setting\"" ;; esac
say "system.ini [boot] SCRNSAVE.EXE=$setting; $key: UninstallString=$command"
say "PASS: $out_dir/Slideshow.scr"

#!/usr/bin/env bash
# "/U" of the sample screen saver when its file name holds a character the ANSI code page lacks
# (as after a change of the system locale): "Aurora Ω.scr" under code page 1252. The 8-bit calls
# give another name for it: "Aurora O.scr" by the code page's best fit, the name of another
# screen saver's file and key, or "Aurora ?.scr", a wildcard to FindFirstFileA (which also finds
# "Aurora X.scr") and a plain character in a key name. The saver must remove its own key and
# file, and leave every other saver's key and file alone.
#
# usage: saver_uninstall_wine.sh [--windows=VERSION] <Windows build folder> <ss_make_scr> <MOVIE.bmp> <output folder>
set -u
test_name=saver_uninstall
source "$(dirname "$0")/lib.sh"
e2e_options "$@"
set -- "${e2e_args[@]}"
exe_dir=${1:?usage: saver_uninstall_wine.sh [--windows=VERSION] <Windows build folder> <ss_make_scr> <MOVIE.bmp> <output folder>}
make_scr=${2:?missing ss_make_scr}
movie=${3:?missing MOVIE.bmp}
out_dir=${4:?missing output folder}
saver_exe=$(find "$exe_dir" -name aurora.scr -type f -print -quit 2>/dev/null)
[ -n "$saver_exe" ] || fail "no aurora.scr under $exe_dir (build the win64 preset first)"
e2e_setup --windows="$e2e_windows_version" "$exe_dir" "$out_dir"
[ "$e2e_family" = nt ] || { say "SKIP ($test_name): the 9x family has no wide calls"; exit 77; }
# Wine's own programs read their Unix arguments as UTF-8 under this locale; its ANSI code page
# stays 1252, which has no Ω.
export LC_ALL=C.UTF-8

windows="$WINEPREFIX/drive_c/windows"
root='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\UnInstall'
own="Aurora Ω"
others=("Aurora O" "Aurora X")
for saver in "$own" "${others[@]}"; do
    "$make_scr" "$windows/$saver.scr" "$saver_exe" "$movie" "Aurora" || fail "cannot make $saver.scr"
done
for key in "$own.scr" "Aurora ?.scr" "${others[0]}.scr" "${others[1]}.scr"; do
    timeout 60 "$wine" reg add "$root\\$key" /v DisplayName /d "Screensaver (${key%.scr})" /f \
        >/dev/null 2>&1 || fail "cannot write the key $key"
done
timeout 60 "$wine" reg query "$root\\$own.scr" >/dev/null 2>&1 || fail "no key $own.scr"

WINEDEBUG="-all,+msgbox" "$wine" "C:\\windows\\$own.scr" /U >"$out_dir/wine-uninstall.log" 2>&1 &
app_pid=$!
box=
for _ in $(seq 300); do
    box=$(xdotool search --onlyvisible --name '^Aurora' 2>/dev/null | head -n 1)
    [ -n "$box" ] && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$box" ] || fail "/U showed no box (see $out_dir/wine-uninstall.log)"
e2e_answer "$box" Return 30
wait "$app_pid"
app_pid=
cp "$out_dir/wine-uninstall.log" "$out_dir/wine.log"
say "/U said: $(e2e_box_texts | head -n 1 | cut -c1-120)"
for key in "Aurora ?.scr" "${others[0]}.scr" "${others[1]}.scr"; do
    timeout 60 "$wine" reg query "$root\\$key" >/dev/null 2>&1 ||
        fail "the key \"$key\" of another saver was deleted"
done
for saver in "${others[@]}"; do
    [ -e "$windows/$saver.scr" ] || fail "the file $saver.scr of another saver was deleted"
done
timeout 60 "$wine" reg query "$root\\$own.scr" >/dev/null 2>&1 &&
    fail "its own key $own.scr is still there"
if [ -e "$windows/$own.scr" ]; then
    timeout 120 "$wine" wineboot -r >/dev/null 2>&1
    timeout 120 wineserver -w
    [ ! -e "$windows/$own.scr" ] || fail "$own.scr is still there after a restart"
fi
for saver in "${others[@]}"; do
    [ -e "$windows/$saver.scr" ] || fail "the file $saver.scr of another saver was deleted at the restart"
done
say "PASS: /U removed its own key and file by their exact names and left the other saver's alone"

#!/usr/bin/env bash
# The sample screen saver under Wine, installed as the installer leaves it (the file in the
# Windows folder, SCRNSAVE.EXE in [boot] of system.ini, the uninstall key):
#  1. "/c" shows the settings box with the name from INFO;
#  2. "/s" covers the screen with the MOVIE (its sky colours where they belong, its palette
#     moving) and ends on a key press;
#  3. "/U" deletes the uninstall key, clears SCRNSAVE.EXE and removes the file, and says so.
#
# usage: saver_wine.sh [--windows=VERSION] <Windows build folder> <ss_make_scr> <MOVIE.bmp> <output folder>
# The output folder receives the screenshots and Wine's logs. Everything else (the Wine prefix,
# the X server) lives in a temporary folder and is gone at the end.
set -u

# The X server, the fresh prefix, say/fail and the clean-up are the end-to-end tests' own.
test_name=saver
source "$(dirname "$0")/lib.sh"
e2e_options "$@"
set -- "${e2e_args[@]}"
exe_dir=${1:?usage: saver_wine.sh [--windows=VERSION] <Windows build folder> <ss_make_scr> <MOVIE.bmp> <output folder>}
make_scr=${2:?missing ss_make_scr}
movie=${3:?missing MOVIE.bmp}
out_dir=${4:?missing output folder}
name="Aurora Borealis"
uninstall_key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\$name.scr"


saver_exe=$(find "$exe_dir" -name aurora.scr -type f -print -quit 2>/dev/null)
[ -n "$saver_exe" ] || fail "no aurora.scr under $exe_dir (build the win64 preset first)"
[ -x "$make_scr" ] || fail "$make_scr is not built"
[ -f "$movie" ] || fail "no MOVIE at $movie"
command -v compare >/dev/null || fail "compare (imagemagick) is not installed"
e2e_setup --windows="$e2e_windows_version" "$exe_dir" "$out_dir"
[ "$(e2e_pe_arch "$saver_exe")" = "$e2e_arch" ] || fail "$saver_exe is not an $e2e_arch program"

# --- the saver installed as the installer leaves it -------------------------------------------
# The name is not a plain 8.3 name, so the installer records the file's 8.3 path in system.ini
# and the long path in the uninstall command; the saver must see both as itself.
windows="$WINEPREFIX/drive_c/windows"
scr="$windows/$name.scr"
system_ini="$windows/system.ini"

# Sets SCRNSAVE.EXE in [boot] of system.ini to $1, keeping every other line.
set_current_saver() {
    grep -qi '^\[boot\]' "$system_ini" 2>/dev/null || printf '[boot]\r\n' >>"$system_ini"
    sed -i '/^SCRNSAVE\.EXE=/Id' "$system_ini"
    sed -i "s/^\\[boot\\]\\r\\?\$/[boot]\\r\\nSCRNSAVE.EXE=${1//\\/\\\\}\\r/I" "$system_ini"
    grep -qiF "SCRNSAVE.EXE=$1" "$system_ini" || fail "cannot set SCRNSAVE.EXE=$1 in system.ini"
}

current_saver() { grep -i '^SCRNSAVE\.EXE=' "$system_ini" | tr -d '\r'; }

# Writes the file and the uninstall key, in the registry view $1 (/reg:64, or /reg:32 as a 32-bit
# installer on a 64-bit system leaves it).
# A 32-bit prefix has one view only.
view=/reg:64
[ "$e2e_arch" = i686 ] && view=/reg:32
install_saver() {
    view=$1
    "$make_scr" "$scr" "$saver_exe" "$movie" "$name" || fail "ss_make_scr could not make $scr"
    timeout 60 "$wine" reg add "$uninstall_key" /v DisplayName /d "Screensaver ($name)" /f \
        "$view" >/dev/null 2>&1 || fail "cannot write the uninstall key"
    timeout 60 "$wine" reg add "$uninstall_key" /v UninstallString \
        /d "C:\\windows\\$name.scr /U" /f "$view" >/dev/null 2>&1 ||
        fail "cannot write the uninstall key"
    timeout 60 "$wine" reg query "$uninstall_key" "$view" >/dev/null 2>&1 ||
        fail "no uninstall key in the view $view"
}

install_saver "$view"
short_name=$(timeout 60 "$wine" cmd /c "dir /x C:\\windows\\*.scr" 2>/dev/null | tr -d '\r' |
    awk -v long="$name.scr" 'substr($0, length($0) - length(long) + 1) == long {
        for (i = 1; i <= NF; i++) if ($i ~ /~/) { print $i; exit } }')
case "$short_name" in
    *~*) ;;
    *) fail "Wine gave $name.scr no 8.3 name (dir /x: '$short_name')" ;;
esac
set_current_saver "C:\\windows\\$short_name"
say "installed $(stat -c %s "$scr") bytes as C:\\windows\\$name.scr; $(current_saver)"

# Without a window manager a window's X name is its caption.
find_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }

# Waits for a visible window captioned $1 of the program $app_pid; prints its id.
wait_window() {
    local w=
    for _ in $(seq 300); do
        w=$(find_named "$1")
        [ -n "$w" ] && break
        kill -0 "$app_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    [ -n "$w" ] && echo "$w"
}

# Waits up to $1 tenths of a second for $app_pid to end; sets $code.
wait_exit() {
    for _ in $(seq "$1"); do
        if ! kill -0 "$app_pid" 2>/dev/null; then
            wait "$app_pid"
            code=$?
            app_pid=
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Answers the box $1 with Return, again every 5 s while it stands (a key that comes before the
# box has the focus is lost), until the program ends.
answer_box() {
    for _ in 1 2 3 4 5 6; do
        xdotool key --window "$1" Return 2>/dev/null
        wait_exit 50 && return 0
    done
    return 1
}

# --- 1. the settings box ----------------------------------------------------------------------
WINEDEBUG="-all,+msgbox" "$wine" "C:\\windows\\$name.scr" /c >"$out_dir/wine-settings.log" 2>&1 &
app_pid=$!
box=$(wait_window "$name") || fail "/c showed no box captioned $name (see $out_dir/wine-settings.log)"
import -window root "$out_dir/e2e-saver-settings.png" 2>/dev/null
answer_box "$box" || fail "/c did not end after its box was answered"
grep -q "MSGBOX_OnInit L\"$name" "$out_dir/wine-settings.log" ||
    fail "the settings box does not start with the name $name (see $out_dir/wine-settings.log)"
grep -q 'Shows a picture of 320 x 200 pixels whose colours move' "$out_dir/wine-settings.log" ||
    fail "the settings box does not describe the MOVIE (see $out_dir/wine-settings.log)"
say "/c: the settings box names $name and its picture"

# --- 2. full screen ---------------------------------------------------------------------------
"$wine" "C:\\windows\\$name.scr" /s >"$out_dir/wine-fullscreen.log" 2>&1 &
app_pid=$!
saver=$(wait_window "$name") || fail "/s showed no window (see $out_dir/wine-fullscreen.log)"
eval "$(xdotool getwindowgeometry --shell "$saver")"
[ "$WIDTH" = 1024 ] && [ "$HEIGHT" = 768 ] && [ "$X" = 0 ] && [ "$Y" = 0 ] ||
    fail "/s window is ${WIDTH}x${HEIGHT}+${X}+${Y}, not the whole 1024x768 screen"
say "/s: window $saver covers the screen"

# The MOVIE stretched 3.2 times across and 3.84 times down: its static pixels (sky at the top,
# hills at the bottom) must stand at the scaled places with their exact palette colours.
colour_at() { convert "$1" -format "%[pixel:p{$2,$3}]" info: 2>/dev/null; }
shot1="$out_dir/e2e-saver-fullscreen.png"
shot2="$work/second.png"
shown=0
for _ in $(seq 50); do
    import -window root "$shot1" 2>/dev/null || continue
    shown=1
    for point in "5 1" "160 1" "315 2" "3 199" "200 199"; do
        set -- $point
        want=$(colour_at "$movie" "$1" "$2")
        got=$(colour_at "$shot1" $(($1 * 1024 / 320 + 1)) $(($2 * 768 / 200 + 1)))
        [ "$want" = "$got" ] || { shown=0; break; }
    done
    [ "$shown" = 1 ] && break
    sleep 0.2
done
[ "$shown" = 1 ] || fail "the screen does not show the MOVIE: pixel ($1,$2) is $got, not $want" \
    "(see $shot1)"
sleep 1
import -window root "$shot2" 2>/dev/null || fail "no second screenshot"
moved=$(compare -metric AE "$shot1" "$shot2" null: 2>&1 | cut -d' ' -f1)
[ "${moved%.*}" -gt 10000 ] 2>/dev/null ||
    fail "the aurora does not move: $moved pixels changed in 1 s"
say "/s: the MOVIE is shown (screenshot $shot1); $moved pixels changed in 1 s"

xdotool key --window "$saver" space 2>/dev/null
wait_exit 100 || fail "/s did not end within 10 s of a key press"
[ "$code" -eq 0 ] || fail "/s ended with code $code"
[ -z "$(find_named "$name")" ] || fail "the saver's window stays after it ended"
say "/s: ended on a key press"

# A small jitter of the mouse leaves it running; a real move ends it.
"$wine" "C:\\windows\\$name.scr" -S >>"$out_dir/wine-fullscreen.log" 2>&1 &
app_pid=$!
saver=$(wait_window "$name") || fail "-S showed no window (see $out_dir/wine-fullscreen.log)"
sleep 1
xdotool mousemove 300 300 2>/dev/null
sleep 0.5
xdotool mousemove 302 301 2>/dev/null
sleep 1
kill -0 "$app_pid" 2>/dev/null || fail "a mouse jitter of 2 pixels ended the saver"
xdotool mousemove 500 450 2>/dev/null
wait_exit 100 || fail "-S did not end within 10 s of a mouse move"
say "-S: a jitter of 2 pixels kept it running, a move ended it"

# --- 3. uninstall ---------------------------------------------------------------------------
# Runs "/U" and checks the box, the key and the file; $1 is the log's name.
uninstall() {
    local log="$out_dir/wine-$1.log"
    WINEDEBUG="-all,+msgbox" "$wine" "C:\\windows\\$name.scr" /U >"$log" 2>&1 &
    app_pid=$!
    box=$(wait_window "$name") || fail "/U showed no box (see $log)"
    import -window root "$out_dir/e2e-saver-$1.png" 2>/dev/null
    answer_box "$box" || fail "/U did not end after its box was answered"
    grep -q "MSGBOX_OnInit L\"$name has been removed" "$log" ||
        fail "the box does not say $name has been removed (see $log)"
    timeout 60 "$wine" reg query "$uninstall_key" "$view" >/dev/null 2>&1 &&
        fail "the uninstall key is still there (view $view)"
    grep -qi '^\[boot\]' "$system_ini" || fail "system.ini lost its [boot] section"
    if [ -e "$scr" ]; then
        # Deleting a running program's file is refused; the saver asked for it at the restart.
        grep -q 'will be deleted when Windows restarts' "$log" ||
            fail "$name.scr is still there and no removal at the restart was promised"
        timeout 120 "$wine" wineboot -r >/dev/null 2>&1
        timeout 120 wineserver -w
        [ -e "$scr" ] && fail "$name.scr is still there after a restart"
        say "/U: the key is gone; the file was removed at the restart"
    else
        say "/U: the key is gone; the file was removed at once"
    fi
}

uninstall uninstall
[ -z "$(current_saver)" ] || fail "system.ini still has $(current_saver)"
say "/U: SCRNSAVE.EXE, which named the file by its 8.3 path, is cleared"

# Another program as the current screen saver stays where it is. This time a 32-bit installer
# wrote the key, on a 64-bit NT system into the 32-bit view; the 9x family has one view only.
other_view=/reg:32
[ "$e2e_family" = 9x ] && other_view=$view
install_saver "$other_view"
set_current_saver 'C:\windows\other.scr'
uninstall uninstall-other
[ "$(current_saver)" = 'SCRNSAVE.EXE=C:\windows\other.scr' ] ||
    fail "/U changed another saver's entry: '$(current_saver)'"
say "/U: SCRNSAVE.EXE naming another saver is kept; the key in the view $view is gone"

say "PASS: /c names the saver; /s shows the MOVIE full screen, moving, and ends on a key or a" \
    "mouse move; /U removes the uninstall key, its own SCRNSAVE.EXE and the file"

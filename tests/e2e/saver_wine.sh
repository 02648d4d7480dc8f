#!/usr/bin/env bash
# The sample screen saver under Wine, installed as the installer leaves it (the file in the
# Windows folder, SCRNSAVE.EXE in [boot] of system.ini, the uninstall key):
#  1. "/c" shows the settings box with the name from INFO;
#  2. "/s" covers the screen with the MOVIE (its sky colours where they belong, its palette
#     moving) and ends on a key press;
#  3. "/U" deletes the uninstall key, clears SCRNSAVE.EXE and removes the file, and says so;
#  4. a picture show: "/s" shows the first picture fitted to the screen with bars in the
#     background colour and its caption, passes over a picture it cannot decode, shows another
#     after the interval, and leaves no music file behind; "/p" draws into a window of a test
#     helper and ends with it; "/c" stores the interval for this user, Cancel stores nothing;
#     "/U" run twice leaves nothing of the show behind.
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
# `reg add`, tried again once the prefix has settled: right after a restart (wineboot -r) a
# first program fails now and then while the restart's own programs are still ending.
reg_add_settled() {
    local try
    for try in 1 2 3; do
        timeout 60 "$wine" reg add "$@" >/dev/null 2>&1 && return 0
        timeout 120 wineserver -w
    done
    return 1
}
install_saver() {
    view=$1
    "$make_scr" "$scr" "$saver_exe" "$movie" "$name" || fail "ss_make_scr could not make $scr"
    reg_add_settled "$uninstall_key" /v DisplayName /d "Screensaver ($name)" /f "$view" ||
        fail "cannot write the uninstall key"
    reg_add_settled "$uninstall_key" /v UninstallString /d "C:\\windows\\$name.scr /U" /f \
        "$view" || fail "cannot write the uninstall key"
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

# --- 4. the picture show -----------------------------------------------------------------------
make_show=$(dirname "$make_scr")/ss_make_show
[ -x "$make_show" ] || fail "$make_show is not built"
show_name="Holiday Show"
show_scr="$windows/$show_name.scr"
show_key="HKCU\\Software\\ssinstaller\\$show_name"
show_uninstall_key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\$show_name.scr"
pics="$work/show"
mkdir -p "$pics"
# A 2:1 red picture with a white disc (JPEG), bytes no decoder reads, a blue square (GIF), a
# green 2:1 bitmap; and a short tone, which a prefix without a sound device cannot play.
convert -size 800x400 xc:'#d02020' -fill white -draw 'circle 400,200 400,300' "$pics/one.jpg" &&
    convert -size 300x300 xc:'#2040e0' "$pics/three.gif" &&
    convert -size 200x100 xc:'#20c040' -type TrueColor "BMP3:$pics/four.bmp" ||
    fail "cannot draw the show's pictures"
head -c 3000 /dev/urandom >"$pics/two.jpg"
printf 'RIFF\x2c\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x40\x1f\x00\x00\x01\x00\x08\x00data\x08\x00\x00\x00\x80\xff\x80\x00\x80\xff\x80\x00' \
    >"$pics/tone.wav"
"$make_show" "$work/show.movie" --interval 3000 --transition-time 500 --transition 1 \
    --background 203040 --music "$pics/tone.wav" "$pics/one.jpg@800x400=Sunrise over the lake" \
    "$pics/two.jpg@640x480" "$pics/three.gif@300x300" "$pics/four.bmp@200x100" ||
    fail "ss_make_show could not make the show"
"$make_scr" "$show_scr" "$saver_exe" "$work/show.movie" "$show_name" ||
    fail "ss_make_scr could not make $show_scr"
timeout 60 "$wine" reg add "$show_uninstall_key" /v UninstallString \
    /d "C:\\windows\\$show_name.scr /U" /f "$view" >/dev/null 2>&1 ||
    fail "cannot write the show's uninstall key"
temp_dir=$(e2e_unix_path 'C:\windows\temp')

# 1 when the pixel ($2,$3) of $1 is within 40 of the colour "r g b" ($4) in every channel.
near() {
    local got
    got=$(convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info: 2>/dev/null)
    set -- $got $4
    [ $# -eq 6 ] && [ $(($1 - $4)) -le 40 ] && [ $(($4 - $1)) -le 40 ] &&
        [ $(($2 - $5)) -le 40 ] && [ $(($5 - $2)) -le 40 ] &&
        [ $(($3 - $6)) -le 40 ] && [ $(($6 - $3)) -le 40 ]
}
red="208 32 32" blue="32 64 224" background="32 48 64" white="255 255 255"

# Waits up to $4 tries for the pixel ($1,$2) of the screen to show colour $3; the screenshot is
# then in $5.
wait_colour() {
    for _ in $(seq "$4"); do
        import -window root "$5" 2>/dev/null && near "$5" "$1" "$2" "$3" && return 0
        sleep 0.1
    done
    return 1
}

# The DLLs outside the KnownDLLs come from the system folder by their full path: the player
# (winmm) for the music and, on 9x with the password box ticked, the password provider (which
# Wine lacks: the saver then ends as Windows' own savers do).
timeout 60 "$wine" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d 'KERNEL32.LoadLibraryA' \
    /f >/dev/null 2>&1 || fail "cannot choose the traced calls"
if [ "$e2e_family" = 9x ]; then
    timeout 60 "$wine" reg add 'HKCU\Control Panel\Desktop' /v ScreenSaveUsePassword \
        /t REG_DWORD /d 1 /f >/dev/null 2>&1 || fail "cannot tick the password box"
fi
WINEDEBUG="-all,+debugstr,+relay" "$wine" "C:\\windows\\$show_name.scr" /s >"$out_dir/wine-show.log" 2>&1 &
app_pid=$!
saver=$(wait_window "$show_name") || fail "/s showed no window for the show (see $out_dir/wine-show.log)"
first="$out_dir/e2e-saver-show-first.png"
wait_colour 200 384 "$red" 100 "$first" || fail "the first picture does not show (see $first)"
# 800x400 fitted to 1024x768 is 1024x512 at y 128: bars above and below in the background colour.
near "$first" 512 20 "$background" && near "$first" 10 700 "$background" ||
    fail "no bars in the background colour above and below the first picture (see $first)"
near "$first" 512 384 "$white" || fail "the first picture is not fitted: no disc at its middle"
# The caption stands in white at the bottom, over the lower bar.
caption_ink=$(convert "$first" -crop 1024x60+0+700 +repage -fuzz 10% -fill black +opaque white \
    -format '%[fx:int(mean*w*h)]' info:)
[ "${caption_ink:-0}" -gt 200 ] || fail "no caption under the first picture (see $first)"
say "/s: the first picture fills the width with bars in the background colour and its caption"
second="$out_dir/e2e-saver-show-second.png"
wait_colour 512 384 "$blue" 100 "$second" || fail "the show did not go on to the GIF (see $second)"
near "$second" 100 384 "$background" && near "$second" 924 384 "$background" ||
    fail "no bars left and right of the square picture (see $second)"
grep -q 'transition: [0-9]* frames' "$out_dir/wine-show.log" ||
    fail "no transition was drawn (see $out_dir/wine-show.log)"
say "/s: the undecodable picture was passed over and the GIF followed after the interval"
xdotool key --window "$saver" space 2>/dev/null
wait_exit 100 || { xdotool key space; wait_exit 100; } || fail "the show did not end on a key press"
ls "$temp_dir" 2>/dev/null | grep -qi '^ss.*\.wav$' && fail "a music file stayed in $temp_dir"
loads=$(tr -d '\r' <"$out_dir/wine-show.log" | grep -o 'LoadLibraryA([0-9a-f]* "[^"]*")' |
    sort -u | tr '\n' ' ')
system_dll() {
    grep -qiF "\"C:\\\\windows\\\\system32\\\\$1\")" <<<"$loads" ||
        fail "$1 was not loaded by its full path in the system folder: $loads"
}
system_dll winmm.dll
[ "$e2e_family" = 9x ] && system_dll password.cpl
grep -qiE 'LoadLibraryA\([0-9a-f]* "(winmm\.dll|password\.cpl|mpr\.dll)' <<<"$loads" &&
    fail "a DLL was loaded by its bare name: $loads"
say "/s: ended on a key press; no music file is left"

# The preview in a window of a test helper, which closes its window after 6 s.
"$e2e_cc" -Os -s -mwindows -o "$work/preview_host.exe" "$(dirname "$0")/helpers/preview_host.c" ||
    fail "cannot build the preview host"
WINEDEBUG="-all,+debugstr" "$wine" "$work/preview_host.exe" "C:\\windows\\$show_name.scr" 6 \
    >"$out_dir/wine-preview.log" 2>&1 &
app_pid=$!
host=$(wait_window "Preview Host") || fail "the preview host showed no window"
sleep 1
import -window root "$out_dir/e2e-saver-show-preview.png" 2>/dev/null
wait_exit 300 || fail "the preview host did not end"
preview_log=$(tr -d '\r' <"$work/preview.log" 2>/dev/null)
grep -q '^child SsShowWindow 160x120$' <<<"$preview_log" ||
    fail "/p put no show window over the helper's client area: $preview_log"
grep -q 'first picture after' "$out_dir/wine-preview.log" ||
    fail "/p drew no first picture (see $out_dir/wine-preview.log)"
grep -q '^ended$' <<<"$preview_log" || fail "/p did not end with its window: $preview_log"
say "/p: the show in a 160x120 window inside the helper's, drawn, ended with it"

# The settings: 7 s and OK stores it; 9 s and Cancel stores nothing.
settings() {
    "$wine" "C:\\windows\\$show_name.scr" /c >>"$out_dir/wine-settings.log" 2>&1 &
    app_pid=$!
    dialog=$(wait_window "$show_name") || fail "/c showed no settings dialog"
    sleep 0.5
    xdotool windowactivate "$dialog" 2>/dev/null
    xdotool type --window "$dialog" "$1" 2>/dev/null
    [ -n "${3:-}" ] && import -window root "$3" 2>/dev/null
    xdotool key --window "$dialog" "$2" 2>/dev/null
    wait_exit 100 || fail "/c did not end on $2"
}
stored_interval() { timeout 60 "$wine" reg query "$show_key" /v Interval 2>/dev/null | tr -d '\r' | awk '/Interval/ { print $3 }'; }
settings 7 Return "$out_dir/e2e-saver-show-settings.png"
[ "$(stored_interval)" = 0x7 ] || fail "/c did not store the interval 7: '$(stored_interval)'"
settings 9 Escape
[ "$(stored_interval)" = 0x7 ] || fail "Cancel changed the interval: '$(stored_interval)'"
say "/c: OK stored the interval of 7 s for this user, Cancel stored nothing"

# /U twice: the second run finds nothing more to do and says so without harm.
for run in 1 2; do
    [ -e "$show_scr" ] || break
    WINEDEBUG="-all,+msgbox" "$wine" "C:\\windows\\$show_name.scr" /U >"$out_dir/wine-show-uninstall-$run.log" 2>&1 &
    app_pid=$!
    box=$(wait_window "$show_name") || fail "/U showed no box"
    answer_box "$box" || fail "/U did not end after its box was answered"
done
timeout 60 "$wine" reg query "$show_key" >/dev/null 2>&1 && fail "the show's settings stay"
timeout 60 "$wine" reg query 'HKCU\Software\ssinstaller' >/dev/null 2>&1 && fail "the ssinstaller key stays"
timeout 60 "$wine" reg query "$show_uninstall_key" "$view" >/dev/null 2>&1 && fail "the show's uninstall key stays"
if [ -e "$show_scr" ]; then
    timeout 120 "$wine" wineboot -r >/dev/null 2>&1
    timeout 120 wineserver -w
fi
[ -e "$show_scr" ] && fail "$show_name.scr is still there after /U and a restart"
say "/U: the show's file, uninstall key and settings are gone"

say "PASS: /c names the saver; /s shows the MOVIE full screen, moving, and ends on a key or a" \
    "mouse move; /U removes the uninstall key, its own SCRNSAVE.EXE and the file; the picture" \
    "show fits, captions, skips, moves on, previews, stores its settings and removes itself"

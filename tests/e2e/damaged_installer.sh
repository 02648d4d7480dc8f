#!/usr/bin/env bash
# The Windows installer under Wine, given a payload that looks like a directory but does not
# decipher: it must show exactly one message box saying the file is damaged (empty caption,
# icon 200, owned by the hidden main window), and exit with 0 once the box is answered.
#
# usage: damaged_installer.sh <folder holding the win64 ssinstaller.exe> <output folder>
# The output folder receives the screenshot of the box and Wine's log. Everything else (the
# Wine prefix, the X server) lives in a temporary folder and is gone at the end.
set -u

exe_dir=${1:?usage: damaged_installer.sh <win64 build folder> <output folder>}
out_dir=${2:?usage: damaged_installer.sh <win64 build folder> <output folder>}
exe_name=ssinstaller.exe
damaged_text="The installer file appears to be damaged. Please get a fresh copy."

# Debian keeps wine64 and wineserver out of PATH.
export PATH="/usr/lib/wine:$PATH"

started=$(date +%s)
say() { echo "[$(($(date +%s) - started))s] $*"; }
fail() {
    say "FAIL: $*"
    exit 1
}

source_exe=$(find "$exe_dir" -name "$exe_name" -type f -print -quit 2>/dev/null)
[ -n "$source_exe" ] || fail "no $exe_name under $exe_dir (build the win64 preset first)"
for tool in wineserver Xvfb xdotool xprop xwininfo import convert timeout; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
if command -v wine64 >/dev/null; then wine=wine64; else wine=wine; fi
command -v "$wine" >/dev/null || fail "wine is not installed"
mkdir -p "$out_dir" || fail "cannot create $out_dir"

work=$(mktemp -d "${TMPDIR:-/tmp}/ss-e2e.XXXXXX") || fail "no temporary folder"
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    # wineserver -k ends every process of this prefix and the server itself.
    [ -d "$work/prefix" ] && WINEPREFIX="$work/prefix" timeout 20 wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# --- an X server of our own, on whatever display number is free ------------------------------
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$out_dir/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start (see $out_dir/xvfb.log)"
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb gave no display number within 10 s"
export DISPLAY=":$(head -n 1 "$work/display")"
say "Xvfb on $DISPLAY"

# --- a fresh Wine prefix ----------------------------------------------------------------------
export WINEPREFIX="$work/prefix"
# No Mono or Gecko download prompts while the prefix is made; the installer needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
timeout 120 "$wine" wineboot -i >"$out_dir/wineboot.log" 2>&1 ||
    fail "wineboot -i failed (see $out_dir/wineboot.log)"
timeout 120 wineserver -w || fail "the prefix was not finished within 120 s"
say "prefix ready"

# --- the damaged installer: the program followed by ten records of plain, unenciphered bytes --
# Each record carries what a directory record holds (count 10, a name, offsets, size byte 40 and
# the directory key as magic), but nothing deciphers them, so no directory can be found.
installer="$work/$exe_name"
cp "$source_exe" "$installer" || fail "cannot copy $source_exe"
for i in 0 1 2 3 4 5 6 7 8 9; do
    printf '\012\000\000DAMAGED%d\000\000\000\000\000\000\000\000' "$i"
    printf '\000\020\000\000\000\001\000\000\000\001\000\000\377\377\377\377\050TONK'
done >>"$installer"
[ $(($(stat -c %s "$installer") - $(stat -c %s "$source_exe"))) -eq 400 ] ||
    fail "the damaged tail is not 400 bytes"

# --- run it and find the message box ----------------------------------------------------------
# The msgbox channel logs the text of each box Wine builds, the one way to read it back.
WINEDEBUG="-all,+msgbox" "$wine" "$installer" >"$out_dir/wine.log" 2>&1 &
app_pid=$!
say "installer started"

find_boxes() { xdotool search --onlyvisible --class "^${exe_name//./\\.}\$" 2>/dev/null; }

box=
for _ in $(seq 600); do
    box=$(find_boxes | head -n 1)
    [ -n "$box" ] && break
    kill -0 "$app_pid" 2>/dev/null || {
        wait "$app_pid"
        fail "the installer ended with code $? without showing a box (see $out_dir/wine.log)"
    }
    sleep 0.1
done
[ -n "$box" ] || fail "no message box within 60 s"
say "message box is window $box"
# The main window is never shown, so the box is the program's only visible window.
[ "$(find_boxes | wc -l)" -eq 1 ] || fail "more than one window is visible: $(find_boxes | xargs)"

# Without a window manager a caption is the X window name; the damaged message has none.
caption=$(xdotool getwindowname "$box" 2>/dev/null)
[ -z "$caption" ] || fail "the box has the caption \"$caption\""

# Wine marks an owned window transient for its owner: here the hidden main window, which has
# an X window of its own that stays unmapped.
owner=$(xprop -id "$box" WM_TRANSIENT_FOR 2>/dev/null | grep -o '0x[0-9a-fA-F]*')
[ -n "$owner" ] || fail "the box has no owner window"
owner_name=$(xprop -id "$owner" WM_NAME 2>/dev/null)
[ "$owner_name" = 'WM_NAME(STRING) = "SsInstaller"' ] ||
    fail "the box is owned by another window than the main window: $owner_name"
xwininfo -id "$owner" | grep -q 'Map State: IsUnMapped' || fail "the main window is shown"

# The box shows icon 200 once it is painted: its night sky and its moon are colours that no
# stock icon has. Poll, since mapping comes before painting.
shot="$out_dir/e2e-damaged-installer.png"
icon_shown=0
for _ in $(seq 50); do
    eval "$(xdotool getwindowgeometry --shell "$box")"
    if import -window root "$shot" 2>/dev/null; then
        colours=$(convert "$shot" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -unique-colors txt:-)
        if grep -q '#080A28' <<<"$colours" && grep -q '#FAF0C8' <<<"$colours"; then
            icon_shown=1
            break
        fi
    fi
    sleep 0.2
done
[ "$icon_shown" = 1 ] || fail "the box does not show the installer's icon (see $shot)"
say "screenshot saved to $shot"

# --- answer it and watch the program end ------------------------------------------------------
xdotool key --window "$box" Return
answered=$(date +%s)
exited=0
for _ in $(seq 300); do
    for w in $(find_boxes); do
        [ "$w" = "$box" ] || fail "a second window appeared after the answer: $w"
    done
    if ! kill -0 "$app_pid" 2>/dev/null; then
        exited=1
        break
    fi
    # A key that arrives before the box takes the focus is lost; press again while the same
    # box still stands.
    if [ $(($(date +%s) - answered)) -ge 10 ] && [ "$(find_boxes)" = "$box" ]; then
        xdotool key --window "$box" Return
        answered=$(date +%s)
    fi
    sleep 0.1
done
[ "$exited" = 1 ] || fail "the installer did not end within 30 s of the answer"
wait "$app_pid"
code=$?
app_pid=
say "installer ended with code $code"

boxes=$(grep -c 'MSGBOX_OnInit' "$out_dir/wine.log")
texts=$(grep -cF "MSGBOX_OnInit L\"$damaged_text\"" "$out_dir/wine.log")
[ "$boxes" -eq 1 ] || fail "$boxes message boxes were built, expected 1 (see $out_dir/wine.log)"
[ "$texts" -eq 1 ] || fail "the box does not say \"$damaged_text\" (see $out_dir/wine.log)"
[ "$code" -eq 0 ] || fail "the installer ended with code $code, expected 0"
say "PASS: one box with the damaged-installer text, no caption, icon 200, owned by the hidden" \
    "main window; exit code 0"

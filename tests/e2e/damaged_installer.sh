#!/usr/bin/env bash
# The Windows installer under Wine, given a payload that looks like a directory but does not
# decipher: it must show exactly one message box saying the file is damaged (empty caption,
# icon 200, owned by the hidden main window), and exit with 0 once the box is answered.
#
# usage: damaged_installer.sh [--windows=VERSION] <Windows build folder> <output folder> [sspack] [rename tool]
# The output folder receives the screenshot of the box and Wine's log.
set -u
test_name=damaged_installer
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"
damaged_text="The installer file appears to be damaged. Please get a fresh copy."

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
e2e_run "$installer"
say "installer started"
find_boxes() { e2e_windows "$exe_name"; }
e2e_wait_window "$exe_name" 60 ""
box=$window
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
e2e_answer "$box" Return 20
for w in $(find_boxes); do
    [ "$w" = "$box" ] || fail "a second window appeared after the answer: $w"
done
e2e_wait_exit 30
code=$app_code
say "installer ended with code $code"

boxes=$(grep -c 'MSGBOX_OnInit' "$out_dir/wine.log")
texts=$(grep -cF "MSGBOX_OnInit L\"$damaged_text\"" "$out_dir/wine.log")
[ "$boxes" -eq 1 ] || fail "$boxes message boxes were built, expected 1 (see $out_dir/wine.log)"
[ "$texts" -eq 1 ] || fail "the box does not say \"$damaged_text\" (see $out_dir/wine.log)"
[ "$code" -eq 0 ] || fail "the installer ended with code $code, expected 0"
say "PASS: one box with the damaged-installer text, no caption, icon 200, owned by the hidden" \
    "main window; exit code 0"

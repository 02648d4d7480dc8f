#!/usr/bin/env bash
# Yes on the standard confirmation box installs: the progress dialog appears centred, its bar
# advances, it closes before the completion box; the .scr in C:\windows verifies, system.ini
# names it as the screen saver and the uninstall entry has its values. Also measures the time
# from start to the progress dialog's first paint.
#
# usage: install_yes.sh [--windows=VERSION] <Windows build folder> <output folder> <sspack> [rename tool]
set -u
test_name=install_yes
source "$(dirname "$0")/lib.sh"
e2e_setup "$@"

# A movie large enough for the bar to be seen moving on a busy machine: 24 MiB of text from a few hundred made-up
# words, which compresses well but not to nothing, so the expansion takes several seconds.
awk 'BEGIN {
    srand(7)
    for (i = 0; i < 400; ++i) {
        w = ""
        for (n = 3 + int(rand() * 7); n > 0; --n) w = w substr("abcdefghij", 1 + int(rand() * 10), 1)
        words[i] = w
    }
    for (size = 0; size < 25165824; size += length(w) + 1) {
        w = words[int(rand() * 400)]
        printf "%s ", w
    }
}' >"$work/pack-movie.bin" || fail "cannot write the movie"
e2e_build_installer Aurora-setup.exe <<EOF
[Installer]
Name=Aurora
CodePage=0
FollowUp=none
ShowProgress=yes
Publisher=Aurora Makers
Version=2.5.1
[Texts]
Question=Install the Aurora screen saver?
Success=Aurora is now your screen saver.
Failure=Aurora could not be installed.
Progress=Installing Aurora...
[Files]
Saver=saver.bin
Stub=stub.bin
Movie=$work/pack-movie.bin
Zett=zett.bin
Kmdl=kmdl.bin
PreviewB=preview.bmp
Additional=stars.txt
EOF
say "installer built"

e2e_trace_calls=1  # the profile write shows which family's branch was taken
e2e_run "$work/pack/Aurora-setup.exe"
e2e_wait_window Aurora-setup.exe 60 '^Aurora$'
box=$window
say "confirmation box is window $box"
sleep 0.5
e2e_shot "$box" "$out_dir/confirm-box.png" 8
[ "$(e2e_box_texts | head -n 1)" = "Install the Aurora screen saver?" ] ||
    fail "the first box says \"$(e2e_box_texts | head -n 1)\""

# Yes is the default button of the box.
answered=$(date +%s.%N)
e2e_answer "$box" Return 20

# The progress dialog: no title bar, so its X name is its caption. Time to its first paint is
# taken as the time until the window is mapped and its icon's colours show in it.
e2e_wait_window Aurora-setup.exe 30 '^Aurora$'
dialog=$window
[ "$dialog" != "$box" ] || fail "the confirmation box came back"
painted=
shots=0
last_fill=-1
fills=()
for i in $(seq 200); do
    xwininfo -id "$dialog" 2>/dev/null | grep -q 'Map State: IsViewable' || break
    shot="$out_dir/progress-$(printf %02d "$shots").png"
    e2e_shot "$dialog" "$shot" 8 || break
    if [ -z "$painted" ] && convert "$shot" -unique-colors txt:- 2>/dev/null | grep -q '#080A28'; then
        painted=$(date +%s.%N)
        say "progress dialog painted $(seconds_between "$painted" "$answered") s after the answer"
        eval "$(xdotool getwindowgeometry --shell "$dialog")"
        dialog_x=$X dialog_y=$Y dialog_w=$WIDTH dialog_h=$HEIGHT
    fi
    # The bar's filled part is the only large blue area (the icon's few blue stars stay put):
    # the pixels whose blue exceeds their red by 40%, counted without a per-pixel expression so
    # that the samples come quickly enough to see the bar between empty and full.
    fill=$(convert "$shot" -separate -delete 1 -swap 0,1 -compose minus_src -composite \
        -threshold 40% -format '%[fx:round(mean*w*h)]' info: 2>/dev/null)
    if [ "${fill:-0}" != "$last_fill" ]; then
        fills+=("${fill:-0}")
        last_fill=${fill:-0}
        shots=$((shots + 1))
    else
        rm -f "$shot"
    fi
done
e2e_wait_gone "$dialog" 60
say "progress dialog closed; bar fills seen: ${fills[*]}"
[ -n "$painted" ] || fail "the progress dialog never showed the installer's icon"
[ "${#fills[@]}" -ge 3 ] || fail "the bar did not move (fills seen: ${fills[*]})"
# The README's picture: a shot with the bar part-way.
for f in "$out_dir"/progress-*.png; do
    [ "$f" = "$out_dir/progress-00.png" ] && continue
    cp "$f" "$out_dir/progress-dialog.png"
    [ "$(convert "$f" -fx 'b-r>0.4' -format '%[fx:round(mean*w*h)]' info:)" -ge $((${fills[-1]} / 3)) ] && break
done
# Centred on the desktop (1024 x 768), give or take a pixel of rounding.
[ $((2 * dialog_x + dialog_w - 1024)) -le 2 ] && [ $((2 * dialog_x + dialog_w - 1024)) -ge -2 ] &&
    [ $((2 * dialog_y + dialog_h - 768)) -le 2 ] && [ $((2 * dialog_y + dialog_h - 768)) -ge -2 ] ||
    fail "the progress dialog is not centred: ${dialog_w}x${dialog_h} at $dialog_x,$dialog_y"

e2e_wait_window Aurora-setup.exe 60 '^Aurora$'
done_box=$window
e2e_answer "$done_box" Return 20
e2e_wait_exit 30
[ "$app_code" -eq 0 ] || fail "the installer ended with code $app_code"
texts=$(e2e_box_texts | paste -sd '|')
[ "$texts" = "Install the Aurora screen saver?|Aurora is now your screen saver." ] ||
    fail "boxes shown: $texts"

scr="$(windows_dir)/Aurora.scr"
[ -f "$scr" ] || fail "no Aurora.scr in C:\\windows"
"$sspack" verify "$scr" >"$out_dir/verify.log" 2>&1 || fail "sspack verify fails (see $out_dir/verify.log)"
e2e_expect_activation Aurora
setting=$(e2e_screen_saver_setting)
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Aurora.scr'
name=$(e2e_reg "$key" DisplayName)
command=$(e2e_reg "$key" UninstallString)
[ -n "$name" ] || fail "no DisplayName under $key"
case "$command" in
*Aurora.scr\"\ /U) ;;
*) fail "UninstallString is \"$command\"" ;;
esac
# What Apps & Features shows beside the name: the version resource's publisher and version,
# the installed file as icon and its size in KB, no Modify or Repair.
publisher=$(e2e_reg "$key" Publisher)
version=$(e2e_reg "$key" DisplayVersion)
icon=$(e2e_reg "$key" DisplayIcon)
size=$(e2e_reg "$key" EstimatedSize)
kilobytes=$(printf '0x%x' $(( ($(stat -c %s "$scr") + 1023) / 1024 )))
[ "$publisher" = "Aurora Makers" ] || fail "Publisher is \"$publisher\""
[ "$version" = "2.5.1" ] || fail "DisplayVersion is \"$version\""
case "$icon" in
*\\Aurora.scr) ;;
*) fail "DisplayIcon is \"$icon\"" ;;
esac
[ "$size" = "$kilobytes" ] || fail "EstimatedSize is \"$size\", the file has $kilobytes KB"
for value in NoModify NoRepair; do
    [ "$(e2e_reg "$key" $value)" = 0x1 ] || fail "$value is \"$(e2e_reg "$key" $value)\""
done
say "PASS: installed; SCRNSAVE.EXE=$setting; DisplayName=$name; UninstallString=$command;" \
    "Publisher=$publisher; DisplayVersion=$version; DisplayIcon=$icon; EstimatedSize=$size"

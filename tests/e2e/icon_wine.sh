#!/usr/bin/env bash
# Icon= of the manifest under Wine: the installer's question box, its progress dialog and its
# completion box draw the manifest's icon, not the stub's. The test icon is the stub's own
# drawing in one colour (#C81E64), which nothing else on the screen has; the stub's darkest sky
# colour (#080A28) must be gone. The file properties of the same installer, as Windows's own
# version calls read them, are the manifest's name, publisher and version.
#
# usage: icon_wine.sh <win64 build folder> <output folder> <sspack> <recolour tool> <icon>
set -u
test_name=icon
source "$(dirname "$0")/lib.sh"
recolour=${4:?recolour tool missing}
stock_icon=${5:?icon of the stub missing}
e2e_setup "$1" "$2" "$3"

mkdir -p "$work/pack"
"$recolour" "$stock_icon" "$work/pack/night.ico" C81E64 || fail "cannot recolour the icon"
# A movie large enough for the progress dialog to stay a while.
seq 1 1000000 >"$work/pack-movie.bin"
{
    printf '%s\n' '[Installer]' 'Name=Night' 'Publisher=Night Owl Software' 'Version=3.1' \
        'Icon=night.ico' 'CodePage=0' 'ShowProgress=yes' '[Texts]' 'Question=Install Night?' \
        'Success=Night is now your screen saver.' 'Progress=Installing Night...'
    e2e_files_section | sed "s|^Movie=.*|Movie=$work/pack-movie.bin|"
} | e2e_build_installer Night-setup.exe
say "installer built"
# The file properties as Windows reads them (GetFileVersionInfo, VerQueryValue).
"$e2e_cc" -Os -s -o "$work/version_info.exe" "$(dirname "$0")/helpers/version_info.c" \
    -lversion || fail "cannot build version_info.exe"
(cd "$work/pack" && "$wine" "$work/version_info.exe" Night-setup.exe) 2>/dev/null | tr -d '\r' \
    >"$out_dir/version.txt"
printf '%s\n' 'FileDescription: Night' 'ProductName: Night' 'CompanyName: Night Owl Software' \
    'FileVersion: 3.1' 'ProductVersion: 3.1' 'FileVersion number: 3.1.0.0' >"$work/version-expected"
diff "$work/version-expected" "$out_dir/version.txt" >&2 || fail "file properties as Windows reads them"
say "file properties: $(paste -sd '|' "$out_dir/version.txt")"

# Pixels of the test icon's colour and of the stub's darkest sky in a screenshot.
icon_pixels() { convert "$1" -fill black +opaque '#C81E64' -fill white -opaque '#C81E64' \
    -format '%[fx:round(mean*w*h)]' info: 2>/dev/null; }
stock_pixels() { convert "$1" -fill black +opaque '#080A28' -fill white -opaque '#080A28' \
    -format '%[fx:round(mean*w*h)]' info: 2>/dev/null; }
# Passes when shot $1 ($2 names it) shows at least $3 pixels of the new icon and none of the old.
expect_new_icon() {
    local n s
    n=$(icon_pixels "$1")
    s=$(stock_pixels "$1")
    say "$2: $n pixels of the new icon, ${s:-?} of the stub's"
    [ "${n:-0}" -ge "$3" ] || fail "$2 does not show the new icon ($n pixels, see $1)"
    [ "${s:-1}" -eq 0 ] || fail "$2 shows the stub's icon ($s pixels, see $1)"
}

# Waits for a message box of the installer, photographs it as $1.png, checks its icon ($2 names
# it) and answers it with Enter; `box` is its window.
check_box() {
    e2e_wait_window Night-setup.exe 60 '^Night$'
    box=$window
    # A box may still be drawing on a busy machine: shots until its icon shows, up to 10 s.
    for _ in $(seq 50); do
        sleep 0.2
        e2e_shot "$box" "$out_dir/$1.png" || continue
        [ "$(icon_pixels "$out_dir/$1.png")" -ge 300 ] 2>/dev/null && break
    done
    [ -f "$out_dir/$1.png" ] || fail "no screenshot of $2"
    # A message box draws its icon at 32x32: the monitor's body alone is some 600 pixels.
    expect_new_icon "$out_dir/$1.png" "$2" 300
    e2e_answer "$box" Return 20
}

e2e_run "$work/pack/Night-setup.exe"
check_box question "the question box"

e2e_wait_window Night-setup.exe 30 '^Night$'
dialog=$window
[ "$dialog" != "$box" ] || fail "the question came back"
seen=
for _ in $(seq 100); do
    xwininfo -id "$dialog" 2>/dev/null | grep -q 'Map State: IsViewable' || break
    e2e_shot "$dialog" "$out_dir/progress.png" || break
    if [ "$(icon_pixels "$out_dir/progress.png")" -ge 150 ] 2>/dev/null; then
        seen=1
        break
    fi
    sleep 0.1
done
[ -n "$seen" ] || fail "the progress dialog never showed the new icon (see $out_dir/progress.png)"
expect_new_icon "$out_dir/progress.png" "the progress dialog" 150
e2e_wait_gone "$dialog" 60

check_box success "the completion box"
e2e_wait_exit 30
[ -f "$(windows_dir)/Night.scr" ] || fail "no Night.scr in C:\\windows"
say "PASS: the new icon in the question, the progress dialog and the completion box"

# Shared parts of the end-to-end tests of the Windows installer under Wine. Sourced by each test
# script after it has set `test_name`; the script then calls e2e_setup with its arguments:
#
#   e2e_setup [--windows=VERSION] <Windows build folder> <output folder> [sspack] [rename tool]
#
# The build folder is the win64 or the win32 build: the architecture is read from the
# ssinstaller.exe found there (`e2e_arch`: x86_64 or i686), and the prefix is made to match
# (WINEARCH=win64 with wine64, or WINEARCH=win32 with the 32-bit wine). --windows sets the
# Windows version that Wine reports, as `winecfg` would (win98, winme, win10, ...); without it Wine
# reports its default NT version. `e2e_family` is then 9x or nt. Every installer test takes the
# same arguments, and tests/e2e/CMakeLists.txt runs each script once per entry of its list of
# sets (SS_E2E_SETS), so a new script joins every set by being added to SS_E2E_TESTS there.
#
# Each test gets an X server of its own and a fresh Wine prefix, copied from a template prefix
# that the first test of a set makes once (under a lock, so tests may run in parallel). Everything
# but the output folder (screenshots, logs) lives in a temporary folder that is gone at the end.
# A set whose Wine starts no program of its architecture here (found when the build is
# configured, see CMakeLists.txt) ends each test with exit code 77 and the reason in
# SS_E2E_SKIP, which CTest reports as skipped; each template prefix starts a program too before
# its tests use it.

# A set whose Wine runs nothing here: CMake gives the reason, and the test is skipped.
if [ -n "${SS_E2E_SKIP:-}" ]; then
    echo "SKIP ($test_name): $SS_E2E_SKIP"
    exit 77
fi

# Debian keeps wine64 and wineserver out of PATH.
export PATH="/usr/lib/wine:$PATH"

e2e_started=$(date +%s.%N)
# Seconds from $2 to $1 (both `date +%s.%N`), to the millisecond.
seconds_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a - b }'; }
say() { printf '[%7ss] %s\n' "$(seconds_between "$(date +%s.%N)" "$e2e_started")" "$*" >&2; }
fail() {
    say "FAIL ($test_name): $*"
    exit 1
}

work=
xvfb_pid=
app_pid=
e2e_cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    # wineserver -k ends every process of this prefix and the server itself.
    [ -n "$work" ] && [ -d "$work/prefix" ] && WINEPREFIX="$work/prefix" timeout 20 wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    [ -n "$work" ] && rm -rf "$work"
}

# Reads the options that come before the positional arguments: sets `e2e_windows_version` and
# `e2e_args` (the rest). For scripts that read their own arguments before e2e_setup.
e2e_options() {
    e2e_windows_version=
    while [ $# -gt 0 ]; do
        case "$1" in
        --windows=*) e2e_windows_version=${1#--windows=} ;;
        --) shift; break ;;
        --*) fail "unknown option $1" ;;
        *) break ;;
        esac
        shift
    done
    e2e_args=("$@")
}

# The architecture of PE file $1: x86_64, i686, or nothing.
e2e_pe_arch() {
    local pe machine
    pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
    [ -n "$pe" ] || return 0
    machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
    case "$machine" in
    8664) echo x86_64 ;;
    014c) echo i686 ;;
    esac
}

# Picks the Wine launcher, prefix kind and MinGW compiler for `e2e_arch`, and ends the test as
# skipped (77) when that Wine cannot start here. wine64 for 64-bit: once wine32 is installed, the
# plain `wine` launcher runs the 32-bit builds of Wine's own tools, whose `reg` sees only the
# 32-bit registry view.
e2e_pick_wine() {
    case "$e2e_arch" in
    x86_64)
        if command -v wine64 >/dev/null; then wine=wine64; else wine=wine; fi
        export WINEARCH=win64
        e2e_cc=x86_64-w64-mingw32-gcc
        ;;
    i686)
        wine=wine
        export WINEARCH=win32
        e2e_cc=i686-w64-mingw32-gcc
        ;;
    *) fail "$source_exe is neither an x86_64 nor an i686 program" ;;
    esac
    command -v "$wine" >/dev/null || fail "wine is not installed"
    command -v "$e2e_cc" >/dev/null || fail "$e2e_cc is not installed"
    local probe
    if ! probe=$("$wine" --version 2>&1); then
        say "SKIP ($test_name): $wine cannot run here: $(tail -n 1 <<<"$probe")"
        exit 77
    fi
    e2e_wine_version=$probe
}

e2e_setup() {
    local usage="usage: $test_name.sh [--windows=VERSION] <Windows build folder> <output folder> [sspack] [rename tool]"
    e2e_options "$@"
    set -- "${e2e_args[@]}"
    exe_dir=${1:?$usage}
    out_root=${2:?$usage}
    sspack=${3:-}
    rename_tool=${4:-}
    out_dir="$out_root/$test_name"
    exe_name=ssinstaller.exe

    source_exe=$(find "$exe_dir" -name "$exe_name" -type f -print -quit 2>/dev/null)
    [ -n "$source_exe" ] || fail "no $exe_name under $exe_dir (build the win64 or win32 preset first)"
    for tool in wineserver Xvfb xdotool xprop xwininfo import convert timeout flock awk od; do
        command -v "$tool" >/dev/null || fail "$tool is not installed"
    done
    e2e_arch=$(e2e_pe_arch "$source_exe")
    case "$e2e_windows_version" in
    win95 | win98 | winme) e2e_family=9x ;;
    *) e2e_family=nt ;;
    esac
    e2e_pick_wine
    mkdir -p "$out_root" || fail "cannot create $out_root"
    out_root=$(cd "$out_root" && pwd)
    out_dir="$out_root/$test_name"
    rm -rf "$out_dir"
    mkdir -p "$out_dir" || fail "cannot create $out_dir"
    [ -z "$sspack" ] || sspack=$(cd "$(dirname "$sspack")" && pwd)/$(basename "$sspack")

    work=$(mktemp -d "${TMPDIR:-/tmp}/ss-e2e.XXXXXX") || fail "no temporary folder"
    trap e2e_cleanup EXIT
    trap 'exit 1' INT TERM HUP

    e2e_start_x
    e2e_make_prefix
    say "$e2e_arch build, Windows ${e2e_windows_version:-default} ($e2e_family family)"
}

# An X server of our own, on whatever display number is free. Without -noreset the server
# resets whenever its last client leaves, as xdotool or import do between two Wine programs,
# and a program that connects during the reset finds no display.
e2e_start_x() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
        2>"$out_dir/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start (see $out_dir/xvfb.log)"
        sleep 0.1
    done
    [ -s "$work/display" ] || fail "Xvfb gave no display number within 10 s"
    export DISPLAY=":$(head -n 1 "$work/display")"
    say "Xvfb on $DISPLAY"
}

# A fresh prefix: a copy of a template made once by `wineboot -i`. The large system folder is
# hard-linked (nothing writes to it); everything else, the registry and the .ini files among it,
# is copied, so no test sees another's changes.
e2e_make_prefix() {
    export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko prompts; the installer needs neither
    export WINEDEBUG=-all
    # One template per set: the output folder of a set is its own, and the stamp names the Wine,
    # the prefix kind and the Windows version it was made for.
    # SS_E2E_TEMPLATE_DIR puts it elsewhere (the demo keeps it in a temporary folder).
    local template="${SS_E2E_TEMPLATE_DIR:-$out_root/wine-template}"
    local stamp="$template/.ss-e2e-ready"
    local version="$e2e_wine_version $WINEARCH ${e2e_windows_version:-default}"
    (
        flock 9
        if [ "$(cat "$stamp" 2>/dev/null)" != "$version" ]; then
            rm -rf "$template"
            say "making the template prefix (once)"
            WINEPREFIX="$template" timeout 120 "$wine" wineboot -i >"$out_root/wineboot.log" 2>&1 ||
                fail "wineboot -i failed (see $out_root/wineboot.log)"
            if [ -n "$e2e_windows_version" ]; then
                WINEPREFIX="$template" timeout 60 "$wine" reg add 'HKCU\Software\Wine' /v Version \
                    /d "$e2e_windows_version" /f >>"$out_root/wineboot.log" 2>&1 ||
                    fail "cannot set the Windows version $e2e_windows_version"
            fi
            # The calls that differ between the two families, for runs with e2e_trace_calls=1.
            WINEPREFIX="$template" timeout 60 "$wine" reg add 'HKCU\Software\Wine\Debug' \
                /v RelayInclude /d "$e2e_traced_calls" /f >>"$out_root/wineboot.log" 2>&1 ||
                fail "cannot choose the traced calls"
            WINEPREFIX="$template" timeout 120 wineserver -w ||
                fail "the template prefix was not finished within 120 s"
            # A set runs when its Wine starts a program of its architecture, which a finished
            # wineboot does not show on its own.
            "$e2e_cc" -o "$work/probe.exe" "$e2e_helpers/probe.c" || fail "cannot build probe.exe"
            said=$(WINEPREFIX="$template" WINEDEBUG=-all timeout 60 "$wine" "$work/probe.exe" 2>&1)
            grep -q 'probe: running' <<<"$said" ||
                fail "Wine started no $e2e_arch program in the template prefix: $(tail -n 1 <<<"$said")"
            WINEPREFIX="$template" timeout 120 wineserver -w ||
                fail "the template prefix was not finished within 120 s"
            echo "$version" >"$stamp"
        fi
    ) 9>"$out_root/wine-template.lock" || exit 1
    export WINEPREFIX="$work/prefix"
    mkdir -p "$WINEPREFIX/drive_c/windows" || fail "cannot make the prefix"
    local item
    for item in "$template"/* "$template"/.update-timestamp; do
        [ -e "$item" ] || continue
        [ "$(basename "$item")" = drive_c ] || cp -a "$item" "$WINEPREFIX/" || fail "cannot copy $item"
    done
    for item in "$template"/drive_c/*; do
        [ "$(basename "$item")" = windows ] || cp -a "$item" "$WINEPREFIX/drive_c/" || fail "cannot copy $item"
    done
    for item in "$template"/drive_c/windows/*; do
        case "$(basename "$item")" in
        system32 | syswow64) cp -al "$item" "$WINEPREFIX/drive_c/windows/" ;;
        *) cp -a "$item" "$WINEPREFIX/drive_c/windows/" ;;
        esac || fail "cannot copy $item"
    done
    say "prefix ready"
}

# Adds keys to the fresh prefix's registry before any program has run in it: standard input is
# text in the format of Wine's registry files, appended to file $1 of the prefix (system.reg for
# HKEY_LOCAL_MACHINE, user.reg for HKEY_CURRENT_USER), which the Wine server reads when it starts.
# Unlike `reg add`, this needs no program and no server, so nothing still starting or ending in
# the prefix can make it fail.
e2e_prefix_keys() {
    [ -f "$WINEPREFIX/$1" ] || fail "no $1 in the prefix"
    WINEPREFIX="$WINEPREFIX" wineserver -w 2>/dev/null
    { echo; cat; } >>"$WINEPREFIX/$1" || fail "cannot write $1"
}

# The Unix path of a Windows path in the prefix.
# (Through the 64-bit loader: with wine32 installed, plain winepath may take the 32-bit one.)
e2e_unix_path() { WINEDEBUG=-all "$wine" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
e2e_windows_path() { WINEDEBUG=-all "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
windows_dir() { echo "$WINEPREFIX/drive_c/windows"; }

# Writes a manifest into $work/pack and builds the installer $work/pack/$1 from it with sspack.
# The manifest text comes on standard input; the sample media of examples/minimal are at hand as
# saver.bin, stub.bin, movie.bin, zett.bin, kmdl.bin, preview.bmp, readme.txt, stars.txt.
e2e_build_installer() {
    local out=$1
    [ -x "$sspack" ] || fail "no sspack given (argument 3)"
    mkdir -p "$work/pack"
    cp "$e2e_examples"/*.bin "$e2e_examples"/*.bmp "$e2e_examples"/*.txt "$e2e_examples"/*.dat \
        "$work/pack/" 2>/dev/null
    cat >"$work/pack/manifest.ini"
    "$sspack" build "$work/pack/manifest.ini" -o "$work/pack/$out" --stub "$source_exe" -q \
        >"$out_dir/sspack-build.log" 2>&1 || fail "sspack build failed (see $out_dir/sspack-build.log)"
}
e2e_helpers="$(cd "$(dirname "${BASH_SOURCE[0]}")/helpers" && pwd)"
e2e_examples="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../examples/minimal" && pwd)"

# Starts a Windows program in the background; its Wine log goes to $out_dir/wine.log. The
# msgbox channel logs the text of each message box Wine builds, the one way to read it back.
# With e2e_trace_calls=1 the log also holds every call of $e2e_traced_calls (Wine's relay
# channel, limited to them in the template prefix).
e2e_run() {
    e2e_run_started=$(date +%s.%N)
    local channels="fixme-all,+msgbox"
    [ "${e2e_trace_calls:-0}" = 1 ] && channels="$channels,+relay"
    WINEDEBUG="$channels" "$wine" "$@" >>"$out_dir/wine.log" 2>&1 &
    app_pid=$!
}

# The calls in which the installer's two families differ, and those whose arguments show which
# branch it took: the profile write (A on 9x, W on NT), the removal at restart, the version.
e2e_traced_calls="GetVersionExA;WritePrivateProfileStringA;WritePrivateProfileStringW;SystemParametersInfoA;MoveFileExA;DeleteFileA;FindFirstFileA"

# The traced calls of function $1 that the program made (not Wine's own DLLs), one a line
# without the thread prefix: "Call KERNEL32.WritePrivateProfileStringA(...) ret=..." and the
# matching "Ret" line.
e2e_calls() {
    tr -d '\r' <"$out_dir/wine.log" | grep -E "^[0-9a-f]+:(Call|Ret) +[A-Za-z0-9_]+\.$1\(" |
        sed 's/^[0-9a-f]*://'
}

# Waits for the program started by e2e_run to end; sets `app_code`. Fails after $1 seconds.
e2e_wait_exit() {
    local limit=$1
    for _ in $(seq $((limit * 10))); do
        if ! kill -0 "$app_pid" 2>/dev/null; then
            wait "$app_pid"
            app_code=$?
            app_pid=
            return 0
        fi
        sleep 0.1
    done
    fail "the program did not end within $limit s"
}

# Visible top-level windows of the installer (the X class is the program's file name).
e2e_windows() { xdotool search --onlyvisible --class "^${1//./\\.}\$" 2>/dev/null; }

# Waits up to $2 seconds for a visible window of program $1 whose X name is $3 (a regular
# expression; "" for any) and sets `window` to its id. Fails when the program ends first.
e2e_wait_window() {
    local program=$1 limit=$2 name=${3:-}
    local w
    for _ in $(seq $((limit * 20))); do
        for w in $(e2e_windows "$program"); do
            if [ -z "$name" ] || xdotool getwindowname "$w" 2>/dev/null | grep -Eq "$name"; then
                window=$w
                return 0
            fi
        done
        if [ -n "$app_pid" ] && ! kill -0 "$app_pid" 2>/dev/null; then
            fail "the program ended without showing the window \"$name\" (see $out_dir/wine.log)"
        fi
        sleep 0.05
    done
    fail "no window \"$name\" within $limit s"
}

# Waits until window $1 is no longer visible; fails after $2 seconds.
e2e_wait_gone() {
    for _ in $(seq $(($2 * 20))); do
        xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable' || return 0
        sleep 0.05
    done
    fail "window $1 still shows after $2 s"
}

# Saves window $1 (with a margin of $3 pixels, default 0) as PNG file $2.
e2e_shot() {
    local margin=${3:-0} geometry
    geometry=$(xdotool getwindowgeometry --shell "$1" 2>/dev/null) || return 1
    eval "$geometry"
    import -window root -crop "$((WIDTH + 2 * margin))x$((HEIGHT + 2 * margin))+$((X - margin))+$((Y - margin))" \
        +repage -strip "$2" 2>/dev/null
}

# Presses key $2 in window $1 until the window goes away (a key that arrives before the window
# has the focus is lost); fails after $3 seconds.
e2e_answer() {
    local window=$1 key=$2 limit=$3
    local pressed=0
    for i in $(seq $((limit * 10))); do
        xwininfo -id "$window" 2>/dev/null | grep -q 'Map State: IsViewable' || return 0
        if [ $((i % 20)) -eq 1 ]; then
            xdotool windowactivate "$window" 2>/dev/null
            xdotool key --window "$window" "$key" 2>/dev/null
            pressed=$((pressed + 1))
        fi
        sleep 0.1
    done
    fail "window $window did not go away after pressing $key $pressed times"
}

# Texts of the message boxes built so far, one a line.
e2e_box_texts() { sed -n 's/.*MSGBOX_OnInit L"\(.*\)"$/\1/p' "$out_dir/wine.log"; }

# A registry value of the prefix, or nothing: e2e_reg KEY VALUE.
e2e_reg() {
    WINEDEBUG=-all "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

# The SCRNSAVE.EXE value of [boot] in the prefix's system.ini, or nothing.
e2e_screen_saver_setting() {
    tr -d '\r' <"$(windows_dir)/system.ini" | awk -F= '
        /^\[/ { in_boot = (tolower($0) == "[boot]") }
        in_boot && tolower($1) == "scrnsave.exe" { print substr($0, index($0, "=") + 1) }'
}

# The [Files] section of a small screen saver from the sample media.
e2e_files_section() {
    printf '%s\n' '[Files]' 'Saver=saver.bin' 'Stub=stub.bin' 'Movie=movie.bin' 'Zett=zett.bin' \
        'Kmdl=kmdl.bin' 'PreviewB=preview.bmp' 'Additional=stars.txt'
}

# Passes when nothing of screen saver $1 is installed: no file, no system.ini setting naming
# it, no uninstall entry.
e2e_expect_nothing_installed() {
    [ ! -e "$(windows_dir)/$1.scr" ] || fail "$1.scr was written"
    case "$(e2e_screen_saver_setting)" in
    *"$1"*) fail "system.ini names $1" ;;
    esac
    [ -z "$(e2e_reg "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1.scr" DisplayName)" ] ||
        fail "an uninstall entry for $1 exists"
}

# Passes when screen saver $1 is the current one as its family records it: SCRNSAVE.EXE names
# C:\windows\$1.scr, by its 8.3 alternate name when $1.scr is not a plain 8.3 name. With the calls
# traced (e2e_trace_calls=1), also that the profile was written the family's way: the A call with
# the 8-bit path on 9x, the W call on NT, never the other; then the screen saver switch.
e2e_expect_activation() {
    local name=$1 setting expected
    setting=$(e2e_screen_saver_setting)
    if [[ "$name" =~ ^[A-Za-z0-9_]{1,8}$ ]]; then
        expected="C:\\windows\\$name.scr"
        [ "${setting,,}" = "${expected,,}" ] || fail "SCRNSAVE.EXE is \"$setting\", not $expected"
    else
        case "$setting" in
        [Cc]:\\[Ww][Ii][Nn][Dd][Oo][Ww][Ss]\\*~*.[Ss][Cc][Rr]) ;;
        *) fail "SCRNSAVE.EXE is \"$setting\", not the 8.3 path of $name.scr" ;;
        esac
        expected=$setting
        [ "$(e2e_unix_path "$setting")" -ef "$(windows_dir)/$name.scr" ] ||
            fail "SCRNSAVE.EXE=$setting does not name $name.scr"
    fi
    [ "${e2e_trace_calls:-0}" = 1 ] || return 0
    local used=WritePrivateProfileStringW unused=WritePrivateProfileStringA
    [ "$e2e_family" = 9x ] && used=WritePrivateProfileStringA unused=WritePrivateProfileStringW
    e2e_calls GetVersionExA | grep -q '^Ret .*retval=00000001' || fail "no GetVersionExA call was seen"
    local write
    write=$(e2e_calls "$used" | grep '^Call .*"SCRNSAVE.EXE"')
    [ -n "$write" ] || fail "the profile was not written with $used on the $e2e_family family"
    grep -qiF "\"${expected//\\/\\\\}\"" <<<"$write" || fail "$used was given another path: $write"
    [ -z "$(e2e_calls "$unused")" ] || fail "$unused was called on the $e2e_family family"
    e2e_calls SystemParametersInfoA | grep -q '^Call .*(00000011,00000001,00000000,00000001)' ||
        fail "the screen saver was not switched on with SystemParametersInfoA(17, 1, 0, 1)"
    say "activation took the $e2e_family branch: ${write#Call }"
}

# The ink of the last line of a one-line message box's text, from a shot of the box alone: one
# "x,y" a pixel, x counted from the box's right edge and y from the line's top. The text is the
# band of dark pixels in the right half of the box above the last band there (the buttons).
e2e_box_text_end_ink() {
    local width height
    read -r width height < <(identify -format '%w %h' "$1")
    convert "$1" -colorspace Gray -threshold 45% txt:- | awk -F'[,: ]+' -v W="$width" -v H="$height" '
        NR > 1 && /#000000/ && $1 >= W / 2 && $1 < W - 6 && $2 >= 6 && $2 < H - 6 {
            ink[$1, $2] = 1
            row[$2] = 1
        }
        END {
            n = 0
            previous = 0
            # Bands under 3 rows are no text: the dotted focus frame of a button, a stray pixel.
            for (y = 6; y <= H - 6; ++y) {
                if (row[y] && !previous) top[++n] = y
                if (row[y]) bottom[n] = y
                if (!row[y] && previous && bottom[n] - top[n] < 2) --n
                previous = row[y]
            }
            if (n < 2) exit 1
            for (x = int(W / 2); x < W - 6; ++x)
                for (y = top[n - 1]; y <= bottom[n - 1]; ++y)
                    if (ink[x, y]) print W - x "," y - top[n - 1]
        }'
}

# Whether a shot of a one-line message box shows the final period of its text: the last glyph
# of the line is a dot of at most 3 x 3 pixels in the lower half of the line.
e2e_box_shows_final_period() {
    e2e_box_text_end_ink "$1" | awk -F, '
        { ink[$1, $2] = 1; if ($2 > h) h = $2; if (!min_x || $1 < min_x) min_x = $1 }
        END {
            if (!min_x) exit 1
            top = 99; low = -1
            for (x = min_x; x < min_x + 8; ++x) {
                any = 0
                for (y = 0; y <= h; ++y) if (ink[x, y]) { any = 1; if (y < top) top = y; if (y > low) low = y }
                if (!any) break
            }
            exit !(x - min_x <= 3 && low - top <= 2 && low >= h / 2)
        }'
}

# Shoots message box window $1 into $2 until two shots in a row show the same text ink, so a box
# still drawing on a busy machine is not taken for its final look; fails after 10 s.
e2e_shot_drawn() {
    local last= now=
    for _ in $(seq 50); do
        e2e_shot "$1" "$2" && now=$(e2e_box_text_end_ink "$2" | sort | paste -sd ' ')
        [ -n "$now" ] && [ "$now" = "$last" ] && return 0
        last=$now
        sleep 0.2
    done
    return 1
}

# Checks the text drawn in message box window $1 (one line, MB_OK) against text $2: the end of
# the line must be drawn exactly as Wine's own message box draws the same text (a plain
# MessageBoxA of the helper show_box.c, shown after the box has been answered), so nothing of
# the installer (manifest, DPI awareness, fonts) cuts it. Shots go to $out_dir as $3-box.png
# and $3-wine.png. Call it while the box shows; answer the box afterwards.
e2e_check_box_text() {
    local box=$1 text=$2 name=$3 control_pid control w
    e2e_shot_drawn "$box" "$out_dir/$name-box.png" || fail "no shot of the box with its text drawn"
    [ -x "$work/show_box.exe" ] || "$e2e_cc" -Os -s -mwindows -o "$work/show_box.exe" \
        "$(dirname "${BASH_SOURCE[0]}")/helpers/show_box.c" || fail "cannot build show_box.exe"
    WINEDEBUG=-all "$wine" "$work/show_box.exe" "$text" >>"$out_dir/wine.log" 2>&1 &
    control_pid=$!
    control=
    for _ in $(seq 600); do
        for w in $(e2e_windows show_box.exe); do control=$w; done
        [ -n "$control" ] && break
        sleep 0.1
    done
    [ -n "$control" ] || fail "Wine's own box for \"$text\" did not show"
    e2e_shot_drawn "$control" "$out_dir/$name-wine.png" || fail "no shot of Wine's own box with its text drawn"
    e2e_answer "$control" Return 20
    wait "$control_pid" 2>/dev/null
    local ours theirs
    ours=$(e2e_box_text_end_ink "$out_dir/$name-box.png" | sort | paste -sd ' ')
    theirs=$(e2e_box_text_end_ink "$out_dir/$name-wine.png" | sort | paste -sd ' ')
    [ -n "$ours" ] || fail "no text found in the box (see $out_dir/$name-box.png)"
    [ "$ours" = "$theirs" ] ||
        fail "the box draws \"$text\" unlike Wine's own box (see $out_dir/$name-box.png, $name-wine.png)"
    case "$text" in
    *.)
        if e2e_box_shows_final_period "$out_dir/$name-box.png"; then
            say "the box shows \"$text\" whole"
        else
            say "the box draws \"$text\" as Wine's own box does; Wine cuts its final period in both"
        fi
        ;;
    esac
}

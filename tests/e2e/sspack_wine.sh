#!/usr/bin/env bash
# The Windows sspack.exe under Wine, against the host sspack: both build the same manifests
# (texts in code pages 1252 and 932, converted by WideCharToMultiByte on one side and iconv on
# the other) into byte-identical installers, both decode them to the same manifest, and the
# Windows build refuses a character that its code page cannot hold, with exit code 1. Signing
# starts only signtool.exe found by its full path: a signtool.bat or .exe planted in the current
# folder (or a batch file in PATH) never runs, and a password made to break out of quoting reaches
# the tool as one argument and runs nothing.
#
# usage: sspack_wine.sh <win64 build folder> <host sspack> <examples/minimal> <output folder>
set -u

win_dir=${1:?usage: sspack_wine.sh <win64 build folder> <host sspack> <example folder> <output folder>}
host_sspack=${2:?host sspack missing}
example=${3:?example folder missing}
out_dir=${4:?output folder missing}

export PATH="/usr/lib/wine:$PATH"  # Debian keeps wine64 and wineserver out of PATH
started=$(date +%s)
say() { echo "[$(($(date +%s) - started))s] $*"; }
fail() {
    say "FAIL: $*"
    exit 1
}

win_sspack=$(find "$win_dir" -name sspack.exe -type f -print -quit 2>/dev/null)
stub=$(find "$win_dir" -name ssinstaller.exe -type f -print -quit 2>/dev/null)
[ -n "$win_sspack" ] || fail "no sspack.exe under $win_dir (build the win64 preset first)"
# The stub is only carried along here; any executable shows whether both builds agree.
[ -n "$stub" ] || stub=$win_sspack
if command -v wine64 >/dev/null; then wine=wine64; else wine=wine; fi
command -v "$wine" >/dev/null || fail "wine is not installed"
mkdir -p "$out_dir" || fail "cannot create $out_dir"
win_sspack=$(realpath "$win_sspack")
host_sspack=$(realpath "$host_sspack")
out_dir=$(realpath "$out_dir")

work=$(mktemp -d "${TMPDIR:-/tmp}/ss-sspack-e2e.XXXXXX") || fail "no temporary folder"
cleanup() {
    [ -d "$work/prefix" ] && WINEPREFIX="$work/prefix" timeout 20 wineserver -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

export WINEPREFIX="$work/prefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
unset DISPLAY  # a console program: no X server needed
timeout 120 "$wine" wineboot -i >"$out_dir/wineboot.log" 2>&1 ||
    fail "wineboot -i failed (see $out_dir/wineboot.log)"
say "prefix ready"

# Two copies of the example: as it is (code page 1252, with an ellipsis and an en dash), and
# with Japanese texts in code page 932.
mkdir -p "$work/src" "$work/host" "$work/win"
cp "$example"/* "$work/src/" || fail "cannot copy $example"
cp "$stub" "$work/src/stub.exe"
sed -e 's/^CodePage=1252/CodePage=932/' \
    -e '/^\[Texts\]/,/^\[Alternative\]/s/^Question=.*/Question=ミニマルをインストールしますか？/' \
    -e '/^\[Texts\]/,/^\[Alternative\]/s/^Progress=.*/Progress=インストール中…/' \
    "$work/src/minimal.ini" >"$work/src/japanese.ini"
sed -e 's/^Success=.*/Success=Жар/' "$work/src/minimal.ini" >"$work/src/refused.ini"

winrun() {  # winrun LOG ARGS...: sspack.exe in $work, exit code returned
    local log=$1
    shift
    (cd "$work" && timeout 120 "$wine" "$win_sspack" "$@") >"$out_dir/$log.out" 2>"$out_dir/$log.err"
}

for m in minimal japanese; do
    "$host_sspack" build "$work/src/$m.ini" -o "$work/host/$m.exe" --stub "$work/src/stub.exe" -q ||
        fail "the host sspack did not build $m.ini"
    winrun "build-$m" build "src/$m.ini" -o "win/$m.exe" --stub src/stub.exe --verify -q
    code=$?
    [ "$code" -eq 0 ] || fail "sspack.exe build $m.ini ended with $code (see $out_dir/build-$m.err)"
    cmp "$work/host/$m.exe" "$work/win/$m.exe" >"$out_dir/cmp-$m.txt" 2>&1 ||
        fail "the Windows and host builds of $m.ini differ (see $out_dir/cmp-$m.txt)"
    say "$m.ini: the Windows and host builds are byte-identical ($(stat -c %s "$work/win/$m.exe") bytes)"

    (cd "$work/host" && "$host_sspack" info --manifest "$m.exe") >"$out_dir/info-host-$m.txt" ||
        fail "host sspack info failed on $m.exe"
    winrun "info-win-$m" info --manifest "win\\$m.exe"
    [ $? -eq 0 ] || fail "sspack.exe info ended with an error (see $out_dir/info-win-$m.err)"
    # The Windows run writes CRLF and names the file with its folder.
    tr -d '\r' <"$out_dir/info-win-$m.out" | sed "s|win\\\\$m.exe|$m.exe|" >"$out_dir/info-win-$m.txt"
    diff "$out_dir/info-host-$m.txt" "$out_dir/info-win-$m.txt" >"$out_dir/info-diff-$m.txt" ||
        fail "sspack info differs between Windows and host (see $out_dir/info-diff-$m.txt)"
    say "$m.exe: sspack info gives the same manifest on both"
done

# A show: the Windows build reads the pictures with the Windows Imaging Component, the host build
# with its picture library; both carry them unchanged into the same installer, with the screen
# saver program each finds in the build tree. (Icon= from a picture needs the Linux build.)
cp -r "$example/../slideshow" "$work/show" || fail "cannot copy the slideshow example"
sed -i '/^Icon=/d' "$work/show/slideshow.ini"
"$host_sspack" build "$work/show/slideshow.ini" -o "$work/host/show.exe" --stub "$work/src/stub.exe" \
    -q || fail "the host sspack did not build the slideshow"
winrun build-show build show/slideshow.ini -o win/show.exe --stub src/stub.exe --verify -q
code=$?
[ "$code" -eq 0 ] || fail "sspack.exe build slideshow.ini ended with $code (see $out_dir/build-show.err)"
cmp "$work/host/show.exe" "$work/win/show.exe" >"$out_dir/cmp-show.txt" 2>&1 ||
    fail "the Windows and host builds of the slideshow differ (see $out_dir/cmp-show.txt)"
say "slideshow.ini: the Windows and host builds are byte-identical"

winrun refused build src/refused.ini -o win/refused.exe --stub src/stub.exe
code=$?
[ "$code" -eq 1 ] || fail "a character outside code page 1252 gave exit code $code, expected 1"
grep -q "refused.ini:[0-9]*: error: \[Texts\] Success: 'Ж' (U+0416) cannot be written in code page 1252" \
    "$out_dir/refused.err" || fail "the refusal does not name the character (see $out_dir/refused.err)"
[ ! -e "$work/win/refused.exe" ] || fail "a refused build left an output file"
say "a refused build leaves nothing"

# JSON is UTF-8: a path in the ANSI code page comes out as the name it is.
mkdir -p "$work/café"
cp "$work/host/minimal.exe" "$work/café/setup.exe"
LC_ALL=C.UTF-8 winrun json-path list 'café\setup.exe' --json ||
    fail "sspack.exe list --json failed (see $out_dir/json-path.err)"
grep -qF '{"file": "café\\setup.exe", ' "$out_dir/json-path.out" ||
    fail "the JSON path is not UTF-8 (see $out_dir/json-path.out)"
say "JSON paths are UTF-8"

# Outputs that must not be replaced: a device name and a read-only file.
printf 'keep me' >"$work/win/readonly.ss"
chmod 444 "$work/win/readonly.ss"
for target in NUL 'win\COM1.ss' 'win\readonly.ss'; do
    winrun refused-out compress src/minimal.ini "$target"
    code=$?
    [ "$code" -eq 1 ] || fail "compress to $target gave exit code $code, expected 1"
    grep -q "never replaces one\|it is read-only" "$out_dir/refused-out.err" ||
        fail "compress to $target is not refused as it should be (see $out_dir/refused-out.err)"
done
[ "$(cat "$work/win/readonly.ss")" = "keep me" ] || fail "a read-only output was replaced"
rm -f "$work/win/readonly.ss"
say "outputs that are devices or read-only are refused"

# Signing. Planted in the current folder: a signtool.bat, then also a signtool.exe, that would
# show they ran; in a PATH folder of its own: a signtool.cmd. A "." in PATH must not bring the
# current folder back. The password file holds what closed cmd.exe's quoting in the past.
mkdir -p "$work/tools" "$work/scripts"
x86_64-w64-mingw32-gcc -Os -s -o "$work/tools/signtool.exe" "$(dirname "$0")/helpers/args_tool.c" ||
    fail "cannot build the stand-in signing tool"
printf '@echo planted > bat-ran.txt\r\n' >"$work/signtool.bat"
printf '@echo planted > cmd-ran.txt\r\n' >"$work/scripts/signtool.cmd"
printf 'x"&echo INJECTED>injected.txt&"\n' >"$work/src/pass.txt"
printf 'not a real certificate' >"$work/src/key.p12"
windows_path() { echo "Z:$1" | tr / '\\'; }
nothing_planted_ran() {
    local found
    found=$(find "$work" \( -name bat-ran.txt -o -name cmd-ran.txt -o -name args.txt -o \
        -name injected.txt \) -not -path "$work/tools/*" -not -path "$work/prefix/*" | tr '\n' ' ')
    [ -z "$found" ] || fail "a planted signing tool or the password ran: $found"
}
sign_args=(build src/minimal.ini -o win/signed.exe --stub src/stub.exe --sign --pkcs12 src/key.p12
    --pass-file src/pass.txt)

WINEPATH="$(windows_path "$work/scripts");." winrun sign-none "${sign_args[@]}"
code=$?
nothing_planted_ran
[ "$code" -eq 2 ] || fail "signing without signtool.exe in PATH gave exit code $code, expected 2"
grep -q "signtool is not installed" "$out_dir/sign-none.err" ||
    fail "a missing signtool is not reported (see $out_dir/sign-none.err)"
cp "$work/tools/signtool.exe" "$work/signtool.exe"
WINEPATH="$(windows_path "$work/scripts");.;$(windows_path "$work/tools")" winrun sign-tool "${sign_args[@]}"
code=$?
nothing_planted_ran
[ "$code" -eq 2 ] || fail "the failing stand-in signtool gave exit code $code, expected 2"
[ -f "$work/tools/args.txt" ] || fail "the signtool.exe in PATH did not run"
tr -d '\r' <"$work/tools/args.txt" >"$out_dir/sign-args.txt"
grep -qxF -- '/p' "$out_dir/sign-args.txt" && grep -qxF -- 'x"&echo INJECTED>injected.txt&"' "$out_dir/sign-args.txt" ||
    fail "the password did not reach signtool as one argument (see $out_dir/sign-args.txt)"
[ ! -e "$work/win/signed.exe" ] || fail "a failed signing left an output file"
[ -z "$(find "$work/win" -name '*sspack-tmp*')" ] || fail "a failed signing left scratch files"
say "signing runs only signtool.exe from PATH, with the password as one argument"
say "PASS: byte-identical installers from Windows and host, same info, refusal with exit code 1, signing tool by its full path"

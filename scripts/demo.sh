#!/usr/bin/env bash
# The demo: packs the aurora sample screen saver into an installer and installs it.
#   scripts/demo.sh          the Linux build of the installer installs into ./sandbox, asking in
#                            this terminal (question, progress bar, completion message)
#   scripts/demo.sh --wine   the Windows installer runs under Wine on a virtual X display and
#                            its dialogs are photographed into build/demo/ (1-question.png,
#                            2-progress.png, 3-done.png); Wine's prefix is temporary
# Either way it leaves build/host-release with sspack, its man page and the x64 stub of
# build/win64, which `cmake --install build/host-release` installs.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=host
[ "${1:-}" = "--wine" ] && mode=wine

packages=(cmake ninja-build g++ googletest libgtest-dev g++-mingw-w64-x86-64 libgraphicsmagick1-dev)
[ $mode = wine ] && packages+=(wine wine64 xvfb xdotool imagemagick x11-utils)
scripts/deps.sh "${packages[@]}"

echo "== building the installers, the sample screen saver and sspack"
cmake --preset win64 >/dev/null
cmake --build build/win64 -j "$(nproc)" --target ssinstaller aurora sspack >/dev/null
cmake --preset host-release >/dev/null
cmake --build build/host-release -j "$(nproc)" --target ssinstaller sspack ss_man_page >/dev/null
sspack=build/host-release/tools/sspack/sspack

work=build/demo
rm -rf "$work" && mkdir -p "$work"
cp -r examples/aurora "$work/aurora"
cp build/win64/saver/aurora.scr "$work/aurora/"

echo "== packing examples/aurora"
"$sspack" build "$work/aurora/aurora.ini" -o "$work/AuroraSetup.exe" \
  --stub build/win64/app/ssinstaller.exe
"$sspack" build "$work/aurora/aurora.ini" -o "$work/AuroraSetup" -q \
  --stub build/host-release/app/ssinstaller
chmod +x "$work/AuroraSetup"

echo "== packing examples/slideshow: pictures, captions and a tune, no program of the author's"
# sspack takes the project's screen saver program from beside the stubs.
mkdir -p "$work/stubs" && cp build/win64/saver/aurora.scr "$work/stubs/ssaver-x64.scr"
SSPACK_STUB_DIR="$work/stubs" "$sspack" build examples/slideshow/slideshow.ini \
  -o "$work/SlideshowSetup.exe" --stub build/win64/app/ssinstaller.exe
"$sspack" list "$work/SlideshowSetup.exe" | sed -n '/picture show/,$p'

if [ $mode = wine ]; then
  echo "== running AuroraSetup.exe under Wine on a virtual X display (Xvfb)"
  # The Wine prefix (a template and its copy, several hundred MB) lives in a temporary folder.
  template=$(mktemp -d "${TMPDIR:-/tmp}/ss-demo-wine.XXXXXX")
  trap 'rm -rf "$template"' EXIT  # its Wine server ended when it was made (wineserver -w)
  SS_E2E_TEMPLATE_DIR="$template" tests/e2e/demo_wine.sh build/win64 "$work" "$sspack"
  mv "$work"/demo/*.png "$work/"
  echo "== screenshots: $(cd "$work" && ls -- *.png | sed "s|^|$work/|" | paste -sd ' ')"
  exit 0
fi

echo "== running the installer (Linux build) into ./sandbox"
rm -rf sandbox && mkdir -p sandbox
# The simulated machine knows how to open a .txt file, as Windows does.
cat > sandbox/registry.txt <<'REG'
[HKEY_CLASSES_ROOT\.txt]
"" = REG_SZ, 7 bytes: "txtfile"

[HKEY_CLASSES_ROOT\txtfile\shell\Open\Command]
"" = REG_SZ, 14 bytes: "notepad.exe %1"
REG
SS_SANDBOX="$PWD/sandbox" "$work/AuroraSetup"

echo
echo "== what happened"
echo "-- the screen saver file: sandbox/c/WINDOWS/Aurora.scr"
"$sspack" list sandbox/c/WINDOWS/Aurora.scr
echo "-- system.ini"
sed -n '/^\[boot\]/,/^\[/p' sandbox/c/WINDOWS/system.ini | sed '/^$/d'
echo "-- the uninstall key (sandbox/registry.txt)"
sed -n '/UnInstall\\Aurora.scr\]/,/^$/p' sandbox/registry.txt

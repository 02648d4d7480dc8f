#!/usr/bin/env bash
# The Debian package: `cpack -G DEB` from the build folder makes one .deb whose files are the
# installed tree under /usr, with the dependencies found by dpkg-shlibdeps. Its content,
# unpacked, builds an installer without --stub.
#
# The Windows ZIP: `cpack -G ZIP` in the win64 build folder (configured with SS_WIN32_DIR) holds
# sspack.exe, both stubs, both screen saver programs and the docs, and the unpacked sspack.exe
# finds its stubs with no option (under Wine, when it is installed).
#
# usage: package_test.sh <build folder> [win64 build folder]
set -u
test_name=install_debian_package
build=${1:?usage: package_test.sh <build folder> [win64 build folder]}
win64=${2:-}
source "$(dirname "$0")/lib.sh"
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done

(cd "$build" && cpack -G DEB -B "$work/package") >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(tail -5 "$work/cpack.log")"
deb=$(find "$work/package" -maxdepth 1 -name '*.deb' -print -quit)
[ -n "$deb" ] || fail "no .deb made"
say "made $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{ print $6 }' >"$work/files"
for file in ./usr/bin/sspack ./usr/share/ssinstaller/stubs/ssinstaller-x64.exe \
    ./usr/share/ssinstaller/stubs/ssinstaller-x86.exe \
    ./usr/share/ssinstaller/examples/aurora/aurora.scr \
    ./usr/share/ssinstaller/examples/aurora/aurora-x86.scr \
    ./usr/share/ssinstaller/examples/minimal/minimal.ini ./usr/share/doc/ssinstaller/manifest.md \
    ./usr/share/doc/ssinstaller/copyright ./usr/share/doc/ssinstaller/changelog.gz \
    ./usr/share/bash-completion/completions/sspack ./usr/share/man/man1/sspack.1.gz; do
    grep -qx "$file" "$work/files" || fail "$file is not in the package"
done
# Nothing from the build machine: every file lies under /usr.
if grep -v '^\./usr/' "$work/files" | grep -qv '^\./$'; then
    fail "files outside /usr: $(grep -v '^\./usr/' "$work/files" | tr '\n' ' ')"
fi
dpkg-deb -f "$deb" Package Depends >"$work/control"
grep -qx 'Package: ssinstaller' "$work/control" || fail "package name: $(cat "$work/control")"
grep -q '^Depends: .*libc6' "$work/control" || fail "no dependencies found: $(cat "$work/control")"
# sspack is stripped in the package.
dpkg-deb -x "$deb" "$work/root"
if command -v file >/dev/null; then
    file "$work/root/usr/bin/sspack" | grep -q 'not stripped' && fail "sspack is not stripped"
fi

# Debian's machine-readable copyright file, naming the zlib licence.
copyright=$work/root/usr/share/doc/ssinstaller/copyright
head -1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "copyright is not in the machine-readable format"
grep -qx 'License: Zlib' "$copyright" || fail "copyright names no zlib licence"
# The description's lines fit 80 characters; the maintainer has a real mail host.
dpkg-deb -f "$deb" Description >"$work/description"
dpkg-deb -f "$deb" Maintainer >"$work/fields"
long=$(awk 'length > 80' "$work/description")
[ -z "$long" ] || fail "description lines over 80 characters: $long"
grep -q '@localhost' "$work/fields" && fail "maintainer address at localhost: $(cat "$work/fields")"

# lintian, when installed: no errors; warnings are reported.
if command -v lintian >/dev/null; then
    lintian --no-tag-display-limit "$deb" >"$work/lintian" 2>&1
    errors=$(grep '^E:' "$work/lintian")
    [ -z "$errors" ] || fail "lintian errors: $errors"
    say "lintian: no errors, $(grep -c '^W:' "$work/lintian") warnings$(grep '^W:' "$work/lintian" |
        sed 's/^W: [^ ]* /; /' | tr '\n' ' ')"
else
    say "lintian is not installed: not run"
fi

build_minimal "$work/root/usr/bin/sspack" "$work/root/usr/share/ssinstaller" x64 \
    "$work/root/usr/share/ssinstaller/stubs/ssinstaller-x64.exe"

if [ -n "$win64" ] && grep -q '^SS_WIN32_DIR:[A-Z]*=.' "$win64/CMakeCache.txt" 2>/dev/null; then
    (cd "$win64" && cpack -G ZIP -B "$work/zip") >"$work/zip.log" 2>&1 ||
        fail "cpack -G ZIP failed: $(tail -5 "$work/zip.log")"
    zip=$(find "$work/zip" -maxdepth 1 -name '*.zip' -print -quit)
    [ -n "$zip" ] || fail "no .zip made"
    mkdir "$work/unzipped"
    (cd "$work/unzipped" && unzip -q "$zip") || fail "cannot unpack $(basename "$zip")"
    top=$(find "$work/unzipped" -mindepth 1 -maxdepth 1 -type d -print -quit)
    for file in bin/sspack.exe share/ssinstaller/stubs/ssinstaller-x64.exe \
        share/ssinstaller/stubs/ssinstaller-x86.exe share/ssinstaller/examples/aurora/aurora.scr \
        share/ssinstaller/examples/aurora/aurora-x86.scr share/doc/ssinstaller/manifest.md \
        share/doc/ssinstaller/LICENSE; do
        [ -f "$top/$file" ] || fail "not in $(basename "$zip"): $file"
    done
    say "made $(basename "$zip")"
    if command -v wine >/dev/null; then
        # A prefix of its own; sspack.exe takes the x86 stub from beside itself.
        (cd "$work" && WINEPREFIX="$work/wine" WINEDEBUG=-all timeout 180 wine "$top/bin/sspack.exe" \
            build "$top/share/ssinstaller/examples/minimal/minimal.ini" -o zip-setup.exe \
            --arch x86 -v) 2>&1 | tr -d '\r' >"$work/wine.out"
        grep -q '^stub: .*\\share\\ssinstaller\\stubs\\ssinstaller-x86.exe ' "$work/wine.out" ||
            fail "sspack.exe from the ZIP: $(head -3 "$work/wine.out")"
        say "sspack.exe from the ZIP built with its own x86 stub"
    fi
else
    say "the Windows ZIP is not made: no win64 build configured with SS_WIN32_DIR"
fi
say "passed"

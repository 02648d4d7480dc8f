#!/usr/bin/env bash
# `cmake --install` into a temporary prefix, the prefix moved elsewhere, and only the installed
# sspack used: it finds its stubs beside itself, for both architectures, and builds the
# installed examples.
#
# usage: install_test.sh <build folder> <source folder>
set -u
test_name=install_tree
build=${1:?usage: install_test.sh <build folder> <source folder>}
source "$(dirname "$0")/lib.sh"

cmake --install "$build" --prefix "$work/first" >"$work/install.log" 2>&1 ||
    fail "cmake --install failed: $(tail -5 "$work/install.log")"
# The tree holds no absolute path: moved as a whole, it still works.
mv "$work/first" "$work/prefix"
prefix=$work/prefix
for file in bin/sspack share/ssinstaller/stubs/ssinstaller-x64.exe \
    share/ssinstaller/stubs/ssinstaller-x86.exe share/ssinstaller/examples/aurora/aurora.scr \
    share/ssinstaller/stubs/ssaver-x64.scr share/ssinstaller/stubs/ssaver-x86.scr \
    share/ssinstaller/examples/aurora/aurora.ini share/ssinstaller/examples/minimal/minimal.ini \
    share/doc/ssinstaller/manifest.md share/man/man1/sspack.1.gz; do
    [ -f "$prefix/$file" ] || fail "not installed: $file"
done
[ -x "$prefix/bin/sspack" ] || fail "bin/sspack is not executable"

build_minimal "$prefix/bin/sspack" "$prefix/share/ssinstaller" x64 \
    "$prefix/share/ssinstaller/stubs/ssinstaller-x64.exe"
build_minimal "$prefix/bin/sspack" "$prefix/share/ssinstaller" x86 \
    "$prefix/share/ssinstaller/stubs/ssinstaller-x86.exe"

# A show without Saver= gets the installed screen saver program of its architecture.
source_dir=${2:?usage: install_test.sh <build folder> <source folder>}
for arch in x64 x86; do
    run_installed "$prefix/bin/sspack" build "$source_dir/examples/slideshow/slideshow.ini" \
        -o "$work/show-$arch.exe" --arch "$arch" -v --verify || fail "show $arch: $(cat "$work/err")"
    grep -q "^screen saver program: $prefix/share/ssinstaller/stubs/ssaver-$arch.scr$" "$work/out" ||
        fail "show $arch took another program: $(cat "$work/out")"
done
say "built the slideshow for x64 and x86 with the installed screen saver programs"

# The sample screen saver is an x64 program: its manifest builds without a warning.
run_installed "$prefix/bin/sspack" build "$prefix/share/ssinstaller/examples/aurora/aurora.ini" \
    -o "$work/AuroraSetup.exe" -q --strict || fail "aurora: $(cat "$work/err")"
[ ! -s "$work/err" ] || fail "aurora gave messages: $(cat "$work/err")"

# A folder named by SSPACK_STUB_DIR comes before the installed stubs.
mkdir "$work/other"
cp "$prefix/share/ssinstaller/stubs/ssinstaller-x64.exe" "$work/other/"
(cd "$work" && SSPACK_STUB_DIR="$work/other" "$prefix/bin/sspack" build \
    "$prefix/share/ssinstaller/examples/minimal/minimal.ini" -o "$work/other.exe" -v) \
    >"$work/out" 2>"$work/err" || fail "SSPACK_STUB_DIR: $(cat "$work/err")"
grep -q "^stub: $work/other/ssinstaller-x64.exe " "$work/out" || fail "SSPACK_STUB_DIR not taken"

# The man page reads.
gzip -dc "$prefix/share/man/man1/sspack.1.gz" | grep -q '^\.SH SYNOPSIS' || fail "man page"
say "passed"

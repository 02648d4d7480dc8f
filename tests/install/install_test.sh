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
    share/ssinstaller/examples/aurora/aurora-x86.scr share/doc/ssinstaller/manifest.md \
    share/doc/ssinstaller/copyright \
    share/bash-completion/completions/sspack share/man/man1/sspack.1.gz; do
    [ -f "$prefix/$file" ] || fail "not installed: $file"
done
[ -x "$prefix/bin/sspack" ] || fail "bin/sspack is not executable"
# What sspack only reads carries no executable bit.
executable=$(find "$prefix/share" -type f -perm /111)
[ -z "$executable" ] || fail "executable data under share/: $executable"
grep -qx 'License: Zlib' "$prefix/share/doc/ssinstaller/copyright" ||
    fail "the copyright file names no zlib licence"

# The completion offers the commands, each command's options and the x86 program of aurora.
complete_words() {  # the words bash would offer for the command line "$@" (the last word is completed)
    (cd "$prefix/share/ssinstaller/examples/aurora" && bash -c '
        source "$0"
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        _sspack sspack "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"' "$prefix/share/bash-completion/completions/sspack" "$@")
}
"$prefix/bin/sspack" --help >"$work/help"
for command in $(sed -n 's/^  sspack \([a-z]*\).*/\1/p' "$work/help"); do
    complete_words sspack "" | grep -qx "$command" || fail "completion lacks the command $command"
    for option in $("$prefix/bin/sspack" help "$command" | sed -n 's/^        \(-[^ ]*\(, -[^ ]*\)\{0,1\}\).*/\1/p' |
        tr ',' ' '); do
        complete_words sspack "$command" - | grep -qx -- "$option" ||
            fail "completion lacks $command $option"
    done
done
complete_words sspack bu | grep -qx build || fail "completion: bu does not give build"
complete_words sspack build --arch "" | sort | tr '\n' ' ' | grep -qx 'x64 x86 ' ||
    fail "completion of --arch: $(complete_words sspack build --arch "")"
complete_words sspack build "" | grep -qx aurora.ini || fail "completion offers no manifest"
complete_words sspack info aur | grep -qx aurora.scr || fail "completion offers no .scr to info"
say "completion offers every command and option of --help"

# One manifest for both architectures: aurora.ini with Saver.x86= builds for x86 without a
# warning, and the x86 installer carries the x86 program.
cp -r "$prefix/share/ssinstaller/examples/aurora" "$work/aurora"
printf 'Saver.x86=aurora-x86.scr\n' >>"$work/aurora/aurora.ini"
run_installed "$prefix/bin/sspack" build "$work/aurora/aurora.ini" -o "$work/Aurora86.exe" \
    --arch x86 -q --strict || fail "aurora for x86: $(cat "$work/err")"
[ ! -s "$work/err" ] || fail "aurora for x86 gave messages: $(cat "$work/err")"
run_installed "$prefix/bin/sspack" extract "$work/Aurora86.exe" SAVER -o "$work/x86" ||
    fail "extract: $(cat "$work/err")"
# The project's own program carries the author's name in place: same size, an i386 program.
pe=$(od -An -t u4 -j 60 -N 4 "$work/x86/SAVER" | tr -d ' ')
[ "$(od -An -t x2 -j $((pe + 4)) -N 2 "$work/x86/SAVER" | tr -d ' ')" = 014c ] &&
    [ "$(stat -c %s "$work/x86/SAVER")" = \
        "$(stat -c %s "$prefix/share/ssinstaller/examples/aurora/aurora-x86.scr")" ] ||
    fail "the x86 installer does not carry aurora-x86.scr"

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

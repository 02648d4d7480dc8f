#!/usr/bin/env bash
# scripts/deps.sh against a mirror in the middle of a sync, with stand-ins for apt-get, dpkg,
# dpkg-query and sudo on PATH that keep the package state in a folder: `apt-get update` fails
# every time, wine32:i386 has an unmet dependency, and the needed packages install. The package
# step must go on, leave the optional package out with apt's reason, and leave dpkg's
# architectures as it found them; a needed package that cannot be installed ends it with one
# line naming the package.
#
# usage: deps_test.sh <source folder>
set -u
test_name=deps
source "$(dirname "$0")/lib.sh"
source_dir=${1:?usage: deps_test.sh <source folder>}

# A copy of the script with a stand-in for the kernel check beside it.
mkdir -p "$work/scripts" "$work/bin" "$work/state"
cp "$source_dir/scripts/deps.sh" "$work/scripts/"
cat >"$work/scripts/runs_i386.sh" <<'EOF'
#!/bin/sh
[ "$(cat "$STATE/kernel")" = i386 ] && exit 0
echo "this kernel runs no i386 programs (Exec format error)"
exit 1
EOF
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STATE/calls"
case " $* " in
*" update "*)
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    exit 100 ;;
esac
simulate=0
packages=()
for a in "$@"; do
    case "$a" in install | -y | -qq) ;; -s) simulate=1 ;; *) packages+=("$a") ;; esac
done
for p in "${packages[@]}"; do
    case "$p" in
    *:i386)
        grep -qx i386 "$STATE/foreign" 2>/dev/null || { echo "E: Unable to locate package $p" >&2; exit 100; }
        printf '%s\n' "Some packages could not be installed." "The following packages have unmet dependencies:" \
            " libwine:i386 : Depends: libgstreamer-plugins-base1.0-0:i386 but it is not installable" \
            "E: Unable to correct problems, you have held broken packages." >&2
        exit 100 ;;
    nosuch*) echo "E: Unable to locate package $p" >&2; exit 100 ;;
    esac
done
[ $simulate = 1 ] || printf '%s\n' "${packages[@]}" >>"$STATE/installed"
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STATE/calls"
touch "$STATE/foreign"
case "$1" in
--print-architecture) echo amd64 ;;
--print-foreign-architectures) cat "$STATE/foreign" ;;
--add-architecture) echo "$2" >>"$STATE/foreign" ;;
--remove-architecture)
    if grep -q ":$2\$" "$STATE/installed" 2>/dev/null; then
        echo "dpkg: error: cannot remove architecture '$2' currently in use by the database" >&2
        exit 2
    fi
    grep -vx "$2" "$STATE/foreign" >"$STATE/foreign.new"; mv "$STATE/foreign.new" "$STATE/foreign" ;;
*) exit 2 ;;
esac
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
grep -qx "${!#}" "$STATE/installed" 2>/dev/null || exit 1
echo "install ok installed"
EOF
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin"/* "$work/scripts"/*
export STATE="$work/state"

# Runs the copied deps.sh in a fresh package state: kernel $1 (i386 or none), foreign
# architectures $2, installed packages $3 (space-separated), then the arguments. Sets `code`, and
# the script's output is in $work/out.
run_deps() {
    local kernel=$1 foreign=$2 installed=$3
    shift 3
    rm -rf "$STATE" && mkdir -p "$STATE"
    echo "$kernel" >"$STATE/kernel"
    printf '%s\n' $foreign >"$STATE/foreign"
    printf '%s\n' $installed >"$STATE/installed"
    PATH="$work/bin:$PATH" DEPS_UPDATE_PAUSE=0 "$work/scripts/deps.sh" "$@" >"$work/out" 2>&1
    code=$?
}
expect_line() { grep -qxF "$1" "$work/out" || fail "no line \"$1\" in: $(cat "$work/out")"; }
foreign_now() { sort "$STATE/foreign" | paste -sd ' '; }

# The mirror fails as described: the needed packages install, wine32:i386 is left out with apt's
# reason, and the i386 architecture this run added is gone again.
run_deps i386 "" "" cmake xvfb --optional wine32:i386
[ $code -eq 0 ] || fail "exit code $code with only the optional package failing: $(cat "$work/out")"
[ "$(grep -c 'apt-get update' "$STATE/calls")" -eq 3 ] || fail "apt-get update was not tried 3 times"
expect_line "deps.sh: apt-get update failed 3 times (Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?); going on with the package lists there are"
expect_line "deps.sh: optional wine32:i386 left out: libwine:i386 : Depends: libgstreamer-plugins-base1.0-0:i386 but it is not installable"
grep -qx cmake "$STATE/installed" && grep -qx xvfb "$STATE/installed" || fail "the needed packages were not installed"
grep -q 'dpkg --add-architecture i386' "$STATE/calls" || fail "i386 was never added"
[ -z "$(foreign_now)" ] || fail "the architectures are left as \"$(foreign_now)\", not as found"
say "failing mirror: needed packages in, wine32:i386 left out with apt's reason, i386 removed again"

# i386 was there before the run: it stays.
run_deps i386 "i386" "" cmake --optional wine32:i386
[ $code -eq 0 ] && [ "$(foreign_now)" = i386 ] || fail "an architecture found in place was removed (code $code)"

# A kernel that runs no i386 programs: the architecture is never added, wine32 not tried.
run_deps none "" "" cmake --optional wine32:i386
[ $code -eq 0 ] || fail "exit code $code on a kernel without i386 support"
grep -q 'add-architecture' "$STATE/calls" && fail "i386 was added on a kernel that cannot run it"
expect_line "deps.sh: optional wine32:i386 left out: this kernel runs no i386 programs (Exec format error)"
# ... and a needed i386 package there ends the run.
run_deps none "" "" cmake wine32:i386
[ $code -ne 0 ] || fail "a needed i386 package on a kernel without i386 support passed"
expect_line "deps.sh: cannot install wine32:i386: this kernel runs no i386 programs (Exec format error)"
say "kernel without i386: the architecture is left alone"

# A needed package that cannot be installed: one line naming it and apt's reason, non-zero exit,
# and the optional packages are not tried.
run_deps i386 "" "" cmake nosuchtool xvfb --optional wine32:i386
[ $code -ne 0 ] || fail "a needed package that cannot be installed passed"
expect_line "deps.sh: cannot install nosuchtool: Unable to locate package nosuchtool"
[ "$(grep -c '^deps.sh: cannot' "$work/out")" -eq 1 ] || fail "not one line for the failure: $(cat "$work/out")"
grep -q 'install -y -qq wine32' "$STATE/calls" && fail "the optional package was tried after a failure"
[ -z "$(foreign_now)" ] || fail "the architectures are left as \"$(foreign_now)\" after a failed run"
say "a needed package that fails: one line naming it"

# Everything installed: no apt-get at all.
run_deps i386 "" "cmake wine32:i386" cmake --optional wine32:i386
[ $code -eq 0 ] && ! grep -q apt-get "$STATE/calls" 2>/dev/null || fail "apt-get ran with everything installed"
say "PASS"

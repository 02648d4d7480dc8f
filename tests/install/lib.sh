# Shared by the install tests: messages, a temporary folder, and checks of a built installer.
work=$(mktemp -d "${TMPDIR:-/tmp}/ss-install.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL ($test_name): $*" >&2
    exit 1
}
say() { echo "[$test_name] $*"; }

# Runs sspack $1 with the rest as arguments, with nothing in the environment that points at a
# stub and the build folder out of sight; output in $work/out, $work/err.
run_installed() {
    local program=$1
    shift
    (cd "$work" && env -u SSPACK_STUB -u SSPACK_STUB_DIR "$program" "$@") >"$work/out" 2>"$work/err"
}

# Builds examples/minimal from the tree at $2 with the sspack at $1 for architecture $3 and checks
# that the stub came from $4 and the result's file properties name the screen saver.
build_minimal() {
    local sspack=$1 share=$2 arch=$3 stub=$4
    run_installed "$sspack" build "$share/examples/minimal/minimal.ini" -o "$work/setup-$arch.exe" \
        --arch "$arch" -v --verify || fail "build --arch $arch: $(cat "$work/err")"
    grep -q "^stub: $stub " "$work/out" || fail "build --arch $arch took another stub: $(grep '^stub' "$work/out")"
    run_installed "$sspack" info "$work/setup-$arch.exe" || fail "info: $(cat "$work/err")"
    grep -qx '; FileDescription: Minimal' "$work/out" || fail "no file description in: $(cat "$work/out")"
    say "built and verified setup-$arch.exe from $stub"
}

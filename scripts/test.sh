#!/usr/bin/env bash
# Runs every test: builds the host, sanitizer and both Windows builds, then the unit tests (host
# and asan), the end-to-end tests of both Windows builds under Wine (x86_64 and i686 on the NT
# family, i686 on the 9x family), and the fuzz smoke runs.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

# wine32:i386 runs the i686 build (a 32-bit prefix); on a kernel without 32-bit support it
# installs but cannot start, and the i686 end-to-end sets are reported as skipped.
scripts/deps.sh cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 wine32:i386 xvfb xdotool imagemagick \
  x11-utils dpkg-dev osslsigncode openssl libgraphicsmagick1-dev unzip

jobs=$(nproc)
build() {  # build PRESET [cmake args...]
  local preset=$1; shift
  echo "== build $preset"
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build "build/$preset" -j "$jobs"
}

build win64 -DSS_WIN32_DIR="$PWD/build/win32"  # its ZIP carries the x86 stub and saver too
build win32
build host -DSS_WIN64_DIR="$PWD/build/win64" -DSS_WIN32_DIR="$PWD/build/win32"
build asan

echo "== unit and end-to-end tests (host)"
ctest --test-dir build/host --output-on-failure -j "$jobs"
echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE e2e

if [ -f tests/fuzz/smoke.sh ]; then
  build fuzz
  echo "== fuzz smoke"
  tests/fuzz/smoke.sh build/fuzz
fi
echo "== all tests passed in $(( $(date +%s) - start )) s"

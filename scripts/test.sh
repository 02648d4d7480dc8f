#!/usr/bin/env bash
# Runs every test: builds the host, sanitizer and both Windows builds, then the unit tests (host
# and asan), the end-to-end tests of the Windows installer under Wine, and the fuzz smoke runs.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

scripts/deps.sh cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb xdotool imagemagick x11-utils

jobs=$(nproc)
build() {  # build PRESET [cmake args...]
  local preset=$1; shift
  echo "== build $preset"
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build "build/$preset" -j "$jobs"
}

build win64
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

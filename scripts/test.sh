#!/usr/bin/env bash
# Runs every test: builds the host, sanitizer and both Windows builds, then the unit tests (host
# and asan), the end-to-end tests of both Windows builds under Wine (x86_64 and i686 on the NT
# family, i686 on the 9x family), and the fuzz smoke runs. Ends with a summary: passed, failed
# and skipped per layer and per set, the reason of each skip, the time, and a last line
# "N passed, N failed, N skipped". The exit code is non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
report=build/test-report

# wine32:i386 runs the i686 build (a 32-bit prefix); it is optional: a kernel without 32-bit
# support or a mirror without its i386 packages leaves it out, and the i686 sets are skipped.
scripts/deps.sh cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb xdotool imagemagick \
  x11-utils dpkg-dev osslsigncode openssl libgraphicsmagick1-dev unzip --optional wine32:i386 || {
  echo "0 passed, 1 failed"
  exit 1
}

jobs=$(nproc)
build() {  # build PRESET [cmake args...]
  local preset=$1; shift
  echo "== build $preset"
  if ! cmake --preset "$preset" "$@" >/dev/null || ! cmake --build "build/$preset" -j "$jobs"; then
    echo "== the $preset build failed"
    echo "0 passed, 1 failed"
    exit 1
  fi
}

build win64 -DSS_WIN32_DIR="$PWD/build/win32"  # its ZIP carries the x86 stub and saver too
build win32
build host -DSS_WIN64_DIR="$PWD/build/win64" -DSS_WIN32_DIR="$PWD/build/win32"
build asan

rm -rf "$report" && mkdir -p "$report"
status=0
echo "== unit and end-to-end tests (host)"
ctest --test-dir build/host --output-on-failure -j "$jobs" --output-junit "$PWD/$report/host.xml" ||
  status=1
echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE 'e2e|install' \
  --output-junit "$PWD/$report/asan.xml" || status=1

fuzz_row=
if [ -f tests/fuzz/smoke.sh ]; then
  build fuzz
  if tests/fuzz/smoke.sh build/fuzz | tee "$report/fuzz.log"; then
    fuzz_row="fuzz - $(grep -c '^== fuzz smoke: .* s)$' "$report/fuzz.log") 0"
  else
    status=1
    fuzz_row="fuzz - $(($(grep -c '^== fuzz smoke: .* s)$' "$report/fuzz.log") - 1)) 1"
  fi
fi

# The summary. Each test case of CTest's JUnit reports becomes "layer set result reason":
# e2e tests by the set their name ends in (.x86_64-nt, .i686-9x, ...; the x86_64 build on NT for
# the few without one), install_* tests, and the rest unit tests; the asan run is its own layer.
# A skip's reason is the test's "SKIP (...): reason" line.
summarise() {  # summarise LAYER FILE
  awk -v layer="$1" '
    function unescape(s) {
      gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s); gsub(/&amp;/, "\\&", s)
      return s
    }
    function flush() {
      if (name == "") return
      l = layer; set = "-"
      if (layer == "unit" && name ~ /^e2e_/) {
        l = "e2e"; set = "x86_64-nt"
        if (match(name, /\.(x86_64|i686)-(nt|9x)$/)) set = substr(name, RSTART + 1)
      } else if (layer == "unit" && name ~ /^install_/) l = "install"
      if (status == "skipped" && reason == "") reason = "no reason given"
      print l "\t" set "\t" status "\t" reason "\t" name
      name = ""
    }
    /<testcase / {
      flush()
      match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7)
      match($0, /status="[^"]*"/); s = substr($0, RSTART + 8, RLENGTH - 9)
      status = s == "run" ? "passed" : s == "notrun" ? "skipped" : "failed"
      reason = ""
    }
    status == "skipped" && reason == "" && /SKIP \(/ {
      reason = unescape($0); sub(/.*SKIP \([^)]*\): /, "", reason)
    }
    END { flush() }' "$2"
}
{
  for layer in host asan; do
    [ -f "$report/$layer.xml" ] || continue
    summarise "$([ $layer = host ] && echo unit || echo unit-asan)" "$report/$layer.xml"
  done
} >"$report/results.tsv"
echo
echo "== summary ($(($(date +%s) - start)) s; JUnit reports in $report)"
awk -F'\t' -v fuzz="$fuzz_row" '
  {
    key = $1 "\t" $2
    if (!(key in seen)) { seen[key] = 1; order[++n] = key }
    count[key, $3]++
    total[$3]++
    if ($3 == "failed") failed = failed " " $5
    if ($3 == "skipped") {
      if (!((key, $4) in why)) { reasons[key] = reasons[key] "\n" $4 }
      why[key, $4]++
    }
  }
  END {
    printf "%-10s %-10s %7s %7s %8s\n", "layer", "set", "passed", "failed", "skipped"
    for (i = 1; i <= n; ++i) {
      split(order[i], k, "\t")
      printf "%-10s %-10s %7d %7d %8d\n", k[1], k[2], count[order[i], "passed"],
        count[order[i], "failed"], count[order[i], "skipped"]
      m = split(substr(reasons[order[i]], 2), r, "\n")
      for (j = 1; j <= m; ++j) printf "%32s skipped (%d): %s\n", "", why[order[i], r[j]], r[j]
    }
    if (fuzz != "") {
      split(fuzz, f, " ")
      printf "%-10s %-10s %7d %7d %8d\n", "fuzz", "-", f[3], f[4], 0
      total["passed"] += f[3]; total["failed"] += f[4]
    }
    if (failed != "") printf "failed:%s\n", failed
    printf "%d passed, %d failed, %d skipped\n", total["passed"], total["failed"], total["skipped"]
  }' "$report/results.tsv"
grep -P '\tfailed\t' "$report/results.tsv" >/dev/null && status=1
exit $status

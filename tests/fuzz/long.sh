#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for SECONDS each, keeping the corpus it grows under
# OUT_DIR/corpus/<target> between runs, and prints the executions and coverage of each at the end.
# A crash leaves its input in OUT_DIR and ends the script with an error.
# Usage: tests/fuzz/long.sh BUILD_DIR SECONDS [OUT_DIR] [TARGET...]
set -euo pipefail
build=${1:?usage: long.sh BUILD_DIR SECONDS [OUT_DIR] [TARGET...]}
build=$(cd "$build" && pwd)
seconds=${2:?usage: long.sh BUILD_DIR SECONDS [OUT_DIR] [TARGET...]}
out=${3:-$build/fuzz-long}
shift $(( $# < 3 ? $# : 3 ))
here=$(cd "$(dirname "$0")" && pwd)
. "$here/targets.sh"
targets=${*:-$FUZZ_TARGETS}
mkdir -p "$out"
out=$(cd "$out" && pwd)
status=0
for target in $targets; do
  mkdir -p "$out/corpus/$target"
  echo "== $target for $seconds s"
  if ! (cd "$out" && "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -dict="$here/dict/$(fuzz_dict "$target")" \
      -artifact_prefix="$out/$target-" "$out/corpus/$target" "$here/corpus/$target" \
      >"$out/$target.log" 2>&1); then
    echo "$target: FAILED, see $out/$target.log" >&2
    status=1
  fi
  grep -E '^#[0-9]+\s+(DONE|pulse|NEW|REDUCE)' "$out/$target.log" | tail -n 1
  grep -E '^stat::number_of_executed_units' "$out/$target.log" || true
done
exit $status

#!/usr/bin/env bash
# Runs every fuzz target briefly (about a minute in all) from its seed corpus; fails on any crash,
# leak, sanitizer report or timeout. New inputs go to a scratch folder, not into the committed
# corpus. Usage: tests/fuzz/smoke.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail
build=${1:?usage: smoke.sh BUILD_DIR [SECONDS_PER_TARGET]}
build=$(cd "$build" && pwd)
seconds=${2:-8}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/targets.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in $FUZZ_TARGETS; do
  binary=$build/tests/fuzz/$target
  [ -x "$binary" ] || { echo "smoke: $binary is not built" >&2; exit 1; }
  mkdir -p "$work/$target"
  echo "== fuzz smoke: $target (${seconds} s)"
  if ! (cd "$work" && "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -dict="$here/dict/$(fuzz_dict "$target")" -artifact_prefix="$work/$target-" \
      "$work/$target" "$here/corpus/$target" >"$work/$target.log" 2>&1); then
    tail -n 40 "$work/$target.log" >&2
    echo "smoke: $target failed; the input is under $work (kept)" >&2
    trap - EXIT
    exit 1
  fi
  grep -E '^(#[0-9]+\s+DONE|Done [0-9]+ runs)' "$work/$target.log" | tail -n 1
done
echo "== fuzz smoke: every target ran clean"

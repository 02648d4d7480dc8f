#!/usr/bin/env bash
# The coder's figures side by side with the plain coder of the unit tests (bench_reference,
# built at -O2): whole-process instruction counts of `sspack compress` and `sspack expand`
# (valgrind --tool=callgrind), and CPU time (user + system, runs alternating between the two
# programs, medians). Inputs: the 4 MiB text, executable, image and random files of
# bench_compress --corpus. Both programs must write the same bytes; a difference fails the run.
#
#   bench/coder_figures.sh [BUILD_DIR] [RUNS]      defaults: build/host-release, 7
#
# BRANCHES=1 adds the conditional branches each program mispredicts per byte, as valgrind's
# branch predictor model counts them (--tool=cachegrind --branch-sim=yes): a stable figure for
# the part of the CPU time that instruction counts do not show.
#
# The executable input is bench_compress's own file, so it changes with every build; keep the
# corpus folder (CORPUS=DIR) to compare builds on the same bytes.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/host-release}
runs=${2:-7}
sspack=$build/tools/sspack/sspack
reference=$build/bench/bench_reference
for program in "$sspack" "$reference" "$build/bench/bench_compress"; do
    [ -x "$program" ] || { echo "coder_figures: build $program first" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/coder-figures.XXXXXX")
trap 'rm -rf "$work"' EXIT
corpus=${CORPUS:-$work/corpus}
if [ ! -e "$corpus/text" ]; then
    mkdir -p "$corpus"
    "$build/bench/bench_compress" --corpus "$corpus" >/dev/null
fi

# Instructions of one command, whole process.
count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
# Mispredicted conditional branches of one command, whole process.
mispredicts() {
    valgrind --tool=cachegrind --cache-sim=no --branch-sim=yes --cachegrind-out-file=/dev/null \
        "$@" 2>&1 >/dev/null | sed -n 's/.*Mispredicts: *\([0-9,]*\) .*/\1/p' | tr -d ,
}
# Median CPU seconds of RUNS runs of each of two commands, alternating: prints "A B".
cpu_pair() {
    local a=() b=() k
    for ((k = 0; k < runs; ++k)); do
        a+=("$(cpu "${first[@]}")")
        b+=("$(cpu "${second[@]}")")
    done
    echo "$(median "${a[@]}") $(median "${b[@]}")"
}
cpu() {
    local TIMEFORMAT='%3U %3S' t
    t=$({ time "$@" >/dev/null 2>&1; } 2>&1)
    echo "$t" | awk '{ printf "%.3f", $1 + $2 }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "instructions: valgrind --tool=callgrind --callgrind-out-file=/dev/null PROGRAM compress|expand IN OUT"
echo "CPU: user + system seconds, median of $runs alternating runs"
printf '%-11s %-8s %14s %14s %7s %9s %9s %7s\n' input way "reference" ours "" "ref s" "ours s" speedup
for kind in text executable image random; do
    in=$corpus/$kind
    size=$(stat -c %s "$in")
    "$reference" compress "$in" "$work/ref.rc"
    "$sspack" compress "$in" "$work/ours.rc" >/dev/null
    cmp -s "$work/ref.rc" "$work/ours.rc" || { echo "coder_figures: $kind: the streams differ" >&2; exit 1; }
    for way in compress expand; do
        if [ "$way" = compress ]; then src=$in; else src=$work/ours.rc; fi
        first=("$reference" "$way" "$src" "$work/ref.out")
        second=("$sspack" "$way" "$src" "$work/ours.out")
        if [ "$way" = expand ]; then
            "${first[@]}" && "${second[@]}" >/dev/null
            cmp -s "$work/ref.out" "$in" && cmp -s "$work/ours.out" "$in" ||
                { echo "coder_figures: $kind: an expansion differs from the input" >&2; exit 1; }
        fi
        ref_ir=$(count "${first[@]}")
        our_ir=$(count "${second[@]}")
        read -r ref_s our_s <<<"$(cpu_pair)"
        awk -v k="$kind" -v w="$way" -v n="$size" -v a="$ref_ir" -v b="$our_ir" -v x="$ref_s" \
            -v y="$our_s" 'BEGIN { printf "%-11s %-8s %8.1f i/B   %8.1f i/B   %5.2fx %9.3f %9.3f %6.2fx",
                k, w, a / n, b / n, a / b, x, y, (y > 0 ? x / y : 0) }'
        if [ "${BRANCHES:-0}" = 1 ]; then
            ref_bm=$(mispredicts "${first[@]}")
            our_bm=$(mispredicts "${second[@]}")
            awk -v n="$size" -v a="$ref_bm" -v b="$our_bm" \
                'BEGIN { printf "   mispredicted/B %5.3f %5.3f", a / n, b / n }'
        fi
        echo
    done
done

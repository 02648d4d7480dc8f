#!/usr/bin/env bash
# The screen saver's figures under Wine with Xvfb at 1920x1080 (not Windows itself): time from
# the process's creation to the first picture on the screen for a 12-megapixel JPEG, frames per
# second of fades between two such pictures, processor time between transitions, peak memory.
# The saver reports its own moments through OutputDebugString (Wine's +debugstr channel).
# Figures only; nothing here fails on timing.
#
#   bench/saver_bench.sh <Windows build folder> <host build folder>
#   e.g. bench/saver_bench.sh build/win64 build/host
set -u
win_dir=$(realpath "${1:?usage: saver_bench.sh <Windows build folder> <host build folder>}")
host_dir=$(realpath "${2:?missing host build folder}")
saver=$win_dir/saver/aurora.scr
make_show=$host_dir/tests/e2e/ss_make_show
make_scr=$host_dir/tests/e2e/ss_make_scr
for f in "$saver" "$make_show" "$make_scr"; do
    [ -x "$f" ] || [ -f "$f" ] || { echo "missing $f" >&2; exit 1; }
done
work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")"
# A prefix of its own beside the build, made once (its first start takes half a minute).
export WINEPREFIX=$host_dir/bench-saver-prefix WINEDEBUG=-all
[ -f "$WINEPREFIX/system.reg" ] || timeout 300 wineboot -i >/dev/null 2>&1

echo "== pictures: two 4000x3000 JPEGs (12 megapixels)"
convert -size 4000x3000 plasma:red-yellow -quality 90 "$work/a.jpg" 2>/dev/null &&
    convert -size 4000x3000 plasma:blue-green -quality 90 "$work/b.jpg" 2>/dev/null ||
    { echo "cannot draw the pictures" >&2; exit 1; }
ls -l "$work"/*.jpg | awk '{ print "   ", $5, "bytes", $9 }'
"$make_show" "$work/show.movie" --interval 4000 --transition-time 1000 --transition 1 \
    "$work/a.jpg@4000x3000=A caption" "$work/b.jpg@4000x3000" >/dev/null &&
    "$make_scr" "$work/bench.scr" "$saver" "$work/show.movie" "Bench Show" ||
    { echo "cannot make the show" >&2; exit 1; }

run=$work/run.log
WINEDEBUG=-all,+debugstr wine "$work/bench.scr" /s >"$run" 2>&1 &
app_pid=$!
sleep 14
# The program's own process: the one started, or the child of it that runs the .scr.
peak=
for pid in $app_pid $(ps -o pid= --ppid "$app_pid" 2>/dev/null); do
    if grep -qi 'bench' "/proc/$pid/cmdline" 2>/dev/null; then
        peak=$(awk '/VmHWM/ { print $2, $3 }' "/proc/$pid/status" 2>/dev/null)
        rss=$(awk '/VmRSS/ { print $2, $3 }' "/proc/$pid/status" 2>/dev/null)
    fi
done
xdotool mousemove 10 10 && sleep 0.3 && xdotool mousemove 900 700
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
app_pid=

tr -d '\r' <"$run" | sed -n 's/.*OutputDebugStringA "\(.*\)"$/\1/p' >"$work/figures"
echo "== the saver's own report"
sed 's/^/    /' "$work/figures"
echo "== figures"
awk '/^first picture after/ { print "    first picture on the screen:", $4, "ms after the process was created" }' "$work/figures"
awk '/^transition: / { f += $2; t += $5; n++ }
     END { if (t) printf "    transitions: %d, %.1f frames per second at 1920x1080 (fade)\n", n, 1000 * f / t }' "$work/figures"
awk '/^next picture ready/ { ready_cpu = $6; ready_at = $9 }
     /^transition due/ && ready_at { idle += $5 - ready_cpu; wall += $8 - ready_at; ready_at = 0 }
     END { if (wall) printf "    processor time between transitions: %d ms in %d ms of standing pictures\n", idle, wall }' "$work/figures"
echo "    peak memory (VmHWM) of the saver's process: ${peak:-unknown}; resident at the end: ${rss:-unknown}"

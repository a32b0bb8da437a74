#!/usr/bin/env bash
# bigpic-bench.sh [DIR] — big pictures: a 16000 x 12000 photo made from
# bench/make-photo.sh's picture (vips resize), then in one run, each figure
# beside its anchor:
#   open time              vs `vips copy big.png x.v`
#   PNG save time          vs the whole-picture save before bands, and
#                          `vips copy big.v out.png`
#   memory above the picture while saving PNG (bands vs whole)
#   peak memory of a whole `quiltor-cli run` cycle vs the picture's bytes
# With BIGPIC_HUGE=1 the cycle runs once more on 40000 x 30000 (3.6 GB of
# pixels, a few minutes), each log line stamped with the seconds since start.
# QUILTOR_BUILD overrides the build folder (default build/gcc).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-/tmp/quiltor-bench}
build=${QUILTOR_BUILD:-$root/build/gcc}
cli=$build/tools/quiltor-cli
bench=$build/bench/bench_bigpic
for p in vips /usr/bin/time "$cli" "$bench"; do
  command -v "$p" >/dev/null || { echo "missing: $p (install or build first)" >&2; exit 1; }
done
"$root/bench/make-photo.sh" "$dir" >/dev/null
cd "$dir"
out=$dir/bigpic-out
rm -rf "$out"
mkdir -p "$out"
[ -f big.v ] || vips resize photo.ppm big.v 2
[ -f big.tif ] || vips copy big.v big.tif
[ -f big.png ] || "$cli" convert big.tif big.png >/dev/null
[ -f returned.png ] || vips crop big.v returned.png 3000 2000 2048 2048

seconds() { # seconds COMMAND...: wall time of one run
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
}
peak_kb() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }'; }

echo "== in one process =="
"$bench" big.png "$out"
echo
echo "== anchors =="
printf "%-24s %7s s\n" "vips copy big.png x.v" "$(seconds vips copy big.png "$out/x.v")"
rm -f "$out/x.v"
printf "%-24s %7s s  %12s bytes\n" "vips copy big.v x.png" "$(seconds vips copy big.v "$out/v.png")" \
  "$(stat -c %s "$out/v.png")"

cat >"$out/cycle.script" <<SCRIPT
open $dir/big.png
slice 2048
folder $out/slices
export
import $dir/returned.png
tool brush
brush 64 10 100
paint 300 300 320 320 340 340
fill 40
apply
save-as $out/cycle.png
SCRIPT
picture=$(vipsheader -f width big.v)x$(vipsheader -f height big.v)
bytes=$(($(vipsheader -f width big.v) * $(vipsheader -f height big.v) * 3))
t0=$(date +%s.%N)
kb=$(peak_kb "$cli" run "$out/cycle.script")
t1=$(date +%s.%N)
echo
echo "== whole cycle (open, slice 2048, export, import, paint, fill, apply, save-as PNG) on $picture =="
awk -v kb="$kb" -v b="$bytes" -v t0="$t0" -v t1="$t1" 'BEGIN {
  printf "time %.2f s, peak %.0f MB = %.2f x the picture (%.0f MB); target <= 1.25 x\n",
    t1 - t0, kb / 1024, kb * 1024 / b, b / 1048576 }'

[ "${BIGPIC_HUGE:-0}" = 1 ] || exit 0
[ -f huge.v ] || vips resize photo.ppm huge.v 5
[ -f huge.tif ] || vips copy huge.v huge.tif
[ -f huge.png ] || "$cli" convert huge.tif huge.png >/dev/null
sed -e "s|$dir/big.png|$dir/huge.png|" -e "s|cycle.png|huge-cycle.png|" "$out/cycle.script" \
  >"$out/huge.script"
bytes=$((40000 * 30000 * 3))
echo
echo "== whole cycle on 40000x30000 (seconds since start, log line) =="
# Line-buffered, so that each line is stamped when it is written.
/usr/bin/time -v -o "$out/huge.time" stdbuf -oL "$cli" run "$out/huge.script" |
  awk -v t0="$(date +%s.%N)" '{ "date +%s.%N" | getline t; close("date +%s.%N");
    printf "%8.1f  %s\n", t - t0, $0 }'
kb=$(awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }' "$out/huge.time")
awk -v kb="$kb" -v b="$bytes" 'BEGIN {
  printf "peak %.0f MB = %.2f x the picture (%.0f MB); target <= 1.25 x\n",
    kb / 1024, kb * 1024 / b, b / 1048576 }'


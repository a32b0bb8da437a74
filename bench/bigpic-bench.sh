#!/usr/bin/env bash
# bigpic-bench.sh [DIR] — big pictures: a 16000 x 12000 photo made from
# bench/make-photo.sh's picture (vips resize), then in one run, each figure
# beside its anchor:
#   open time              vs `vips copy big.png x.v`
#   PNG save time          vs the whole-picture save before bands, and
#                          `vips copy big.v out.png`
#   memory above the picture while saving PNG (bands vs whole)
#   peak memory of a whole `quiltor-cli run` cycle vs the picture's bytes
# With BIGPIC_HUGE=1 the cycle runs once more on 40000 x 40000 (4.8 GB of
# pixels, past 2^32 bytes; ~10 GB of memory and several minutes), each log
# line stamped with the seconds since start, with undo and redo after the
# apply and a TIFF save (BigTIFF) beside the PNG one; libvips then reads both
# files back whole and compares pixels beyond the first 4 GiB with the input.
# BIGPIC_HUGE=only runs that cycle alone.
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
if [ "${BIGPIC_HUGE:-0}" != only ]; then
  [ -f big.v ] || vips resize photo.ppm big.v 2
  [ -f big.tif ] || vips copy big.v big.tif
  [ -f big.png ] || "$cli" convert big.tif big.png >/dev/null
  [ -f returned.png ] || vips crop big.v returned.png 3000 2000 2048 2048
fi

seconds() { # seconds COMMAND...: wall time of one run
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
}
peak_kb() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }'; }

huge_cycle() {
  local side=40000 bytes=$((40000 * 40000 * 3))
  [ -f huge.v ] || vips resize photo.ppm huge.v 5 --vscale 6.6666667
  [ "$(vipsheader -f width huge.v)x$(vipsheader -f height huge.v)" = ${side}x$side ] ||
    { echo "huge.v is not ${side}x$side" >&2; exit 1; }
  [ -f huge.tif ] || vips copy huge.v "huge.tif[bigtiff]"
  [ -f returned.png ] || vips crop huge.v returned.png 3000 2000 2048 2048
  if [ ! -f huge.png ]; then
    echo "== quiltor-cli convert huge.tif (BigTIFF) huge.png: $(seconds "$cli" convert huge.tif huge.png) s"
  fi
  # The square sits in the last rows, whose bytes lie beyond 2^32.
  local sx=37000 sy=37500
  cat >"$out/huge.script" <<SCRIPT
open $dir/huge.png
slice 2048
place $sx $sy 2048 2048
folder $out/slices
export
import $dir/returned.png
tool brush
brush 64 10 100
paint 300 300 320 320 340 340
state
fill 40
state
apply
state
undo
redo
save-as $out/huge-cycle.png
save-as $out/huge-cycle.tif
SCRIPT
  echo
  echo "== whole cycle on ${side}x$side (seconds since start, log line; a state line" \
    "marks the end of paint, fill and apply) =="
  # Each line is stamped as it arrives (the console flushes after every
  # line; awk would read ahead in blocks).
  local t0
  t0=$(date +%s.%N)
  /usr/bin/time -v -o "$out/huge.time" "$cli" run "$out/huge.script" |
    while IFS= read -r line; do
      awk -v a="$t0" -v b="$(date +%s.%N)" -v l="$line" 'BEGIN { printf "%8.1f  %s\n", b - a, l }'
    done
  local kb
  kb=$(awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }' "$out/huge.time")
  awk -v kb="$kb" -v b="$bytes" 'BEGIN {
    printf "peak %.0f MB = %.2f x the picture (%.0f MB)\n", kb / 1024, kb * 1024 / b, b / 1048576 }'

  echo
  echo "== read back by libvips =="
  local tiff_kind
  tiff_kind=$(head -c 4 "$out/huge-cycle.tif" | od -An -tx1 | tr -d ' ')
  echo "huge-cycle.tif: $(vipsheader "$out/huge-cycle.tif"), header $tiff_kind" \
    "($([ "$tiff_kind" = 49492b00 ] && echo BigTIFF || echo classic TIFF))"
  echo "huge-cycle.png: $(vipsheader "$out/huge-cycle.png")"
  echo "vips copy huge-cycle.png x.v (whole decode): $(seconds vips copy "$out/huge-cycle.png" "$out/check.v") s"
  local fail=0 x y a b c
  # Outside the square the picture is the input; inside, both files agree.
  for p in 0,0 39999,39999 5,39999 39999,35792 20000,38000 123,36000 \
    $((sx + 1024)),$((sy + 1024)) $((sx + 300)),$((sy + 300)); do
    x=${p%,*} y=${p#*,}
    a=$(vips getpoint huge.v "$x" "$y")
    b=$(vips getpoint "$out/check.v" "$x" "$y")
    c=$(vips getpoint "$out/huge-cycle.tif" "$x" "$y")
    local inside=0
    [ "$x" -ge $sx ] && [ "$x" -lt $((sx + 2048)) ] && [ "$y" -ge $sy ] && [ "$y" -lt $((sy + 2048)) ] && inside=1
    local verdict=ok
    if [ "$b" != "$c" ] || { [ $inside = 0 ] && [ "$a" != "$b" ]; }; then verdict=WRONG fail=1; fi
    printf "(%5d,%5d) %s  input %-12s png %-12s tiff %-12s %s\n" "$x" "$y" \
      "$([ $inside = 1 ] && echo merged || echo 'as in ')" "$a" "$b" "$c" "$verdict"
  done
  # Mid-square, away from the feathered edges and the stroke, the blend
  # weight is the fill's 40: (input * 215 + returned * 40) / 255, truncated.
  local want got
  want=$(awk -v a="$(vips getpoint huge.v $((sx + 1024)) $((sy + 1024)))" \
    -v r="$(vips getpoint returned.png 1024 1024)" 'BEGIN { split(a, p); split(r, q);
      printf "%d %d %d", int((p[1] * 215 + q[1] * 40) / 255), int((p[2] * 215 + q[2] * 40) / 255),
        int((p[3] * 215 + q[3] * 40) / 255) }')
  got=$(vips getpoint "$out/huge-cycle.tif" $((sx + 1024)) $((sy + 1024)) | xargs)
  echo "mid-square blend: expected $want, saved $got"
  [ "$want" = "$got" ] || fail=1
  echo "mean: input $(vips avg huge.v), png $(vips avg "$out/check.v"), tiff $(vips avg "$out/huge-cycle.tif")"
  rm -f "$out/check.v"
  [ $fail = 0 ] || { echo "pixels differ" >&2; exit 1; }
}

if [ "${BIGPIC_HUGE:-0}" = only ]; then
  huge_cycle
  exit 0
fi

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
huge_cycle

#!/usr/bin/env bash
# resize-bench.sh [DIR] — times whole processes side by side in one run:
# `quiltor-cli resize` of the 8000 x 6000 uncompressed TIFF to 1536 x 1024
# (TIFF out) against `vips resize` doing the same job:
#   bilinear (the two-pass resampler)  vs  vips resize --kernel linear
#   method 0 and method 17             vs  vips resize (its default kernel)
# Each figure is the minimum of at least 5 runs (hyperfine). Prints every time
# and the ratios with their target (at most 1.0 x libvips).
# QUILTOR_CLI overrides the program (default build/gcc/tools/quiltor-cli).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-/tmp/quiltor-bench}
cli=${QUILTOR_CLI:-$root/build/gcc/tools/quiltor-cli}
runs=${BENCH_RUNS:-5}
for p in hyperfine vips vipsheader convert; do
  command -v "$p" >/dev/null || { echo "missing: $p" >&2; exit 1; }
done
[ -x "$cli" ] || { echo "missing: $cli (build first)" >&2; exit 1; }
mkdir -p "$dir"
if [ -x "$root/bench/make-photo.sh" ]; then
  "$root/bench/make-photo.sh" "$dir" >/dev/null
elif [ ! -f "$dir/photo.tif" ]; then
  convert -size 2000x1500 -seed 42 plasma:fractal -blur 0x3 -resize 8000x6000\! \
    -seed 7 -attenuate 0.25 +noise Gaussian -depth 8 -compress none "$dir/photo.tif"
fi
cd "$dir"
out=$dir/out
mkdir -p "$out"

# 8000 x 6000 -> 1536 x 1024; vips rounds 6000 * vscale to 1024.
hscale=0.192
vscale=0.1706666667

min_seconds() { awk -F, -v row="$2" 'NR == row + 1 { print $7 }' "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

results=()
# bench NAME OURS PEER: runs both commands, remembers the minima.
bench() {
  local name=$1 csv=$out/$1.csv
  hyperfine --min-runs "$runs" --warmup 1 --style basic --export-csv "$csv" \
    -n quiltor "$2" -n vips "$3" >"$out/$name.log" 2>&1 || {
    cat "$out/$name.log"
    exit 1
  }
  results+=("$name $(min_seconds "$csv" 1) $(min_seconds "$csv" 2)")
}

bench bilinear "$cli resize photo.tif $out/q-bilinear.tif 1536 1024 bilinear" \
  "vips resize photo.tif $out/v-linear.tif $hscale --vscale $vscale --kernel linear"
bench method-0 "$cli resize photo.tif $out/q-0.tif 1536 1024 0" \
  "vips resize photo.tif $out/v-default.tif $hscale --vscale $vscale"
bench method-17 "$cli resize photo.tif $out/q-17.tif 1536 1024 17" \
  "vips resize photo.tif $out/v-default.tif $hscale --vscale $vscale"

for f in q-bilinear q-0 q-17 v-linear v-default; do
  size=$(vipsheader "$out/$f.tif" | sed -n 's/.*: \([0-9]*x[0-9]*\) .*/\1/p')
  [ "$size" = 1536x1024 ] || { echo "$f.tif is $size, not 1536x1024" >&2; exit 1; }
done

printf '\n%-10s %12s %12s %9s  %s\n' job quiltor_s vips_s ratio target
for r in "${results[@]}"; do
  set -- $r
  x=$(ratio "$2" "$3")
  verdict=$(awk -v x="$x" 'BEGIN { print (x <= 1.0) ? "<= 1.0: met" : "<= 1.0: MISSED" }')
  printf '%-10s %12.3f %12.3f %9s  %s\n' "$1" "$2" "$3" "$x" "$verdict"
done

#!/usr/bin/env bash
# codec-bench.sh [DIR] — times whole processes side by side in one run:
# quiltor-cli convert against libvips' `vips copy` and ImageMagick's `convert`
# doing the same job, on the picture bench/make-photo.sh makes (made first when
# missing). Each figure is the minimum of at least 5 runs (hyperfine). Prints
# every time, the ratios to the peers with their targets, output sizes and the
# peak memory of loading the 48-megapixel picture.
# QUILTOR_CLI overrides the program (default build/gcc/tools/quiltor-cli).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-/tmp/quiltor-bench}
cli=${QUILTOR_CLI:-$root/build/gcc/tools/quiltor-cli}
runs=${BENCH_RUNS:-5}
for p in hyperfine vips convert /usr/bin/time; do
  command -v "$p" >/dev/null || { echo "missing: $p" >&2; exit 1; }
done
[ -x "$cli" ] || { echo "missing: $cli (build first)" >&2; exit 1; }
"$root/bench/make-photo.sh" "$dir" >/dev/null
cd "$dir"
out=$dir/codec-out
mkdir -p "$out"

# min_seconds CSV_FILE ROW: the min column of one hyperfine CSV row (1-based);
# cpu_seconds: its mean user + system time.
min_seconds() { awk -F, -v row="$2" 'NR == row + 1 { print $7 }' "$1"; }
cpu_seconds() { awk -F, -v row="$2" 'NR == row + 1 { print $5 + $6 }' "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
size_of() { stat -c %s "$1"; }

results=()
cpu=()
# bench NAME OURS VIPS MAGICK: runs the three commands, remembers the minima.
bench() {
  local name=$1 csv=$out/$1.csv
  hyperfine --min-runs "$runs" --warmup 1 --style basic --export-csv "$csv" \
    -n quiltor "$2" -n vips "$3" -n magick "$4" >"$out/$name.log" 2>&1 || {
    cat "$out/$name.log"
    exit 1
  }
  results+=("$name $(min_seconds "$csv" 1) $(min_seconds "$csv" 2) $(min_seconds "$csv" 3)")
  cpu+=("$name $(cpu_seconds "$csv" 1) $(cpu_seconds "$csv" 2) $(cpu_seconds "$csv" 3)")
}

bench decode-png "$cli convert photo.png $out/q.tif" "vips copy photo.png $out/v.tif" \
  "convert photo.png -compress none $out/m.tif"
bench decode-jpeg "$cli convert photo.jpg $out/q.tif" "vips copy photo.jpg $out/v.tif" \
  "convert photo.jpg -compress none $out/m.tif"
bench decode-tiff "$cli convert photo.tif $out/q.tif" "vips copy photo.tif $out/v.tif" \
  "convert photo.tif -compress none $out/m.tif"
bench encode-png "$cli convert photo.tif $out/q.png" "vips copy photo.tif $out/v.png" \
  "convert photo.tif $out/m.png"
bench encode-jpeg "$cli convert photo.tif $out/q.jpg" "vips copy photo.tif $out/v.jpg[Q=96]" \
  "convert photo.tif -quality 96 $out/m.jpg"
bench slice-png "$cli convert slice.tif $out/qs.png" "vips copy slice.tif $out/vs.png" \
  "convert slice.tif $out/ms.png"

peak_kb() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }'; }

echo
echo "== times (seconds, minimum of >= $runs runs) and ratios =="
printf "%-12s %9s %9s %9s %11s %11s  %s\n" job quiltor vips magick "q/vips" "q/magick" target
for r in "${results[@]}"; do
  read -r name q v m <<<"$r"
  case $name in
    decode-png | decode-jpeg) target="q/vips <= 1.0" ;;
    decode-tiff) target="q/vips <= 2.0" ;;
    encode-png) target="q/magick <= 0.35" ;;
    encode-jpeg) target="q/vips <= 1.2" ;;
    slice-png) target="q/magick <= 0.5" ;;
  esac
  printf "%-12s %9.3f %9.3f %9.3f %11s %11s  %s\n" "$name" "$q" "$v" "$m" "$(ratio "$q" "$v")" \
    "$(ratio "$q" "$m")" "$target"
done

echo
echo "== CPU time (user + system, mean; vips runs a pipeline of threads) =="
printf "%-12s %9s %9s %9s %11s %11s\n" job quiltor vips magick "q/vips" "q/magick"
for r in "${cpu[@]}"; do
  read -r name q v m <<<"$r"
  printf "%-12s %9.3f %9.3f %9.3f %11s %11s\n" "$name" "$q" "$v" "$m" "$(ratio "$q" "$v")" \
    "$(ratio "$q" "$m")"
done
echo "load average during the run: $(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo "== output sizes (bytes) =="
printf "%-12s %11s %11s %11s %11s  %s\n" file quiltor vips magick "q/magick" target
for pair in "photo.png q.png v.png m.png" "slice.png qs.png vs.png ms.png" "photo.jpg q.jpg v.jpg m.jpg"; do
  read -r label q v m <<<"$pair"
  target=""
  [[ $label == *.png ]] && target="q/magick <= 1.10"
  printf "%-12s %11d %11d %11d %11s  %s\n" "$label" "$(size_of "$out/$q")" "$(size_of "$out/$v")" \
    "$(size_of "$out/$m")" "$(ratio "$(size_of "$out/$q")" "$(size_of "$out/$m")")" "$target"
done

echo
echo "== peak memory loading the 48-megapixel picture (quiltor-cli info; target <= 180 MB) =="
for f in photo.png photo.jpg photo.tif; do
  kb=$(peak_kb "$cli" info "$f")
  printf "%-12s %8.1f MB\n" "$f" "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')"
done

#!/usr/bin/env bash
# make-photo.sh [DIR] — writes a photo-like 8000 x 6000 picture (smooth areas,
# hard edges, mild noise) as photo.png, photo.jpg (quality 96) and photo.tif
# (uncompressed), plus slice.tif, a 2048 x 2048 piece of it. Needs ImageMagick.
# Files that already exist are kept.
set -euo pipefail
dir=${1:-/tmp/quiltor-bench}
mkdir -p "$dir"
cd "$dir"
if [ ! -f photo.ppm ]; then
  # A fractal landscape made at a quarter of the size and enlarged gives large
  # smooth areas; shapes give hard edges; a little Gaussian noise stands for
  # sensor noise.
  convert -size 2000x1500 -seed 42 plasma:fractal -blur 0x3 -resize 8000x6000\! \
    -fill 'rgb(200,40,40)' -draw 'rectangle 900,700 2600,2300' \
    -fill 'rgb(30,90,200)' -draw 'circle 5200,3000 5200,4300' \
    -fill 'rgb(240,230,200)' -draw 'polygon 6000,500 7800,900 7000,2200' \
    -fill none -stroke 'rgb(20,20,20)' -strokewidth 12 -draw 'line 0,5200 8000,4300' \
    -stroke 'rgb(250,250,250)' -strokewidth 4 -draw 'ellipse 2500,4200 1200,500 0,360' \
    -seed 7 -attenuate 0.25 +noise Gaussian -depth 8 photo.ppm
fi
[ -f photo.png ] || convert photo.ppm photo.png
[ -f photo.jpg ] || convert photo.ppm -quality 96 photo.jpg
[ -f photo.tif ] || convert photo.ppm -compress none photo.tif
[ -f slice.tif ] || convert photo.ppm -crop 2048x2048+3000+2000 +repage -compress none slice.tif
ls -l "$dir"

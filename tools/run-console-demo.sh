#!/usr/bin/env bash
# Builds quiltor-cli, makes a picture with ImageMagick and runs the tool on it:
# file information, a conversion, a resize and one slice cycle of the
# document without a window (settings kept inside build/demo).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/gcc -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILTOR_TESTS=OFF >/dev/null
cmake --build build/gcc --target quiltor-cli -j"$(nproc)"
cli=$PWD/build/gcc/tools/quiltor-cli
out=$PWD/build/demo && rm -rf "$out" && mkdir -p "$out"
cd "$out"
convert -size 1200x800 plasma:fractal -seed 7 -density 72 -units PixelsPerInch picture.png
"$cli" info picture.png
"$cli" convert picture.png picture.jpg
"$cli" info picture.jpg
"$cli" resize picture.png small.png 600 400 17
"$cli" info small.png
export XDG_CONFIG_HOME=$out/config
"$cli" run <<'SCRIPT'
open picture.png
folder slices
slice 512
move 100 50
export
state
SCRIPT
# what img2img would send back: the exported slice with its colours shifted
convert slices/slice_001_*.png -modulate 100,130,120 returned.png
"$cli" run <<'SCRIPT'
open picture.png
folder slices
slice 512
move 100 50
lock
import returned.png
fill 255
apply
save
state
SCRIPT
ls "$out"

#!/usr/bin/env bash
# Builds quiltor-cli, makes a picture with ImageMagick and runs the tool on it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/gcc -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/gcc --target quiltor-cli -j"$(nproc)"
out=build/demo && mkdir -p "$out"
convert -size 1200x800 plasma:fractal -seed 7 -density 72 -units PixelsPerInch "$out/picture.png"
build/gcc/tools/quiltor-cli info "$out/picture.png"
build/gcc/tools/quiltor-cli convert "$out/picture.png" "$out/picture.jpg"
build/gcc/tools/quiltor-cli info "$out/picture.jpg"

#!/usr/bin/env bash
# Builds the desktop application and starts it on a picture made with
# ImageMagick, so the slice workflow can be tried at once. Settings of this
# trial run stay inside build/demo-app. Without a display the window opens on
# a virtual screen and a screenshot is saved instead.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/gcc -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILTOR_TESTS=OFF >/dev/null
cmake --build build/gcc --target quiltor -j"$(nproc)"
app=$PWD/build/gcc/app/quiltor
out=$PWD/build/demo-app
mkdir -p "$out"
picture=$out/landscape.png
[ -f "$picture" ] || convert -size 1200x900 -seed 11 plasma:fractal -blur 0x2 -resize 3600x2700\! \
  -fill 'rgb(200,40,40)' -draw 'circle 1800,1350 1800,1900' -depth 8 "$picture"
export XDG_CONFIG_HOME=$out/config
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$app" "$picture"
fi
echo "No display: starting on a virtual screen; the screenshot goes to $out/screenshot.png"
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c "
  '$app' '$picture' & pid=\$!
  sleep 4
  import -window root '$out/screenshot.png'
  kill \$pid"

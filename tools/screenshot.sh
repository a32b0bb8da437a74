#!/usr/bin/env bash
# Makes docs/quiltor.png: the window on a virtual screen with a picture
# loaded and a 512 slice placed, exported and locked.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/gcc -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILTOR_TESTS=OFF >/dev/null
cmake --build build/gcc --target quiltor -j"$(nproc)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 1000x700 -seed 11 plasma:fractal -blur 0x2 -resize 4000x2800\! \
  -fill 'rgb(200,40,40)' -draw 'circle 1400,1500 1400,1900' \
  -fill 'rgb(30,90,200)' -draw 'rectangle 2600,600 3400,1300' -depth 8 "$work/landscape.png"
export HOME=$work XDG_CONFIG_HOME=$work/config
mkdir -p "$work/Documents"
xvfb-run -a -s "-screen 0 1400x900x24" bash -c "
  set -e
  build/gcc/app/quiltor '$work/landscape.png' & pid=\$!
  for i in \$(seq 50); do xdotool search --name 'Quiltor' >/dev/null 2>&1 && break; sleep 0.2; done
  sleep 1.5
  win=\$(xdotool search --name 'Quiltor' | head -1)
  xdotool windowsize \$win 1400 900 windowmove \$win 0 0
  sleep 1
  # the Slicer's 512 button, then drag the square, then Export && Lock
  xdotool mousemove 125 159 click 1
  sleep 0.5
  xdotool mousemove 700 390 mousedown 1 mousemove 760 420 mousemove 820 450 mouseup 1
  sleep 0.5
  xdotool mousemove 125 392 click 1
  sleep 0.5
  xdotool mousemove 1000 700
  sleep 1
  import -window root docs/quiltor.png
  kill \$pid"
echo "docs/quiltor.png"
